// SPDX-License-Identifier: GPL-3.0-or-later
// What a rip proves, owned by the rip session: each track's result against
// the AccurateRip database as a local server answers it, and secure
// reading, which reads a track again only where the database does not
// confirm the first reading.
#include "AccurateRipFiles.h"
#include "CueSheet.h"
#include "DiscIdentity.h"
#include "EngineTestSupport.h"
#include "LocalHttpServer.h"
#include "RipSession.h"
#include "TrackChecksums.h"

#include <chrono>
#include <cstdlib>
#include <thread>

namespace enginetest {
namespace {

using varrow::testing::HttpAnswer;
using varrow::testing::httpAnswer;
using varrow::testing::httpAnswerNever;
using varrow::testing::LocalHttpServer;

constexpr int32_t TRACK_SECTORS = 20;
constexpr int TRACKS = 3;
// A sector of track 2 that only jitter correction reads right.
constexpr int32_t UNSTABLE_SECTOR = TRACK_SECTORS + 7;

// How the database holds the disc's checksums.
enum class Entry { None, V2, V1, Other };

struct LookupCase {
    const char* name;
    Entry entry;
    // How the server answers (when it serves the file).
    std::optional<HttpAnswer> answer;
    bool serverGone;
    std::string trackResult;
    std::string summary;
};

const LookupCase LOOKUP_CASES[] = {
    {"MatchedV2", Entry::V2, std::nullopt, false, "Accurately ripped (confidence 7) [v2]",
     "AccurateRip: 3 of 3 tracks matched"},
    {"MatchedV1", Entry::V1, std::nullopt, false, "Accurately ripped (confidence 7) [v1]",
     "AccurateRip: 3 of 3 tracks matched"},
    {"NotMatched", Entry::Other, std::nullopt, false, "Not matched (database confidence 4)",
     "AccurateRip: 0 of 3 tracks matched"},
    {"NotInDatabase", Entry::None, std::nullopt, false, "Not in database",
     "AccurateRip: the disc is not in the database"},
    {"ServerGone", Entry::V2, std::nullopt, true, "Database not reached",
     "AccurateRip: the database could not be reached"},
    {"Timeout", Entry::V2, httpAnswerNever(), false, "Database not reached",
     "AccurateRip: the database could not be reached"},
};

struct SecureCase {
    const char* name;
    bool known;
    bool unstable;
    int readTwice;
    TTrackEnd track2;
    std::string track2Result;
};

const SecureCase SECURE_CASES[] = {
    {"CleanKnownDiscReadOnce", true, false, 0, TTrackEnd::Written,
     "Accurately ripped (confidence 7) [v2]"},
    {"UnstableTrackReadAgainAndMatched", true, true, 1, TTrackEnd::Written,
     "Accurately ripped (confidence 7) [v2]"},
    {"UnknownDiscReadTwiceAndAgreeing", false, false, TRACKS, TTrackEnd::Written,
     "Not in database"},
    {"UnknownDiscUnstableTrackSuspect", false, true, TRACKS, TTrackEnd::Suspect,
     "Suspect: the two readings differ"},
};

// A session over a disc of three audio tracks, the database a local server
// that answers what each case says.
class ProofTest : public EngineTest {
protected:
    TRipSession& sessionOf(bool unstable) {
        int32_t drive = 0;
        drive_ = addDrive("PROOF", discOf(std::vector<int32_t>(TRACKS, TRACK_SECTORS)), &drive);
        if (unstable) {
            drive_->faults().unstableSectors = {UNSTABLE_SECTOR};
        }
        engine_.setCDRomNum(drive);
        engine_.setWriteWAV(true);
        TRipChoices chosen;
        chosen.Format = TRipFormat::Wav;
        chosen.Folder = folder_.string();
        chosen.Tracks = {1, 2, 3};
        return session_.emplace(engine_, PlanRip(engine_, chosen));
    }

    // The disc's database file holding one entry of confidence 4 and one of
    // 3, of the checksums `entry` says.
    void serveDisc(Entry entry, std::optional<HttpAnswer> answer) {
        const online::AccurateRipDisc disc = online::accurateRipDisc(OnlineToc(engine_));
        online::AccurateRipEntry record{disc.id1, disc.id2, disc.cddb, {}};
        for (int track = 0; track < TRACKS; ++track) {
            TrackChecksums sums(TRACK_SECTORS, track == 0, track == TRACKS - 1);
            sums.add(expectedAudio(track * TRACK_SECTORS, (track + 1) * TRACK_SECTORS - 1));
            const uint32_t checksum = entry == Entry::V1   ? sums.accurateRipV1()
                                      : entry == Entry::V2 ? sums.accurateRipV2()
                                                           : sums.accurateRipV2() + 1;
            record.tracks.push_back({4, checksum, sums.frame450Checksum().value_or(0)});
        }
        online::AccurateRipEntry second = record;
        for (online::AccurateRipTrack& track : second.tracks) {
            track.confidence = 3;
        }
        if (entry != Entry::None) {
            server_.serve("/" + disc.urlPath(),
                          answer.value_or(httpAnswer(
                              200, varrow::testing::accurateRipFileBytes({record, second}))));
        }
    }

    void startLookUp(bool serverGone) {
        online::AccurateRipLookupSettings settings;
        settings.baseUrl = server_.url();
        settings.totalTimeout = std::chrono::milliseconds(300);
        settings.firstBackOff = std::chrono::milliseconds(10);
        if (serverGone) {
            server_.stop();
        }
        session_->StartAccurateRip(OnlineToc(engine_), AccurateRipDatabase(settings));
    }

    std::shared_ptr<cdlib::VirtualDrive> drive_;
    TCDRIP engine_;
    std::optional<TRipSession> session_;
    LocalHttpServer server_;
};

class Lookup : public ProofTest, public ::testing::WithParamInterface<LookupCase> {};

TEST_P(Lookup, GivesEachTrackItsResultAndTheRipCompletes) {
    const LookupCase& c = GetParam();
    TRipSession& session = sessionOf(false);
    serveDisc(c.entry, c.answer);
    startLookUp(c.serverGone);
    session.Run({});
    ASSERT_EQ(session.Outcomes().size(), 3u);
    for (const TTrackOutcome& outcome : session.Outcomes()) {
        SCOPED_TRACE(outcome.Number);
        EXPECT_EQ(outcome.End, TTrackEnd::Written);
        EXPECT_EQ(TrackResultText(outcome), c.trackResult);
    }
    EXPECT_EQ(session.Summary().AccurateRip, c.summary);
    EXPECT_EQ(session.AccurateRipProblem().empty(), !c.serverGone && !c.answer);
    EXPECT_TRUE(session.Summary().AllWritten());
}

INSTANTIATE_TEST_SUITE_P(Answers, Lookup, ::testing::ValuesIn(LOOKUP_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// A rip that read nothing (every file kept) has nothing to prove: the
// database it could not reach is not the user's concern, however soon the
// lookup gave up.
TEST_F(ProofTest, ARipThatReadNoTrackHasNoDatabaseProblem) {
    TRipSession& session = sessionOf(false);
    startLookUp(true);
    for (int32_t number = 1; number <= TRACKS; ++number) {
        session.Keep(number);
    }
    EXPECT_TRUE(session.Finish({}).LogPath.empty());
    // The lookup at a closed port ends within milliseconds; it is given far
    // longer to show a problem it must not.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (std::chrono::steady_clock::now() < until) {
        ASSERT_EQ(session.AccurateRipProblem(), "");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

class Secure : public ProofTest, public ::testing::WithParamInterface<SecureCase> {};

TEST_P(Secure, ReadsAgainOnlyWhatTheDatabaseDoesNotConfirm) {
    const SecureCase& c = GetParam();
    TRipSession& session = sessionOf(c.unstable);
    engine_.setJitterCorrect(true);
    engine_.setSecureMode(true);
    serveDisc(c.known ? Entry::V2 : Entry::None, std::nullopt);
    startLookUp(false);
    std::vector<int32_t> readAgain;
    session.OnSecondReading = [&](const TTrackPlan& track) {
        readAgain.push_back(track.Number);
    };
    session.Run({});

    const TRipSummary summary = session.Summary();
    EXPECT_EQ(summary.ReadTwice, c.readTwice);
    EXPECT_EQ(static_cast<int>(readAgain.size()), c.readTwice);
    const TTrackOutcome& track2 = session.Outcomes()[1];
    EXPECT_EQ(track2.End, c.track2);
    EXPECT_EQ(TrackResultText(track2), c.track2Result);
    ASSERT_TRUE(track2.Sums);
    ASSERT_EQ(track2.Sums->TestCrc.has_value(), track2.ReadTwice);
    if (track2.ReadTwice) {
        EXPECT_EQ(*track2.Sums->TestCrc != track2.Sums->CopyCrc, c.unstable);
    }
    // The file holds the corrected reading, and the user's choice of
    // jitter correction is the engine's again.
    const std::vector<uint8_t> file = readFile(track2.Path);
    ASSERT_GT(file.size(), 44u);
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + 44, file.end()),
              expectedAudio(TRACK_SECTORS, 2 * TRACK_SECTORS - 1));
    EXPECT_TRUE(engine_.JitterCorrect());
    EXPECT_EQ(summary.AllWritten(), c.track2 == TTrackEnd::Written);
}

INSTANTIATE_TEST_SUITE_P(Discs, Secure, ::testing::ValuesIn(SECURE_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// Per-track files: each file runs from its track's INDEX 01 to the next
// track's, so a pregap closes the file before it; one without a file
// before it becomes silence (PREGAP).
TEST(CueSheet, PlacesEachTrackInItsFileAsTheDiscHasIt) {
    TCueSheet sheet;
    sheet.Program = "Varrow test";
    sheet.Catalog = "0123456789012";
    sheet.Title = "Tram \"Lines\"";
    sheet.Format = TRipFormat::Pcm;
    sheet.Tracks = {
        {1, "01.pcm", "First", "", "GBAAA0000001", false, true, false, 150, 0},
        {2, "02.pcm", "", "Band", "", true, false, false, 20'000, 19'850},
        {3, "", "", "", "", false, false, false, 30'000, std::nullopt},
        {4, "04.pcm", "", "", "", false, false, true, 40'000, 39'925},
    };
    EXPECT_EQ(CueSheetText(sheet), "REM COMMENT \"Varrow test\"\n"
                                   "CATALOG 0123456789012\n"
                                   "TITLE \"Tram 'Lines'\"\n"
                                   "FILE \"01.pcm\" BINARY\n"
                                   "  TRACK 01 AUDIO\n"
                                   "    TITLE \"First\"\n"
                                   "    ISRC GBAAA0000001\n"
                                   "    FLAGS DCP\n"
                                   "    PREGAP 00:02:00\n"
                                   "    INDEX 01 00:00:00\n"
                                   "  TRACK 02 AUDIO\n"
                                   "    PERFORMER \"Band\"\n"
                                   "    FLAGS PRE\n"
                                   "    INDEX 00 04:22:50\n"
                                   "FILE \"02.pcm\" BINARY\n"
                                   "    INDEX 01 00:00:00\n"
                                   "FILE \"04.pcm\" BINARY\n"
                                   "  TRACK 04 AUDIO\n"
                                   "    FLAGS 4CH\n"
                                   "    PREGAP 00:01:00\n"
                                   "    INDEX 01 00:00:00\n");
    EXPECT_EQ(CueFileType(TRipFormat::Wav), "WAVE");
    EXPECT_EQ(CueFileType(TRipFormat::Mp3), "MP3");
}

} // namespace
} // namespace enginetest
