// The rules of a rip, owned by the rip session: how each track is titled,
// named and tagged, the room its files need, what is under a name, how each
// track's outcome is called and reported, and what a whole rip comes to.
#include "RipSession.h"

#include "EngineTestSupport.h"
#include "LameCoder.h"
#include "OutputFile.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sys/file.h>
#include <sys/wait.h>
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

TTrackTags tags(std::string title, std::string performer, std::string album, int32_t number) {
    // Four audio tracks: the data track is no track a listener counts.
    return {std::move(title), std::move(performer), std::move(album), number, 4};
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

const PlanCase PLAN_CASES[] = {
    {"DiscTitlesMadeSafeNames",
     choices(TRipFormat::Wav, {1, 2, 3, 4}),
     {{1, "01_AC\u2215DC.wav", "AC/DC", tags("AC/DC", "The Conductors", "Tram Lines", 1)},
      {2, "02_Track02.wav", "..", tags("..", "The Conductors", "Tram Lines", 2)},
      {3, "03_Tab here.wav", "-Tab\there", tags("-Tab here", "Solo ist", "Tram Lines", 3)},
      {4, "04_Track04.wav", "Track04", tags("Track04", "The Conductors", "Tram Lines", 4)}}},
    {"TypedTitlesTakenAsTyped",
     choices(TRipFormat::Mp3, {1, 3}, true, true, {{1, "Intro: *part 1*"}, {3, "A/B"}}),
     {{1, "01_Intro: *part 1*.mp3", "Intro: *part 1*",
       tags("Intro: *part 1*", "The Conductors", "Tram Lines", 1)},
      {3, "03_A/B.mp3", "A/B", tags("A/B", "Solo ist", "Tram Lines", 3)}}},
    {"WithoutDiscText",
     choices(TRipFormat::Pcm, {1, 3}, true, false, {{3, "Typed"}}),
     {{1, "01_Track01.pcm", "Track01", tags("Track01", "", "", 1)},
      {3, "03_Typed.pcm", "Typed", tags("Typed", "", "", 3)}}},
    {"WithoutNumbers",
     choices(TRipFormat::Wav, {2, 1}, false),
     {{2, "Track02.wav", "..", tags("..", "The Conductors", "Tram Lines", 2)},
      {1, "AC\u2215DC.wav", "AC/DC", tags("AC/DC", "The Conductors", "Tram Lines", 1)}}},
    {"SameNamesMadeDistinct",
     choices(TRipFormat::Wav, {1, 2, 3, 4}, false, true,
             {{1, "Same"}, {2, "Same"}, {3, "Same (2)"}, {4, "Same"}}),
     {{1, "Same.wav", "Same", tags("Same", "The Conductors", "Tram Lines", 1)},
      {2, "Same (3).wav", "Same", tags("Same", "The Conductors", "Tram Lines", 2)},
      {3, "Same (2).wav", "Same (2)", tags("Same (2)", "Solo ist", "Tram Lines", 3)},
      {4, "Same (4).wav", "Same", tags("Same", "The Conductors", "Tram Lines", 4)}}},
    {"DataTrackKeepsItsName",
     choices(TRipFormat::Wav, {5}),
     {{5, "05_Track05.wav", "Track05", tags("Track05", "The Conductors", "Tram Lines", 0)}}},
};

class Plan : public EngineTest, public ::testing::WithParamInterface<PlanCase> {};

TEST_P(Plan, NamesTitlesAndTagsEveryChosenTrack) {
    int32_t drive = 0;
    addDrive("PLAN", textDisc(), &drive);
    TLameCoder coder;
    TCDRIP engine;
    engine.setCoder(&coder);
    engine.setCDRomNum(drive);
    TRipChoices chosen = GetParam().choices;
    chosen.Folder = folder_.string();

    const TRipPlan plan = PlanRip(engine, chosen);
    EXPECT_EQ(plan.Folder, folder_.string() + "/");
    EXPECT_EQ(plan.Chosen, chosen.Tracks);
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
    EXPECT_EQ(plan.Track(3).Performer, chosen.UseDiscText ? "Solo\x1bist" : "");
    EXPECT_EQ(plan.Track(1).Performer, "");
    EXPECT_THROW(plan.Track(6), std::out_of_range);
}

INSTANTIATE_TEST_SUITE_P(Choices, Plan, ::testing::ValuesIn(PLAN_CASES),
                         [](const ::testing::TestParamInfo<PlanCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(Plan, TrackNumbersHaveAtLeastTwoDigitsInNames) {
    int32_t drive = 0;
    addDrive("MANY", discOf(std::vector<int32_t>(100, 2)), &drive);
    TCDRIP engine;
    engine.setCDRomNum(drive);
    const TRipPlan plan = PlanRip(engine, choices(TRipFormat::Pcm, {3, 12, 100}));
    EXPECT_EQ(plan.Track(3).FileName, "03_Track03.pcm");
    EXPECT_EQ(plan.Track(12).FileName, "12_Track12.pcm");
    EXPECT_EQ(plan.Track(100).FileName, "100_Track100.pcm");
}

TEST_F(Plan, TagsCountTheAudioTracksAfterADataTrackToo) {
    int32_t drive = 0;
    addDrive("MIXED", discOf({20, 20, 20}, {1}), &drive);
    TCDRIP engine;
    engine.setCDRomNum(drive);
    const TRipPlan plan = PlanRip(engine, choices(TRipFormat::Wav, {2, 3}));
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
};

class Estimate : public EngineTest, public ::testing::WithParamInterface<EstimateCase> {};

TEST_P(Estimate, FollowsTheFormatAndTheBitrates) {
    const EstimateCase& c = GetParam();
    int32_t drive = 0;
    addDrive("ESTIMATE", discOf({11251, 11251, 100}, {3}), &drive);
    TLameCoder coder;
    coder.setBitrate(c.bitrate);
    coder.setEnableVBR(c.vbr);
    coder.setMaxBitrate(c.maxBitrate);
    TCDRIP engine;
    engine.setCoder(&coder);
    engine.setCDRomNum(drive);
    // The data track counts for nothing.
    const TRipPlan plan = PlanRip(engine, choices(c.format, {1, 2, 3}));
    EXPECT_EQ(plan.EstimatedBytes, c.total);
    EXPECT_EQ(plan.Track(1).EstimatedBytes, c.perTrack);
    EXPECT_EQ(plan.Track(2).EstimatedBytes, c.perTrack);
}

INSTANTIATE_TEST_SUITE_P(Formats, Estimate, ::testing::ValuesIn(ESTIMATE_CASES),
                         [](const ::testing::TestParamInfo<EstimateCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(Plan, AnythingUnderTheNameTakesIt) {
    int32_t drive = 0;
    addDrive("NAMES", discOf({10, 10, 10, 10}), &drive);
    TCDRIP engine;
    engine.setCDRomNum(drive);
    TRipChoices chosen = choices(TRipFormat::Wav, {1, 2, 3, 4});
    chosen.Folder = folder_.string();
    TRipSession session(engine, PlanRip(engine, chosen));
    std::ofstream(folder_ / "02_Track02.wav") << "file";
    fs::create_directory(folder_ / "03_Track03.wav");
    fs::create_symlink(folder_ / "nowhere", folder_ / "04_Track04.wav");
    EXPECT_FALSE(session.NameTaken(1));
    EXPECT_TRUE(session.NameTaken(2));
    EXPECT_TRUE(session.NameTaken(3));
    EXPECT_TRUE(session.NameTaken(4)) << "a link that leads nowhere";
}

// How each outcome is reported.
TTrackOutcome outcome(TTrackEnd end, TOutputOutcome file, int32_t number = 2) {
    TTrackOutcome result;
    result.Number = number;
    result.Path = "/music/02_Slow River.wav";
    result.End = end;
    result.File = file;
    result.Started = true;
    return result;
}

TEST(OutcomeText, SaysWhatHappenedAndWhatIsLeftUnderTheName) {
    using End = TTrackEnd;
    using File = TOutputOutcome;
    TTrackOutcome written = outcome(End::Written, File::Written);
    written.Bytes = 4939244;
    TTrackOutcome jitter = written;
    jitter.JitterErrors = 2;
    jitter.JitterPositions = {"10 12", "30 31"};
    TTrackOutcome lostOne = outcome(End::Partial, File::Partial);
    lostOne.LostSectors = 1;
    lostOne.LostRanges = {{300, 300}};
    TTrackOutcome lostMany = outcome(End::Partial, File::ExistingKept);
    lostMany.LostSectors = 134;
    lostMany.LostRanges = {{300, 432}, {500, 500}};
    TTrackOutcome failed = outcome(End::Failed, File::None);
    failed.Failure = "Write error: No space left on device";
    TTrackOutcome failedKept = outcome(End::Failed, File::ExistingKept);
    failedKept.Failure = "Write error: File too large";
    TTrackOutcome data = outcome(End::Skipped, File::None, 7);
    data.Failure = "is a data track";
    data.Started = false;
    TTrackOutcome notStarted = outcome(End::Interrupted, File::None);
    notStarted.Started = false;

    const std::pair<TTrackOutcome, std::string> cases[] = {
        {written, "/music/02_Slow River.wav: 4939244 bytes, jitter errors: 0"},
        {jitter, "/music/02_Slow River.wav: 4939244 bytes, jitter errors: 2 at 10 12, 30 31"},
        {lostOne, "track 02 lost 1 unreadable sector at 300; /music/02_Slow River.wav holds the "
                  "audio read until then"},
        {lostMany, "track 02 lost 134 unreadable sectors at 300-432, 500; /music/02_Slow "
                   "River.wav was left as it was"},
        {failed, "track 02 failed: Write error: No space left on device; no file was written"},
        {failedKept, "track 02 failed: Write error: File too large; /music/02_Slow River.wav was "
                     "left as it was"},
        {outcome(End::Kept, File::ExistingKept),
         "track 02 was not written; /music/02_Slow River.wav was left as it was"},
        {data, "track 07 is a data track: skipped"},
        {outcome(End::Interrupted, File::Partial),
         "interrupted; /music/02_Slow River.wav holds the audio read until then"},
        {outcome(End::Interrupted, File::None), "interrupted; no file was written"},
        {notStarted, "interrupted before track 02; its file was not touched"},
    };
    for (const auto& [reported, text] : cases) {
        EXPECT_EQ(TrackOutcomeText(reported), text);
    }
}

// A whole rip: five tracks of which one loses sectors, one meets a folder
// under its name and one is data, written as WAV or as MP3 with encoders
// beside the reader.
struct RunCase {
    const char* name;
    TRipFormat format;
    int32_t encoders;
};

class Run : public EngineTest, public ::testing::WithParamInterface<RunCase> {};

TEST_P(Run, RecordsEveryTrackInOrderAndSumsThemUp) {
    int32_t drive = 0;
    auto virtualDrive = addDrive("RUN", discOf({60, 60, 60, 20, 60}, {4}), &drive);
    virtualDrive->faults().unreadableSectors = {70, 71};
    TLameCoder coder;
    TCDRIP engine;
    engine.setCoder(&coder);
    engine.setCDRomNum(drive);
    engine.setEncode(GetParam().format == TRipFormat::Mp3);
    engine.setWriteWAV(true);
    TRipChoices chosen = choices(GetParam().format, {1, 2, 3, 4, 5});
    chosen.Folder = folder_.string();
    TRipSession session(engine, PlanRip(engine, chosen));
    fs::create_directory(session.Plan().Track(3).Path);

    std::vector<int32_t> started;
    std::vector<int32_t> ended;
    TRipRun run;
    run.Encoders = GetParam().encoders;
    run.OnTrackStart = [&](const TTrackPlan& track) {
        started.push_back(track.Number);
    };
    run.OnTrackEnd = [&](const TTrackOutcome& track) {
        ended.push_back(track.Number);
    };
    session.Run(run);

    EXPECT_EQ(started, std::vector<int32_t>({1, 2, 3, 5}));
    EXPECT_EQ(ended, std::vector<int32_t>({1, 2, 3, 4, 5}));
    const std::vector<TTrackOutcome>& outcomes = session.Outcomes();
    ASSERT_EQ(outcomes.size(), 5u);
    const TTrackEnd ends[] = {TTrackEnd::Written, TTrackEnd::Partial, TTrackEnd::Failed,
                              TTrackEnd::Skipped, TTrackEnd::Written};
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        EXPECT_EQ(outcomes[i].End, ends[i]) << TrackOutcomeText(outcomes[i]);
    }
    EXPECT_EQ(outcomes[0].Bytes, fs::file_size(outcomes[0].Path));
    EXPECT_EQ(outcomes[1].LostRanges, std::vector<TSectorRange>({{70, 71}}));
    EXPECT_EQ(outcomes[1].File, TOutputOutcome::Partial);
    EXPECT_NE(outcomes[2].Failure.find("Cannot create file"), std::string::npos);
    EXPECT_TRUE(fs::is_directory(outcomes[2].Path));

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
                                           RunCase{"Mp3WithTwoEncoders", TRipFormat::Mp3, 2}),
                         [](const ::testing::TestParamInfo<RunCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(Run, OneTrackAtATimeRecordsAndRaisesTheEnginesError) {
    int32_t drive = 0;
    addDrive("ONE", discOf({30, 30}), &drive);
    TCDRIP engine;
    engine.setCDRomNum(drive);
    engine.setWriteWAV(true);
    TRipChoices chosen = choices(TRipFormat::Wav, {1, 2});
    chosen.Folder = folder_.string();
    TRipSession session(engine, PlanRip(engine, chosen));
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
    int32_t drive = 0;
    addDrive("ROOM", discOf({300, 300, 300}), &drive);
    TLameCoder coder;
    TCDRIP engine;
    engine.setCoder(&coder);
    engine.setCDRomNum(drive);
    engine.setEncode(true);
    TRipChoices chosen = choices(TRipFormat::Mp3, {1, 2, 3});
    chosen.Folder = folder_.string();
    TRipSession session(engine, PlanRip(engine, chosen));

    std::vector<std::string> events;
    TRipRun run;
    run.Encoders = 3;
    run.FreeBytes = [](const std::string&) {
        return int64_t{0};
    };
    run.OnTrackStart = [&](const TTrackPlan& track) {
        events.push_back("start " + std::to_string(track.Number));
    };
    run.OnTrackEnd = [&](const TTrackOutcome& track) {
        events.push_back("end " + std::to_string(track.Number));
    };
    session.Run(run);
    EXPECT_EQ(events, std::vector<std::string>(
                          {"start 1", "end 1", "start 2", "end 2", "start 3", "end 3"}));
    EXPECT_EQ(session.Summary().Written, 3);
}

// The temporary files a rip finds in its folder.
struct Leftover {
    const char* name;
    // "file", "locked" (a file someone holds locked), "link" or "folder"
    const char* kind;
    bool removed;
};

TEST_F(Run, ARipRemovesTheLeftoversOfProgramsNoLongerRunning) {
    const pid_t gone = ::fork();
    if (gone == 0) {
        ::_exit(0);
    }
    ASSERT_GT(gone, 0);
    ::waitpid(gone, nullptr, 0);
    const std::string dead = std::to_string(gone);
    const std::string own = std::to_string(::getpid());
    const std::vector<Leftover> leftovers = {
        {".a.wav.varrow-DEAD.part", "file", true},
        {".Track 1 (2).mp3.varrow-DEAD.part", "file", true},
        {".b.wav.varrow-DEAD.part", "locked", false},
        {".c.wav.varrow-1.part", "file", false}, // process 1 runs
        {".d.wav.varrow-OWN.part", "file", false},
        {"e.wav.varrow-DEAD.part", "file", false},
        {".f.wav.varrow-DEAD.part", "link", false},
        {".g.wav.varrow-DEAD.part", "folder", false},
        {".h.wav.varrow-DEADx.part", "file", false},
        {".varrow-DEAD.part", "file", false},
    };
    const auto named = [&](std::string name) {
        for (const auto& [marker, value] : {std::pair{"DEAD", dead}, std::pair{"OWN", own}}) {
            if (const auto at = name.find(marker); at != std::string::npos) {
                name.replace(at, std::string(marker).size(), value);
            }
        }
        return folder_ / name;
    };
    std::vector<int> locks;
    for (const Leftover& leftover : leftovers) {
        const fs::path path = named(leftover.name);
        const std::string kind = leftover.kind;
        if (kind == "link") {
            fs::create_symlink(folder_ / "elsewhere", path);
        } else if (kind == "folder") {
            fs::create_directory(path);
        } else {
            std::ofstream(path) << "part";
        }
        if (kind == "locked") {
            locks.push_back(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
            ASSERT_EQ(::flock(locks.back(), LOCK_EX), 0);
        }
    }

    int32_t drive = 0;
    addDrive("LEFT", discOf({20}), &drive);
    TCDRIP engine;
    engine.setCDRomNum(drive);
    TRipChoices chosen = choices(TRipFormat::Pcm, {1});
    chosen.Folder = folder_.string();
    TRipSession session(engine, PlanRip(engine, chosen));
    EXPECT_EQ(session.RipTrack(1).End, TTrackEnd::Written);
    for (const Leftover& leftover : leftovers) {
        EXPECT_EQ(fs::symlink_status(named(leftover.name)).type() == fs::file_type::not_found,
                  leftover.removed)
            << leftover.name;
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
