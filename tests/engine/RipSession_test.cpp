// SPDX-License-Identifier: GPL-3.0-or-later
// The rules of a rip, owned by the rip session: how each track is titled,
// named and tagged, the room its files need, what is under a name, how each
// track's outcome is called and reported, and what a whole rip comes to.
#include "EngineTestSupport.h"
#include "LameCoder.h"
#include "Mp3Tags.h"
#include "MusicBrainzAnswers.h"
#include "OutputFile.h"
#include "RipSession.h"

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sys/file.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

namespace enginetest {
namespace {

namespace fs = std::filesystem;

// What the plan says of one track.
struct Planned {
    int32_t number;
    std::string fileName;
    std::string title;
    TTrackTags tags;
};

struct PlanCase {
    const char* name;
    TRipChoices choices;
    std::vector<Planned> expected;
};

// A disc of four audio tracks and a data track, with CD-Text: an album, its
// performer, a title that holds a '/', one that leaves no name, one with a
// control character and a performer of its own with another; the fourth has
// no title.
cdlib::VirtualDisc textDisc() {
    cdlib::VirtualDisc disc = discOf({100, 100, 100, 100, 50}, {5});
    disc.text.set(0, CDTEXT_TITLE, "Tram Lines");
    disc.text.set(0, CDTEXT_PERFORMER, "The Conductors");
    disc.text.set(1, CDTEXT_TITLE, "AC/DC");
    disc.text.set(2, CDTEXT_TITLE, "..");
    disc.text.set(3, CDTEXT_TITLE, "-Tab\there");
    disc.text.set(3, CDTEXT_PERFORMER, "Solo\x1bist");
    disc.text.set(5, CDTEXT_TITLE, "Data Title");
    return disc;
}

TTrackTags tags(std::string title, int32_t number, std::string performer = "The Conductors",
                std::string album = "Tram Lines") {
    // Four audio tracks: the data track is no track a listener counts.
    TTrackTags tags;
    tags.Title = std::move(title);
    tags.Performer = std::move(performer);
    tags.Album = std::move(album);
    tags.TrackNumber = number;
    tags.TrackCount = 4;
    return tags;
}

TRipChoices choices(TRipFormat format, std::vector<int32_t> tracks, bool numberInName = true,
                    bool useDiscText = true, std::map<int32_t, std::string> typed = {}) {
    TRipChoices result;
    result.Format = format;
    result.Tracks = std::move(tracks);
    result.NumberInName = numberInName;
    result.UseDiscText = useDiscText;
    result.TypedTitles = std::move(typed);
    return result;
}

// The second disc of a release that names the first, second and fourth
// tracks of textDisc(); the second is credited to more than the album's
// performer.
online::DiscMetadata release() {
    online::DiscMetadata release;
    release.album = "Tram Lines (Deluxe)";
    release.albumArtist = "The Conductors";
    release.albumArtistIds = {"band"};
    release.date = "2004-03-15";
    release.discNumber = 2;
    release.discCount = 2;
    release.releaseId = "release";
    release.releaseGroupId = "group";
    release.tracks = {{1, "Departure", "The Conductors", {"band"}, "rec-1"},
                      {2, "Blue/Green", "The Conductors feat. Vi", {"band", "vi"}, "rec-2"},
                      {3, "", "", {}, ""},
                      {4, "Terminus", "The Conductors", {"band"}, "rec-4"}};
    return release;
}

TRipChoices withRelease(TRipChoices chosen) {
    chosen.Release = release();
    return chosen;
}

// `tags` with what the release adds; `performer` and the ids of a track
// the release names.
TTrackTags fromRelease(TTrackTags tags, std::string recording = {},
                       std::vector<std::string> artists = {}) {
    tags.Album = "Tram Lines (Deluxe)";
    tags.AlbumPerformer = "The Conductors";
    tags.AlbumArtistIds = {"band"};
    tags.Date = "2004-03-15";
    tags.DiscNumber = 2;
    tags.DiscCount = 2;
    tags.ReleaseId = "release";
    tags.ReleaseGroupId = "group";
    tags.RecordingId = std::move(recording);
    tags.ArtistIds = std::move(artists);
    return tags;
}

const PlanCase PLAN_CASES[] = {
    {"DiscTitlesMadeSafeNames",
     choices(TRipFormat::Wav, {1, 2, 3, 4}),
     {{1, "01_AC\u2215DC.wav", "AC/DC", tags("AC/DC", 1)},
      {2, "02_Track02.wav", "..", tags("..", 2)},
      {3, "03_Tab here.wav", "-Tab\there", tags("-Tab here", 3, "Solo ist")},
      {4, "04_Track04.wav", "Track04", tags("Track04", 4)}}},
    {"TypedTitlesTakenAsTyped",
     choices(TRipFormat::Mp3, {1, 3}, true, true, {{1, "Intro: *part 1*"}, {3, "A/B"}}),
     {{1, "01_Intro: *part 1*.mp3", "Intro: *part 1*", tags("Intro: *part 1*", 1)},
      {3, "03_A/B.mp3", "A/B", tags("A/B", 3, "Solo ist")}}},
    {"WithoutDiscText",
     choices(TRipFormat::Pcm, {1, 3}, true, false, {{3, "Typed"}}),
     {{1, "01_Track01.pcm", "Track01", tags("Track01", 1, "", "")},
      {3, "03_Typed.pcm", "Typed", tags("Typed", 3, "", "")}}},
    {"FlacNamedAndTaggedAsTheOthers",
     choices(TRipFormat::Flac, {1, 4}),
     {{1, "01_AC\u2215DC.flac", "AC/DC", tags("AC/DC", 1)},
      {4, "04_Track04.flac", "Track04", tags("Track04", 4)}}},
    {"WithoutNumbers",
     choices(TRipFormat::Wav, {2, 1}, false),
     {{2, "Track02.wav", "..", tags("..", 2)}, {1, "AC\u2215DC.wav", "AC/DC", tags("AC/DC", 1)}}},
    {"SameNamesMadeDistinct",
     choices(TRipFormat::Wav, {1, 2, 3, 4}, false, true,
             {{1, "Same"}, {2, "Same"}, {3, "Same (2)"}, {4, "Same"}}),
     {{1, "Same.wav", "Same", tags("Same", 1)},
      {2, "Same (3).wav", "Same", tags("Same", 2)},
      {3, "Same (2).wav", "Same (2)", tags("Same (2)", 3, "Solo ist")},
      {4, "Same (4).wav", "Same", tags("Same", 4)}}},
    {"DataTrackKeepsItsName",
     choices(TRipFormat::Wav, {5}),
     {{5, "05_Track05.wav", "Track05", tags("Track05", 0)}}},
    // Typed > release > CD-Text; the release's names and ids fill the tags.
    {"ReleaseNamesComeBetweenTypedTitlesAndTheDisc",
     withRelease(choices(TRipFormat::Mp3, {1, 2, 3, 4}, true, true, {{4, "Typed"}})),
     {{1, "01_Departure.mp3", "Departure", fromRelease(tags("Departure", 1), "rec-1", {"band"})},
      {2, "02_Blue\u2215Green.mp3", "Blue/Green",
       fromRelease(tags("Blue/Green", 2, "The Conductors feat. Vi"), "rec-2", {"band", "vi"})},
      {3, "03_Tab here.mp3", "-Tab\there", fromRelease(tags("-Tab here", 3, "Solo ist"))},
      {4, "04_Typed.mp3", "Typed", fromRelease(tags("Typed", 4), "rec-4", {"band"})}}},
    {"ReleaseWithoutDiscText",
     withRelease(choices(TRipFormat::Wav, {3, 5}, false, false)),
     {{3, "Track03.wav", "Track03", fromRelease(tags("Track03", 3, "", ""))},
      {5, "Track05.wav", "Track05", tags("Track05", 0, "", "")}}},
};

// A session over a disc in a virtual drive, writing into the test's folder.
class SessionTest : public EngineTest {
protected:
    TRipSession& sessionOf(cdlib::VirtualDisc disc, TRipChoices chosen) {
        int32_t drive = 0;
        drive_ = addDrive("SESSION", std::move(disc), &drive);
        engine_.setCoder(&coder_);
        engine_.setCDRomNum(drive);
        engine_.setEncode(chosen.Format == TRipFormat::Mp3);
        engine_.setWriteWAV(chosen.Format == TRipFormat::Wav);
        engine_.setWriteFLAC(chosen.Format == TRipFormat::Flac);
        chosen.Folder = folder_.string();
        return session_.emplace(engine_, PlanRip(engine_, chosen));
    }
    // Runs the session, noting each track's start and end in order.
    std::vector<std::string> runNoting(TRipRun run) {
        std::vector<std::string> events;
        run.OnTrackStart = [&](const TTrackPlan& track) {
            events.push_back("start " + std::to_string(track.Number));
        };
        run.OnTrackEnd = [&](const TTrackOutcome& track) {
            events.push_back("end " + std::to_string(track.Number));
        };
        session_->Run(run);
        return events;
    }

    std::shared_ptr<cdlib::VirtualDrive> drive_;
    TLameCoder coder_;
    TCDRIP engine_;
    std::optional<TRipSession> session_;
};

class Plan : public SessionTest, public ::testing::WithParamInterface<PlanCase> {};

TEST_P(Plan, NamesTitlesAndTagsEveryChosenTrack) {
    const TRipPlan& plan = sessionOf(textDisc(), GetParam().choices).Plan();
    EXPECT_EQ(plan.Folder, folder_.string() + "/");
    EXPECT_EQ(plan.Chosen, GetParam().choices.Tracks);
    ASSERT_EQ(plan.Tracks.size(), 5u);
    for (const Planned& expected : GetParam().expected) {
        SCOPED_TRACE(expected.fileName);
        const TTrackPlan& track = plan.Track(expected.number);
        EXPECT_EQ(track.Number, expected.number);
        EXPECT_EQ(track.Audio, expected.number != 5);
        EXPECT_EQ(track.FileName, expected.fileName);
        EXPECT_EQ(track.Path, plan.Folder + expected.fileName);
        EXPECT_EQ(track.Title, expected.title);
        EXPECT_EQ(track.Tags, expected.tags);
    }
    EXPECT_EQ(plan.Track(3).Performer, GetParam().choices.UseDiscText ? "Solo\x1bist" : "");
    EXPECT_EQ(plan.Track(1).Performer, "");
    EXPECT_EQ(plan.Track(2).Performer, GetParam().choices.Release ? "The Conductors feat. Vi" : "");
    EXPECT_THROW(plan.Track(6), std::out_of_range);
}

INSTANTIATE_TEST_SUITE_P(Choices, Plan, ::testing::ValuesIn(PLAN_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Plan, TrackNumbersHaveAtLeastTwoDigitsInNames) {
    const TRipPlan& plan =
        sessionOf(discOf(std::vector<int32_t>(100, 2)), choices(TRipFormat::Pcm, {3, 12, 100}))
            .Plan();
    EXPECT_EQ(plan.Track(3).FileName, "03_Track03.pcm");
    EXPECT_EQ(plan.Track(12).FileName, "12_Track12.pcm");
    EXPECT_EQ(plan.Track(100).FileName, "100_Track100.pcm");
}

TEST_F(Plan, TagsCountTheAudioTracksAfterADataTrackToo) {
    const TRipPlan& plan =
        sessionOf(discOf({20, 20, 20}, {1}), choices(TRipFormat::Wav, {2, 3})).Plan();
    EXPECT_EQ(plan.Track(2).Tags.TrackNumber, 1);
    EXPECT_EQ(plan.Track(3).Tags.TrackNumber, 2);
    EXPECT_EQ(plan.Track(3).Tags.TrackCount, 2);
}

TEST(DiscTitleFileName, KeepsTheNameInItsFolderAndReadable) {
    const struct {
        std::string title;
        std::string name;
    } cases[] = {
        {"Morning Tram", "Morning Tram"},
        {"AC/DC", "AC\xE2\x88\x95"
                  "DC"},
        {".", ""},
        {"...And Justice", "And Justice"},
        {"-rf", "rf"},
        {"Tab\there\nand\x7F"
         "del",
         "Tab here and del"},
        {"C1\xC2\x85"
         "control",
         "C1 control"},
        {"Caf\xC3\xA9 \xC2\xA0", "Caf\xC3\xA9 \xC2\xA0"}, // no-break space is text
        {std::string(199, 'a') + "\xC3\xA9", std::string(199, 'a')},
        {std::string(300, 'b'), std::string(200, 'b')},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FileNameFromDiscTitle(c.title), c.name) << c.title;
    }
}

// Two tracks of 11251 sectors: S = 52,920,000 bytes, five minutes of CD
// audio, 26,460,000 bytes a track.
struct EstimateCase {
    const char* name;
    TRipFormat format;
    uint32_t bitrate;
    bool vbr;
    uint32_t maxBitrate;
    int64_t total;
    int64_t perTrack;
};

const EstimateCase ESTIMATE_CASES[] = {
    {"Wav", TRipFormat::Wav, 128, false, 320, 52920000, 26460000},
    {"Pcm", TRipFormat::Pcm, 128, true, 320, 52920000, 26460000},
    {"Mp3At128", TRipFormat::Mp3, 128, false, 320, 4800680, 18752 * 128},
    {"Mp3At320", TRipFormat::Mp3, 320, false, 320, 12001701, 18752 * 320},
    // The variable bitrate counts for the whole rip, not for a track.
    {"Mp3Vbr128To320", TRipFormat::Mp3, 128, true, 320, 6000850, 18752 * 128},
    {"Mp3Vbr64To128", TRipFormat::Mp3, 64, true, 128, 2880408, 18752 * 64},
    // Music seldom compresses to more than three quarters.
    {"Flac", TRipFormat::Flac, 320, true, 320, 39690000, 19845000},
};

class Estimate : public SessionTest, public ::testing::WithParamInterface<EstimateCase> {};

TEST_P(Estimate, FollowsTheFormatAndTheBitrates) {
    const EstimateCase& c = GetParam();
    coder_.setBitrate(c.bitrate);
    coder_.setEnableVBR(c.vbr);
    coder_.setMaxBitrate(c.maxBitrate);
    // The data track counts for nothing.
    const TRipPlan& plan =
        sessionOf(discOf({11251, 11251, 100}, {3}), choices(c.format, {1, 2, 3})).Plan();
    EXPECT_EQ(plan.EstimatedBytes, c.total);
    EXPECT_EQ(plan.Track(1).EstimatedBytes, c.perTrack);
    EXPECT_EQ(plan.Track(2).EstimatedBytes, c.perTrack);
}

INSTANTIATE_TEST_SUITE_P(Formats, Estimate, ::testing::ValuesIn(ESTIMATE_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Plan, AnythingUnderTheNameTakesIt) {
    TRipSession& session =
        sessionOf(discOf({10, 10, 10, 10}), choices(TRipFormat::Wav, {1, 2, 3, 4}));
    std::ofstream(folder_ / "02_Track02.wav") << "file";
    fs::create_directory(folder_ / "03_Track03.wav");
    fs::create_symlink(folder_ / "nowhere", folder_ / "04_Track04.wav");
    EXPECT_FALSE(session.NameTaken(1));
    EXPECT_TRUE(session.NameTaken(2));
    EXPECT_TRUE(session.NameTaken(3));
    EXPECT_TRUE(session.NameTaken(4)) << "a link that leads nowhere";
}

// What stands under the cover's name before a rip, and what the rip leaves
// there and says of it.
struct CoverCase {
    const char* name;
    std::vector<int32_t> tracks;
    enum { Nothing, SameCover, OtherPicture, Folder } before;
    bool saved;       // the cover is under its name, and CoverPath says so
    const char* note; // the start of CoverNote; empty for none
};

// Only a cover that cannot be saved at all fails the rip.
const char* const NOT_SAVED = "The front cover could not be saved: Cannot create file";
const CoverCase COVER_CASES[] = {
    {"SavedBesideTheFiles", {1, 2}, CoverCase::Nothing, true, ""},
    {"TheSameCoverIsNoNews", {1}, CoverCase::SameCover, true, ""},
    {"AnotherPictureStays", {1}, CoverCase::OtherPicture, false, "/"},
    {"AFolderUnderItsName", {1}, CoverCase::Folder, false, NOT_SAVED},
    {"NoFileNoCover", {3}, CoverCase::Nothing, false, ""},
};

class Cover : public SessionTest, public ::testing::WithParamInterface<CoverCase> {};

TEST_P(Cover, GoesIntoEveryTagAndBesideTheFilesOnce) {
    const CoverCase& c = GetParam();
    const std::string& cover = varrow::testing::kPngCover;
    const std::vector<uint8_t> coverBytes(cover.begin(), cover.end());
    const fs::path path = folder_ / "cover.png";
    if (c.before == CoverCase::SameCover)
        std::ofstream(path, std::ios::binary) << cover;
    if (c.before == CoverCase::OtherPicture)
        std::ofstream(path) << "the user's own scan";
    if (c.before == CoverCase::Folder)
        fs::create_directory(path);
    TRipChoices chosen = choices(TRipFormat::Mp3, c.tracks);
    chosen.Cover = coverBytes;
    chosen.CoverMimeType = "image/png";
    TRipSession& session = sessionOf(discOf({20, 20, 20}, {3}), chosen);
    session.Run({});

    const TRipSummary summary = session.Summary();
    EXPECT_EQ(summary.CoverPath, c.saved ? path.string() : "");
    EXPECT_TRUE(summary.CoverNote.starts_with(c.note)) << summary.CoverNote;
    EXPECT_EQ(summary.CoverNote.empty(), *c.note == '\0') << summary.CoverNote;
    const bool failed = c.before == CoverCase::Folder;
    EXPECT_EQ(summary.CoverFailed, failed);
    EXPECT_EQ(summary.AllWritten(), !failed && c.tracks != std::vector<int32_t>{3});
    if (c.saved) {
        EXPECT_EQ(readFile(path), coverBytes);
    }
    if (c.before == CoverCase::OtherPicture) {
        EXPECT_EQ(readFile(path).size(), std::string("the user's own scan").size());
    }
    if (c.before == CoverCase::Nothing && !c.saved) {
        EXPECT_FALSE(fs::exists(path));
    }
    for (const TTrackOutcome& outcome : session.Outcomes()) {
        if (outcome.End != TTrackEnd::Written)
            continue;
        const std::vector<uint8_t> mp3 = readFile(outcome.Path);
        EXPECT_FALSE(std::ranges::search(mp3, coverBytes).empty()) << outcome.Path;
    }
}

INSTANTIATE_TEST_SUITE_P(Before, Cover, ::testing::ValuesIn(COVER_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// The reports varrow-rip's own tests do not meet.
TEST(OutcomeText, SaysWhatHappenedAndWhatIsLeftUnderTheName) {
    using End = TTrackEnd;
    using File = TOutputOutcome;
    const std::string path = "/music/02_Slow River.wav";
    // Track 2, once reading began unless it was written or kept.
    const auto track2 = [&](End end, File file, TTrackOutcome outcome = {}) {
        outcome.Number = outcome.Number ? outcome.Number : 2;
        outcome.Path = path;
        outcome.End = end;
        outcome.File = file;
        outcome.Started = end != End::Written && end != End::Kept && end != End::Skipped;
        return outcome;
    };
    const std::pair<TTrackOutcome, std::string> cases[] = {
        {track2(End::Written, File::Written,
                {.JitterErrors = 2, .JitterPositions = {"10 12", "30 31"}, .Bytes = 4939244}),
         path + ": 4939244 bytes, jitter errors: 2 at 10 12, 30 31"},
        {track2(End::Partial, File::Partial, {.LostSectors = 1, .LostRanges = {{300, 300}}}),
         "track 02 lost 1 unreadable sector at 300; " + path + " holds the audio read until then"},
        {track2(End::Partial, File::ExistingKept,
                {.LostSectors = 134, .LostRanges = {{300, 432}, {500, 500}}}),
         "track 02 lost 134 unreadable sectors at 300-432, 500; " + path + " was left as it was"},
        {track2(End::Failed, File::None, {.Failure = "Write error: No space left on device"}),
         "track 02 failed: Write error: No space left on device; no file was written"},
        {track2(End::Kept, File::ExistingKept),
         "track 02 was not written; " + path + " was left as it was"},
        {track2(End::Skipped, File::None, {.Number = 7, .Failure = "is a data track"}),
         "track 07 is a data track: skipped"},
        {track2(End::Interrupted, File::None), "interrupted; no file was written"},
    };
    for (const auto& [reported, text] : cases) {
        EXPECT_EQ(TrackOutcomeText(reported), text);
    }
}

// A whole rip: five tracks of which one loses sectors, one meets a folder
// under its name and one is data, written as WAV, or as MP3 or FLAC with
// encoders beside the reader. Only the tracks written whole make the album
// whose ReplayGain their files carry.
struct RunCase {
    const char* name;
    TRipFormat format;
    int32_t encoders;
};

class Run : public SessionTest, public ::testing::WithParamInterface<RunCase> {};

TEST_P(Run, RecordsEveryTrackInOrderAndSumsThemUp) {
    TRipSession& session =
        sessionOf(discOf({60, 60, 60, 20, 60}, {4}), choices(GetParam().format, {1, 2, 3, 4, 5}));
    drive_->faults().unreadableSectors = {70, 71};
    fs::create_directory(session.Plan().Track(3).Path);
    const std::vector<std::string> events = runNoting({.Encoders = GetParam().encoders});
    std::vector<std::string> started;
    std::copy_if(events.begin(), events.end(), std::back_inserter(started),
                 [](const std::string& event) { return event.starts_with("start"); });
    EXPECT_EQ(started, std::vector<std::string>({"start 1", "start 2", "start 3", "start 5"}));
    const std::vector<TTrackOutcome>& outcomes = session.Outcomes();
    ASSERT_EQ(outcomes.size(), 5u);
    const TTrackEnd ends[] = {TTrackEnd::Written, TTrackEnd::Partial, TTrackEnd::Failed,
                              TTrackEnd::Skipped, TTrackEnd::Written};
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        EXPECT_EQ(outcomes[i].Number, static_cast<int32_t>(i + 1));
        EXPECT_EQ(outcomes[i].End, ends[i]) << TrackOutcomeText(outcomes[i]);
    }
    EXPECT_EQ(outcomes[0].Bytes, fs::file_size(outcomes[0].Path));
    EXPECT_EQ(outcomes[1].LostRanges, std::vector<TSectorRange>({{70, 71}}));
    EXPECT_EQ(outcomes[1].File, TOutputOutcome::Partial);
    EXPECT_NE(outcomes[2].Failure.find("Cannot create file"), std::string::npos);
    EXPECT_TRUE(fs::is_directory(outcomes[2].Path));
    if (GetParam().format != TRipFormat::Wav) {
        auto first = varrow::testing::ffprobeTags(outcomes[0].Path);
        auto last = varrow::testing::ffprobeTags(outcomes[4].Path);
        auto partial = varrow::testing::ffprobeTags(outcomes[1].Path);
        EXPECT_TRUE(first["replaygain_album_gain"].ends_with(" dB"));
        EXPECT_EQ(first["replaygain_album_gain"], last["replaygain_album_gain"]);
        EXPECT_NE(first["replaygain_track_gain"], "");
        EXPECT_EQ(partial.count("replaygain_track_gain") + partial.count("replaygain_album_gain"),
                  0u);
    }

    const TRipSummary summary = session.Summary();
    EXPECT_EQ(summary.Written, 2);
    EXPECT_EQ(summary.Partial, 1);
    EXPECT_EQ(summary.Failed, 1);
    EXPECT_EQ(summary.Skipped, 1);
    EXPECT_EQ(summary.TracksWithLostSectors, std::vector<int32_t>({2}));
    EXPECT_FALSE(summary.AllWritten());
    EXPECT_FALSE(summary.Stopped);
}

INSTANTIATE_TEST_SUITE_P(Ways, Run,
                         ::testing::Values(RunCase{"Wav", TRipFormat::Wav, 1},
                                           RunCase{"Mp3", TRipFormat::Mp3, 1},
                                           RunCase{"Mp3WithTwoEncoders", TRipFormat::Mp3, 2},
                                           RunCase{"Flac", TRipFormat::Flac, 1},
                                           RunCase{"FlacWithTwoEncoders", TRipFormat::Flac, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Run, OneTrackAtATimeRecordsAndRaisesTheEnginesError) {
    TRipSession& session = sessionOf(discOf({30, 30}), choices(TRipFormat::Wav, {1, 2}));
    fs::create_directory(session.Plan().Track(2).Path);

    EXPECT_EQ(session.RipTrack(1).End, TTrackEnd::Written);
    EXPECT_THROW(session.RipTrack(2), ECDRIPError);
    session.Keep(1);
    ASSERT_EQ(session.Outcomes().size(), 3u);
    EXPECT_EQ(session.Outcomes()[1].End, TTrackEnd::Failed);
    EXPECT_EQ(session.Outcomes()[2].End, TTrackEnd::Kept);
    EXPECT_EQ(session.Summary().Written, 1);
}

TEST_F(Run, WithoutRoomForTheWaitingAudioEachTrackIsEncodedAsItIsRead) {
    TRipSession& session = sessionOf(discOf({300, 300, 300}), choices(TRipFormat::Mp3, {1, 2, 3}));
    const auto noRoom = [](const std::string&) {
        return int64_t{0};
    };
    EXPECT_EQ(
        runNoting({.Encoders = 3, .FreeBytes = noRoom}),
        std::vector<std::string>({"start 1", "end 1", "start 2", "end 2", "start 3", "end 3"}));
    EXPECT_EQ(session.Summary().Written, 3);
}

TEST_F(Run, ARipRemovesTheLeftoversOfProgramsNoLongerRunning) {
    const pid_t gone = ::fork();
    if (gone == 0) {
        ::_exit(0);
    }
    ASSERT_GT(gone, 0);
    ::waitpid(gone, nullptr, 0);
    const std::string dead = ".varrow-" + std::to_string(gone) + ".part";
    const std::string own = ".varrow-" + std::to_string(::getpid()) + ".part";
    // name, what stands there ("locked": a file someone holds locked), removed
    const std::tuple<std::string, std::string, bool> leftovers[] = {
        {".a.wav" + dead, "file", true},
        {".Track 1 (2).mp3" + dead, "file", true},
        {".b.wav" + dead, "locked", false},
        {".c.wav.varrow-1.part", "file", false}, // process 1 runs
        {".d.wav" + own, "file", false},
        {"e.wav" + dead, "file", false},
        {".f.wav" + dead, "link", false},
        {".g.wav" + dead, "folder", false},
        {".h.wav" + dead + "x", "file", false},
        {dead, "file", false},
    };
    std::vector<int> locks;
    for (const auto& [name, kind, removed] : leftovers) {
        if (kind == "link") {
            fs::create_symlink(folder_ / "elsewhere", folder_ / name);
        } else if (kind == "folder") {
            fs::create_directory(folder_ / name);
        } else {
            std::ofstream(folder_ / name) << "part";
        }
        if (kind == "locked") {
            locks.push_back(::open((folder_ / name).c_str(), O_RDONLY | O_CLOEXEC));
            ASSERT_EQ(::flock(locks.back(), LOCK_EX), 0);
        }
    }
    EXPECT_EQ(sessionOf(discOf({20}), choices(TRipFormat::Pcm, {1})).RipTrack(1).End,
              TTrackEnd::Written);
    for (const auto& [name, kind, removed] : leftovers) {
        EXPECT_EQ(!fs::exists(fs::symlink_status(folder_ / name)), removed) << name;
    }
    for (const int fd : locks) {
        ::close(fd);
    }
}

TEST_F(Run, AnEndingProgramRemovesTheTemporaryFilesItIsWriting) {
    const std::string path = (folder_ / "track.wav").string();
    OutputFile file(path);
    file.write("audio", 5);
    const auto temporaryFiles = [&] {
        return std::count_if(fs::directory_iterator(folder_), fs::directory_iterator(),
                             [](const fs::directory_entry& entry) {
                                 return entry.path().filename().string().ends_with(".part");
                             });
    };
    ASSERT_EQ(temporaryFiles(), 1);
    RemoveTemporaryFilesNow();
    EXPECT_EQ(temporaryFiles(), 0);
    EXPECT_THROW(file.commit(), ECDRIPError);
    EXPECT_FALSE(fs::exists(path));
}

} // namespace
} // namespace enginetest
