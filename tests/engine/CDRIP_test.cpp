// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's data model: drive selection, the track table, the parameter
// record and play times, through virtual drives.
#include "EngineTestSupport.h"
#include "LameCoder.h"
#include "WavHeader.h"

#include <cstring>

namespace enginetest {
namespace {

using TrackTable = EngineTest;

TEST_F(TrackTable, DiscOfThreeTracksGivesThreeEntriesEndingBeforeTheLeadOut) {
    int32_t drive = 0;
    addDrive("VIRTUAL CD 1.0", discOf({1000, 500, 2000}, {2}, 150), &drive);
    TCDRIP engine;
    engine.setCDRomNum(drive);

    ASSERT_EQ(engine.Tracks().size(), 3u);
    EXPECT_EQ(engine.TrackCount(), 3);
    EXPECT_EQ(engine.CDRomNum(), drive);
    EXPECT_EQ(engine.CDRomName(), "VIRTUAL CD 1.0");

    const TTrack& first = engine.Tracks()[0].Track;
    EXPECT_EQ(engine.Tracks()[0].Name, "Track01");
    EXPECT_EQ(first.Number, 1);
    EXPECT_EQ(first.StartSector, 150);
    EXPECT_EQ(first.EndSector, 150 + 999);
    EXPECT_EQ(first.Sectors, 999);
    EXPECT_EQ(first.Size, 2349648);
    EXPECT_EQ(first.TrackType, "Audio");

    const TTrack& data = engine.Tracks()[1].Track;
    EXPECT_EQ(engine.Tracks()[1].Name, "Track02");
    EXPECT_EQ(data.TrackType, "Data");
    EXPECT_EQ(data.StartSector, 1150);
    EXPECT_EQ(data.Sectors, 499);
    EXPECT_EQ(data.Size, 499 * 2048);

    const TTrack& last = engine.Tracks()[2].Track;
    EXPECT_EQ(last.Number, 3);
    EXPECT_EQ(last.StartSector, 1650);
    EXPECT_EQ(last.EndSector, 150 + 3500 - 1);
    EXPECT_EQ(last.Size, 1999 * 2352);
}

TEST_F(TrackTable, NamesHaveAtLeastTwoDigits) {
    int32_t drive = 0;
    addDrive("HUNDRED", discOf(std::vector<int32_t>(100, 10)), &drive);
    TCDRIP engine;
    engine.setCDRomNum(drive);

    ASSERT_EQ(engine.Tracks().size(), 100u);
    EXPECT_EQ(engine.Tracks()[0].Name, "Track01");
    EXPECT_EQ(engine.Tracks()[9].Name, "Track10");
    EXPECT_EQ(engine.Tracks()[99].Name, "Track100");
    EXPECT_EQ(engine.Tracks()[99].Track.Number, 100);
}

TEST_F(TrackTable, SelectingAgainRebuildsTheTableFromScratch) {
    int32_t drive = 0;
    auto virtualDrive = addDrive("CHANGER", discOf({300, 300}), &drive);
    TCDRIP engine;
    engine.setCDRomNum(drive);
    ASSERT_EQ(engine.Tracks().size(), 2u);

    virtualDrive->insertDisc(discOf({100, 100, 100, 100}));
    engine.setCDRomNum(drive);
    EXPECT_EQ(engine.Tracks().size(), 4u);
    EXPECT_EQ(engine.TrackCount(), 4);
}

TEST_F(TrackTable, NoDiscGivesAnEmptyTableButTheDriveIsStillRead) {
    int32_t withDisc = 0;
    int32_t empty = 0;
    addDrive("FULL", discOf({100, 100}), &withDisc);
    addDrive("EMPTY", std::nullopt, &empty);
    TCDRIP engine;
    engine.setCDRomNum(withDisc);

    EXPECT_NO_THROW(engine.setCDRomNum(empty));
    EXPECT_TRUE(engine.Tracks().empty());
    EXPECT_EQ(engine.CDRomNum(), empty);
    EXPECT_EQ(engine.CDRomName(), "EMPTY");
    // The table of contents was not read: the count is the previous disc's.
    EXPECT_EQ(engine.TrackCount(), 2);
}

TEST_F(TrackTable, ZeroEntriesGiveAnEmptyTableAndCountZero) {
    int32_t drive = 0;
    auto virtualDrive = addDrive("ZERO", discOf({100, 100}), &drive);
    virtualDrive->faults().tocEntriesOverride = 0;
    TCDRIP engine;
    engine.setCDRomNum(drive);
    EXPECT_TRUE(engine.Tracks().empty());
    EXPECT_EQ(engine.TrackCount(), 0);
}

TEST_F(TrackTable, DiscTextIsReadWithTheTableAndNamesStayTrackNN) {
    cdlib::VirtualDisc disc = discOf({100, 100, 100}, {3});
    disc.text.set(0, CDTEXT_TITLE, "Album");
    disc.text.set(0, CDTEXT_PERFORMER, "Band");
    disc.text.set(1, CDTEXT_TITLE, "AC/DC");
    disc.text.set(2, CDTEXT_PERFORMER, "Guest");
    int32_t drive = 0;
    addDrive("TEXT", disc, &drive);
    TCDRIP engine;
    engine.setCDRomNum(drive);

    const TDiscText& text = engine.DiscText();
    EXPECT_EQ(text.Title, "Album");
    EXPECT_EQ(text.Performer, "Band");
    ASSERT_EQ(text.Tracks.size(), 3u);
    EXPECT_EQ(text.Tracks[0].Title, "AC/DC");
    EXPECT_EQ(text.Tracks[0].Performer, "");
    EXPECT_EQ(text.Tracks[1].Title, "");
    EXPECT_EQ(text.Tracks[1].Performer, "Guest");
    EXPECT_EQ(engine.Tracks()[0].Name, "Track01");
}

TEST_F(TrackTable, DiscInfoIsReadWithTheTableOneEntryPerTrack) {
    cdlib::VirtualDisc disc = discOf({100, 100, 100}, {3});
    disc.info.catalog = "0724354123428";
    disc.info.tracks[1] = {"USRC17607839", std::nullopt, true, false, false};
    disc.info.tracks[2] = {"", 50, false, true, true};
    int32_t drive = 0;
    addDrive("CODES", disc, &drive);
    TCDRIP engine;
    engine.setCDRomNum(drive);
    const TDiscInfo expected{
        "0724354123428",
        {{"USRC17607839", std::nullopt, true, false, false}, {"", 50, false, true, true}, {}}};
    EXPECT_EQ(engine.DiscInfo(), expected);
}

// Values that no library read gives, so that a failed selection that
// overwrote them shows.
void setDistinctValues(TCDRIP& engine) {
    engine.DriveTable().setDriveType(PLEXTOR);
    engine.DriveTable().setReadMethod(READMMC4);
    engine.DriveTable().setDensity(77);
    engine.setSpeed(13);
    engine.setJitterCorrect(true);
    engine.setOutputFormat(MONO11025);
}

void expectDistinctValues(const TCDRIP& engine) {
    EXPECT_EQ(engine.DriveTable().DriveType(), PLEXTOR);
    EXPECT_EQ(engine.DriveTable().ReadMethod(), READMMC4);
    EXPECT_EQ(engine.DriveTable().Density(), 77);
    EXPECT_EQ(engine.Speed(), 13);
    EXPECT_TRUE(engine.JitterCorrect());
    EXPECT_EQ(engine.OutputFormat(), MONO11025);
}

struct FailingStep {
    const char* operation;
    bool parametersRead; // the step comes after CR_GetCDROMParameters
};

class SelectionFailure : public EngineTest, public ::testing::WithParamInterface<FailingStep> {};

TEST_P(SelectionFailure, EndsQuietlyKeepingWhatWasNotReached) {
    int32_t good = 0;
    int32_t bad = 0;
    addDrive("GOOD", discOf({100, 200, 300}), &good);
    auto badDrive = addDrive("BAD", discOf({100}), &bad);
    TCDRIP engine;
    engine.setCDRomNum(good);
    ASSERT_EQ(engine.TrackCount(), 3);
    setDistinctValues(engine);

    badDrive->faults().failing.insert(GetParam().operation);
    EXPECT_NO_THROW(engine.setCDRomNum(bad));

    EXPECT_TRUE(engine.Tracks().empty());
    EXPECT_EQ(engine.TrackCount(), 3);
    if (GetParam().parametersRead) {
        EXPECT_EQ(engine.CDRomNum(), bad);
        EXPECT_EQ(engine.CDRomName(), "BAD");
        EXPECT_EQ(engine.Speed(), +engine.Params().Speed);
        EXPECT_NE(engine.DriveTable().DriveType(), PLEXTOR);
    } else {
        EXPECT_EQ(engine.CDRomNum(), good);
        EXPECT_EQ(engine.CDRomName(), "GOOD");
        expectDistinctValues(engine);
    }
}

INSTANTIATE_TEST_SUITE_P(Steps, SelectionFailure,
                         ::testing::Values(FailingStep{"CR_Init", false},
                                           FailingStep{"CR_SetActiveCDROM", false},
                                           FailingStep{"CR_GetCDROMParameters", false},
                                           FailingStep{"CR_ReadToc", true}),
                         [](const auto& info) { return std::string(info.param.operation); });

TEST_F(TrackTable, AnErrorRaisedByTheLibraryBecomesTheEnginesError) {
    int32_t drive = 0;
    auto virtualDrive = addDrive("THROWS", discOf({100, 100}), &drive);
    TCDRIP engine;
    for (const char* operation : {"CR_ReadToc", "CR_GetTocEntry", "CR_GetCDROMParameters"}) {
        SCOPED_TRACE(operation);
        engine.setCDRomNum(drive);
        ASSERT_EQ(engine.Tracks().size(), 2u);
        virtualDrive->faults().throwing = {operation};
        try {
            engine.setCDRomNum(drive);
            ADD_FAILURE() << "no error raised";
        } catch (const ECDRIPError& error) {
            EXPECT_STREQ(error.what(), "TCDRip.SetActiveCD Initialization failure");
        }
        EXPECT_TRUE(engine.Tracks().empty());
        virtualDrive->faults().throwing.clear();
    }
}

TEST_F(TrackTable, CreationTakesTheLibraryVersion) {
    TCDRIP engine;
    EXPECT_EQ(engine.Version(), std::to_string(CR_GetCDRipVersion()));
    EXPECT_EQ(engine.CDRomNum(), 0);
    EXPECT_EQ(engine.OutputFormat(), STEREO44100);
    EXPECT_FALSE(engine.JitterCorrect());
    EXPECT_EQ(engine.JitterErrors(), 0);
    EXPECT_TRUE(engine.Tracks().empty());
    for (int32_t slot : engine.DriveTable().Slots()) {
        EXPECT_EQ(slot, 0);
    }
}

using PlayTime = EngineTest;

std::string playTimeOf(int32_t sectors) {
    TCDRIP engine;
    TTrack track;
    track.Sectors = sectors;
    return engine.TrackPlayTime(track);
}

TEST_F(PlayTime, IsWrittenAsHoursMinutesSeconds) {
    EXPECT_EQ(playTimeOf(13500), "0:03:00");
    EXPECT_EQ(playTimeOf(4500), "0:01:00");
    EXPECT_EQ(playTimeOf(75), "0:00:01");
    EXPECT_EQ(playTimeOf(74), "0:00:00");
    EXPECT_EQ(playTimeOf(0), "0:00:00");
    EXPECT_EQ(playTimeOf((3 * 60 + 25) * 75), "0:03:25");
    EXPECT_EQ(playTimeOf((3600 + 2 * 60 + 5) * 75), "1:02:05");
    // Hours wrap like a time of day.
    EXPECT_EQ(playTimeOf((25 * 3600 + 1) * 75), "1:00:01");
}

TEST_F(PlayTime, NegativeCountsAreOneSecondLongerWithASign) {
    EXPECT_EQ(playTimeOf(-74), "-0:00:01");
    EXPECT_EQ(playTimeOf(-75), "-0:00:02");
    EXPECT_EQ(playTimeOf(-(2 * 60 + 10) * 75), "-0:02:11");
    // 59 seconds plus one is no valid time.
    EXPECT_EQ(playTimeOf(-59 * 75), "0000");
    EXPECT_EQ(playTimeOf(-(60 + 59) * 75 - 10), "0000");
    EXPECT_EQ(playTimeOf(INT32_MIN), "-9:38:36");
}

using Parameters = EngineTest;

TEST_F(Parameters, JitterCorrectionIsWrittenAsAllBitsSet) {
    TCDRIP engine;
    engine.setJitterCorrect(true);
    EXPECT_EQ(+engine.Params().JitterCorrection, -1);
    engine.setJitterCorrect(false);
    EXPECT_EQ(+engine.Params().JitterCorrection, 0);
}

TEST_F(Parameters, OutputFormatTouchesTheRecordOnlyWhenItChangesButAlwaysReappliesTheCoder) {
    TLameCoder coder;
    TCDRIP engine;
    engine.setCoder(&coder);
    EXPECT_EQ(coder.Mode(), STEREO);

    engine.setOutputFormat(MONO22050);
    EXPECT_EQ(+engine.Params().OutputFormat, MONO22050);
    EXPECT_EQ(coder.Mode(), MONO);
    EXPECT_EQ(coder.SampleRate(), 22050u);

    int32_t drive = 0;
    addDrive("FORMAT", discOf({100}), &drive);
    engine.setCDRomNum(drive);
    const TOutputFormat current = engine.OutputFormat();
    const TCDROMParams before = engine.Params();
    coder.setMode(JSTEREO);
    coder.setSampleRate(32000);
    engine.setOutputFormat(current);
    EXPECT_EQ(std::memcmp(&before, &engine.Params(), sizeof before), 0);
    const AudioFormat expected = deliveredFormat(current);
    EXPECT_EQ(coder.Mode(), expected.channels == 1 ? MONO : STEREO);
    EXPECT_EQ(coder.SampleRate(), expected.sampleRate);
}

TEST_F(Parameters, SelectingADriveTakesItsFormatWithoutTouchingTheCoder) {
    int32_t drive = 0;
    addDrive("FORMAT", discOf({100}), &drive);
    TLameCoder coder;
    TCDRIP engine;
    engine.setCoder(&coder);
    engine.setCDRomNum(drive);
    TCDROMParams stored = engine.Params();
    stored.OutputFormat = MONO22050;
    ASSERT_NE(CR_SetCDROMParameters(&stored), CR_ERROR);
    // The user's MP3 choices stand until the format is set on purpose.
    coder.setMode(JSTEREO);
    coder.setSampleRate(32000);

    engine.setCDRomNum(drive);
    EXPECT_EQ(engine.OutputFormat(), MONO22050);
    EXPECT_EQ(+engine.Params().OutputFormat, MONO22050);
    EXPECT_EQ(coder.Mode(), JSTEREO);
    EXPECT_EQ(coder.SampleRate(), 32000u);

    engine.setOutputFormat(MONO22050);
    EXPECT_EQ(coder.Mode(), MONO);
    EXPECT_EQ(coder.SampleRate(), 22050u);
}

TEST_F(Parameters, EachFormatSetsTheCodersModeThenRate) {
    TLameCoder coder;
    TCDRIP engine;
    engine.setCoder(&coder);
    const struct {
        TOutputFormat format;
        TLameMode mode;
        uint32_t rate;
    } table[] = {{MONO44100, MONO, 44100}, {STEREO22050, STEREO, 22050},
                 {MONO22050, MONO, 22050}, {STEREO11025, STEREO, 11025},
                 {MONO11025, MONO, 11025}, {STEREO44100, STEREO, 44100}};
    for (const auto& row : table) {
        engine.setOutputFormat(row.format);
        EXPECT_EQ(coder.Mode(), row.mode) << int(row.format);
        EXPECT_EQ(coder.SampleRate(), row.rate) << int(row.format);
    }
}

TEST_F(Parameters, LibraryBytesSurviveARoundTrip) {
    int32_t drive = 0;
    addDrive("ROUND TRIP", discOf({100}), &drive);
    TCDRIP engine;
    engine.setCDRomNum(drive);
    const TCDROMParams filled = engine.Params();

    engine.DriveTable().setDriveType(SONY);
    engine.DriveTable().setSetSpeed(SPEEDSONY);
    engine.DriveTable().setAtapi(true);
    engine.setSpeed(8);
    engine.setJitterCorrect(!engine.JitterCorrect());
    engine.setOutputFormat(engine.OutputFormat() == STEREO44100 ? MONO44100 : STEREO44100);
    ASSERT_TRUE(engine.ApplyParameters());
    const TCDROMParams sent = engine.Params();

    engine.setCDRomNum(drive);
    const TCDROMParams back = engine.Params();
    EXPECT_EQ(std::memcmp(filled.ID, back.ID, sizeof back.ID), 0);
    EXPECT_EQ(+filled.SectorsPerRead, +back.SectorsPerRead);
    EXPECT_EQ(+filled.ReadRetries, +back.ReadRetries);
    EXPECT_EQ(std::memcmp(filled.LibraryArea1, back.LibraryArea1, sizeof back.LibraryArea1), 0);
    EXPECT_EQ(std::memcmp(filled.LibraryArea2, back.LibraryArea2, sizeof back.LibraryArea2), 0);
    EXPECT_EQ(std::memcmp(filled.LibraryArea3, back.LibraryArea3, sizeof back.LibraryArea3), 0);
    EXPECT_EQ(std::memcmp(filled.LibraryArea4, back.LibraryArea4, sizeof back.LibraryArea4), 0);
    EXPECT_EQ(std::memcmp(filled.LibraryArea5, back.LibraryArea5, sizeof back.LibraryArea5), 0);
    // What the engine owns came back as it was sent.
    EXPECT_EQ(+back.Speed, 8);
    EXPECT_EQ(back.JitterCorrection != 0, sent.JitterCorrection != 0);
    EXPECT_EQ(std::memcmp(back.DriveTable, sent.DriveTable, sizeof back.DriveTable), 0);
    EXPECT_EQ(engine.DriveTable().DriveType(), SONY);
    EXPECT_EQ(engine.Speed(), 8);
}

TEST_F(Parameters, RefusedAndFailingApplicationsAreToldApart) {
    int32_t drive = 0;
    auto virtualDrive = addDrive("PARAMS", discOf({100}), &drive);
    TCDRIP engine;
    engine.setCDRomNum(drive);
    EXPECT_TRUE(engine.ApplyParameters());

    virtualDrive->faults().failing.insert("CR_SetCDROMParameters");
    EXPECT_FALSE(engine.ApplyParameters());

    virtualDrive->faults().failing.clear();
    virtualDrive->faults().throwing.insert("CR_SetCDROMParameters");
    try {
        engine.ApplyParameters();
        ADD_FAILURE() << "no error raised";
    } catch (const ECDRIPError& error) {
        EXPECT_STREQ(error.what(), "Error setting parameters");
    }
}

} // namespace
} // namespace enginetest
