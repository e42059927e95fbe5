// SPDX-License-Identifier: GPL-3.0-or-later
// The library's calls on virtual drives, and every fault a virtual drive
// can be scripted with.
#include "LibraryFixture.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace cdlib::testing {
namespace {

class VirtualDriveTest : public LibraryTest {
protected:
    // Drive 0: three audio tracks (100, 60, 75 sectors) and a data track.
    void SetUp() override {
        LibraryTest::SetUp();
        drive_ = std::make_shared<VirtualDrive>(
            "VIRTUAL CD-ROM 1.0",
            discOf({{100, false}, {60, false}, {75, false}, {40, true}}, 150));
        ASSERT_EQ(addVirtualDrive(drive_), 0);
        ASSERT_EQ(CR_SetActiveCDROM(0), CR_OK);
        ASSERT_EQ(CR_ReadToc(), CR_OK);
    }

    std::shared_ptr<VirtualDrive> drive_;
};

TEST_F(VirtualDriveTest, TocListsTracksAndLeadOut) {
    ASSERT_EQ(CR_GetNumTocEntries(), 4);
    const uint32_t starts[] = {150, 250, 310, 385, 425};
    for (int i = 0; i <= 4; ++i) {
        EXPECT_EQ(CR_GetTocEntry(i).StartSector, starts[i]) << "entry " << i;
    }
    EXPECT_EQ(CR_GetTocEntry(0).Flags & TOC_FLAG_DATA, 0);
    EXPECT_EQ(CR_GetTocEntry(3).Flags & TOC_FLAG_DATA, TOC_FLAG_DATA);
    EXPECT_EQ(CR_GetTocEntry(2).TrackNumber, 3);
    // Out of range: an empty entry, not a crash.
    EXPECT_EQ(CR_GetTocEntry(5).StartSector, 0u);
    EXPECT_EQ(CR_GetTocEntry(-1).StartSector, 0u);
}

TEST_F(VirtualDriveTest, DriveNumbersAreCheckedAndKept) {
    EXPECT_EQ(CR_GetNumCDROM(), 1);
    EXPECT_EQ(CR_SetActiveCDROM(1), CR_ERROR);
    EXPECT_EQ(CR_SetActiveCDROM(-1), CR_ERROR);
    EXPECT_EQ(CR_GetActiveCDROM(), 0);
    auto second = std::make_shared<VirtualDrive>("SECOND", std::nullopt);
    EXPECT_EQ(addVirtualDrive(second), 1);
    EXPECT_EQ(CR_SetActiveCDROM(1), CR_OK);
    EXPECT_EQ(CR_GetActiveCDROM(), 1);
    EXPECT_EQ(CR_ReadToc(), CR_ERROR) << "no disc in the second drive";
    EXPECT_EQ(CR_GetNumTocEntries(), 0);
}

TEST_F(VirtualDriveTest, ReadingATrackDeliversExactlyItsSectorsInChunks) {
    const RangeRead read = readRange(250, 309);
    ASSERT_TRUE(read.opened);
    EXPECT_EQ(read.chunkBytes, 26 * CD_SECTOR_BYTES);
    EXPECT_EQ(read.audio, virtualAudio(250, 309));
    EXPECT_EQ(read.results, (std::vector<CR_RESULT>{0, 0, 4}));
    EXPECT_EQ(read.chunkSizes, (std::vector<int32_t>{61152, 61152, 8 * 2352}));
    EXPECT_EQ(read.percents.back(), 100);
    EXPECT_LT(read.percents.front(), read.percents[1]);
    EXPECT_EQ(read.jitterErrors, 0);
    EXPECT_EQ(drive_->chunksRead(), 3);
}

TEST_F(VirtualDriveTest, RangesOutsideTheDiscAreRefused) {
    int32_t bytes = 0;
    EXPECT_EQ(CR_OpenRipper(&bytes, 100, 200), CR_ERROR) << "starts before the first track";
    EXPECT_EQ(CR_OpenRipper(&bytes, 400, 425), CR_ERROR) << "reaches the lead-out";
    EXPECT_EQ(CR_OpenRipper(&bytes, 300, 299), CR_ERROR) << "ends before it starts";
    EXPECT_EQ(CR_OpenRipper(nullptr, 150, 160), CR_ERROR);
    EXPECT_EQ(CR_OpenRipper(&bytes, 424, 424), CR_OK);
    EXPECT_EQ(CR_CloseRipper(), CR_OK);
    EXPECT_EQ(CR_CloseRipper(), CR_ERROR) << "nothing left to close";
}

TEST_F(VirtualDriveTest, RipChunkWithoutOpenRangeDeliversNothingAndSaysItIsTheLast) {
    uint8_t buffer[16];
    int32_t delivered = 5;
    int32_t abort = 0;
    EXPECT_EQ(CR_RipChunk(buffer, &delivered, &abort), CR_CHUNK_LAST);
    EXPECT_EQ(delivered, 0);

    // A range closed under a reader that still asks for chunks ends it too.
    int32_t bytes = 0;
    ASSERT_EQ(CR_OpenRipper(&bytes, 150, 249), CR_OK);
    ASSERT_EQ(CR_CloseRipper(), CR_OK);
    EXPECT_EQ(CR_RipChunk(buffer, &delivered, &abort), CR_CHUNK_LAST);
}

TEST_F(VirtualDriveTest, JitterSectorsAnswerThreeWithTheirPositions) {
    drive_->faults().jitterSectors = {160, 170, 230};
    const RangeRead read = readRange(150, 249); // chunks 150-175, 176-201, 202-227, 228-249
    EXPECT_EQ(read.results, (std::vector<CR_RESULT>{3, 0, 0, 3, 4}));
    EXPECT_EQ(read.jitterPositions,
              (std::vector<std::pair<uint32_t, uint32_t>>{{160, 170}, {230, 230}}));
    EXPECT_EQ(read.jitterErrors, 2);
    EXPECT_EQ(read.audio, virtualAudio(150, 249)) << "repaired audio is still exact";
    EXPECT_EQ(read.chunkSizes.back(), 0) << "the closing 4 after a repaired last chunk is empty";
}

TEST_F(VirtualDriveTest, JitterFiguresStayReadableAfterClosing) {
    drive_->faults().jitterSectors = {200};
    readRange(150, 249);
    EXPECT_EQ(CR_GetNumberOfJitterErrors(), 1);
    uint32_t first = 0;
    uint32_t last = 0;
    CR_GetLastJitterErrorPosition(&first, &last);
    EXPECT_EQ(first, 200u);
    EXPECT_EQ(last, 200u);
    int32_t bytes = 0;
    ASSERT_EQ(CR_OpenRipper(&bytes, 150, 249), CR_OK);
    EXPECT_EQ(CR_GetNumberOfJitterErrors(), 0) << "a new range counts afresh";
    CR_CloseRipper();
}

TEST_F(VirtualDriveTest, EmptyChunksAnswerOneAndLoseTheirSectors) {
    drive_->faults().emptyChunks = {1};
    const RangeRead read = readRange(150, 249);
    EXPECT_EQ(read.results, (std::vector<CR_RESULT>{0, 1, 0, 4}));
    EXPECT_EQ(read.chunkSizes[1], 0);
    std::vector<uint8_t> expected = virtualAudio(150, 175);
    const auto tail = virtualAudio(202, 249);
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(read.audio, expected);
}

TEST_F(VirtualDriveTest, ShortChunksDeliverTheirFirstBytes) {
    drive_->faults().shortChunks = {{0, 1000}, {2, 100000}};
    const RangeRead read = readRange(150, 249);
    EXPECT_EQ(read.chunkSizes[0], 1000);
    EXPECT_EQ(read.chunkSizes[2], 61152) << "never more than the chunk size";
    const auto whole = virtualAudio(150, 175);
    EXPECT_TRUE(std::equal(whole.begin(), whole.begin() + 1000, read.audio.begin()));
    EXPECT_EQ(read.results.back(), CR_CHUNK_LAST);
}

TEST_F(VirtualDriveTest, LostMediumLosesTheRestOfTheRangeAndStillEnds) {
    std::vector<uint32_t> events;
    CR_SetDeviceChangeHandler([&events](uint32_t event) { events.push_back(event); });
    drive_->faults().mediumLostAtSector = 200;
    const RangeRead read = readRange(150, 249, 10);
    // Chunks 150-175, 176-201 (medium gone), 202-227, 228-249, then the end.
    EXPECT_EQ(read.results, (std::vector<CR_RESULT>{0, 1, 1, 1, 4}));
    EXPECT_EQ(read.audio, virtualAudio(150, 175));
    EXPECT_EQ(events, std::vector<uint32_t>{CR_DEVICE_REMOVE_COMPLETE});
    EXPECT_FALSE(drive_->disc().has_value());
    EXPECT_EQ(CR_ReadToc(), CR_ERROR);
}

TEST_F(VirtualDriveTest, AbortIndicatorEndsTheRange) {
    int32_t bytes = 0;
    ASSERT_EQ(CR_OpenRipper(&bytes, 150, 424), CR_OK);
    std::vector<uint8_t> buffer(static_cast<size_t>(bytes));
    int32_t abort = CR_FALSE;
    int32_t delivered = 0;
    EXPECT_EQ(CR_RipChunk(buffer.data(), &delivered, &abort), CR_CHUNK_OK);
    abort = CR_TRUE;
    EXPECT_EQ(CR_RipChunk(buffer.data(), &delivered, &abort), CR_CHUNK_LAST);
    EXPECT_EQ(delivered, 0);
    const int32_t percent = CR_GetPercentCompleted();
    EXPECT_GT(percent, 0);
    EXPECT_LT(percent, 100);
    EXPECT_EQ(CR_RipChunk(buffer.data(), &delivered, &abort), CR_CHUNK_LAST) << "stays ended";
    EXPECT_EQ(drive_->chunksRead(), 1);
    CR_CloseRipper();
}

TEST_F(VirtualDriveTest, ScriptedFailuresAnswerOne) {
    drive_->faults().failing = {"CR_ReadToc",       "CR_OpenRipper",  "CR_LockCD",
                                "CR_EjectCD",       "CR_PlaySection", "CR_GetCDROMParameters",
                                "CR_SetActiveCDROM"};
    EXPECT_EQ(CR_ReadToc(), CR_ERROR);
    int32_t bytes = 0;
    EXPECT_EQ(CR_OpenRipper(&bytes, 150, 160), CR_ERROR);
    EXPECT_EQ(CR_LockCD(CR_TRUE), CR_ERROR);
    EXPECT_FALSE(drive_->locked());
    EXPECT_EQ(CR_EjectCD(CR_TRUE), CR_ERROR);
    EXPECT_FALSE(drive_->trayOpen());
    EXPECT_EQ(CR_PlaySection(150, 200), CR_ERROR);
    EXPECT_FALSE(drive_->playing());
    TCDROMParams params{};
    EXPECT_EQ(CR_GetCDROMParameters(&params), CR_ERROR);
    EXPECT_EQ(CR_SetActiveCDROM(0), CR_ERROR);
}

TEST_F(VirtualDriveTest, ScriptedFailureOfRipChunkDeliversNothing) {
    int32_t bytes = 0;
    ASSERT_EQ(CR_OpenRipper(&bytes, 150, 249), CR_OK);
    drive_->faults().failing = {"CR_RipChunk"};
    std::vector<uint8_t> buffer(static_cast<size_t>(bytes));
    int32_t delivered = 0;
    int32_t abort = 0;
    EXPECT_EQ(CR_RipChunk(buffer.data(), &delivered, &abort), CR_CHUNK_NONE);
    EXPECT_EQ(delivered, 0);
    drive_->faults().failing.clear();
    EXPECT_EQ(CR_RipChunk(buffer.data(), &delivered, &abort), CR_CHUNK_OK);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), virtualAudio(150, 175).begin()))
        << "the refused chunk read nothing";
    CR_CloseRipper();
}

TEST_F(VirtualDriveTest, ScriptedThrowsLeaveTheCall) {
    drive_->faults().throwing = {"CR_ReadToc", "CR_RipChunk"};
    EXPECT_THROW(CR_ReadToc(), std::runtime_error);
    int32_t bytes = 0;
    ASSERT_EQ(CR_OpenRipper(&bytes, 150, 249), CR_OK);
    std::vector<uint8_t> buffer(static_cast<size_t>(bytes));
    int32_t delivered = 0;
    int32_t abort = 0;
    EXPECT_THROW(CR_RipChunk(buffer.data(), &delivered, &abort), std::runtime_error);
    EXPECT_EQ(CR_CloseRipper(), CR_OK) << "the range can still be closed";
}

TEST_F(VirtualDriveTest, TrackCountCanBeOverridden) {
    drive_->faults().tocEntriesOverride = 0;
    EXPECT_EQ(CR_GetNumTocEntries(), 0);
    drive_->faults().tocEntriesOverride = 99;
    EXPECT_EQ(CR_GetNumTocEntries(), 99);
}

TEST_F(VirtualDriveTest, TransportLayerChangesUnlessFixed) {
    EXPECT_EQ(CR_GetTransportLayer(), CR_TRANSPORT_SCSI);
    CR_SetTransportLayer(CR_TRANSPORT_IOCTL);
    EXPECT_EQ(CR_GetTransportLayer(), CR_TRANSPORT_IOCTL);
    CR_SetTransportLayer(7);
    EXPECT_EQ(CR_GetTransportLayer(), CR_TRANSPORT_IOCTL) << "only 0 and 1 exist";
    drive_->faults().transportLayerFixed = true;
    CR_SetTransportLayer(CR_TRANSPORT_SCSI);
    EXPECT_EQ(CR_GetTransportLayer(), CR_TRANSPORT_IOCTL);
}

TEST_F(VirtualDriveTest, PlayPositionFollowsTheTestClock) {
    ASSERT_EQ(CR_PlaySection(250, 384), CR_OK);
    EXPECT_TRUE(drive_->playing());
    EXPECT_EQ(drive_->playFrom(), 250);
    EXPECT_EQ(drive_->playTo(), 384);
    drive_->advancePlayClock(75);
    uint32_t inTrack = 0;
    uint32_t absolute = 0;
    CR_GetPlayPosition(&inTrack, &absolute);
    EXPECT_EQ(absolute, 325u);
    EXPECT_EQ(inTrack, 15u) << "track 3 starts at 310";

    ASSERT_EQ(CR_PauseCD(CR_TRUE), CR_OK);
    EXPECT_TRUE(drive_->paused());
    drive_->advancePlayClock(30);
    CR_GetPlayPosition(&inTrack, &absolute);
    EXPECT_EQ(absolute, 325u) << "a paused drive stands still";
    ASSERT_EQ(CR_PauseCD(CR_FALSE), CR_OK);
    drive_->advancePlayClock(1000);
    CR_GetPlayPosition(&inTrack, &absolute);
    EXPECT_EQ(absolute, 384u) << "playing ends on the section's last sector";
    EXPECT_FALSE(drive_->playing());

    CR_SetPlayPosition(0);
    CR_GetPlayPosition(&inTrack, &absolute);
    EXPECT_EQ(absolute, 0u);
    EXPECT_EQ(inTrack, 0u);
}

TEST_F(VirtualDriveTest, StopEndsPlayingAndPauseNeedsPlaying) {
    EXPECT_EQ(CR_PauseCD(CR_TRUE), CR_ERROR) << "nothing plays";
    ASSERT_EQ(CR_PlaySection(150, 200), CR_OK);
    EXPECT_EQ(CR_StopPlayTrack(), CR_OK);
    EXPECT_FALSE(drive_->playing());
    EXPECT_EQ(CR_PlaySection(200, 150), CR_ERROR);
}

TEST_F(VirtualDriveTest, LockedTrayDoesNotOpen) {
    std::vector<uint32_t> events;
    CR_SetDeviceChangeHandler([&events](uint32_t event) { events.push_back(event); });
    ASSERT_EQ(CR_LockCD(CR_TRUE), CR_OK);
    EXPECT_TRUE(drive_->locked());
    EXPECT_EQ(CR_EjectCD(CR_TRUE), CR_ERROR);
    EXPECT_FALSE(drive_->trayOpen());
    ASSERT_EQ(CR_LockCD(CR_FALSE), CR_OK);
    EXPECT_EQ(CR_EjectCD(CR_TRUE), CR_OK);
    EXPECT_TRUE(drive_->trayOpen());
    EXPECT_EQ(CR_ReadToc(), CR_ERROR) << "no disc to read with the tray open";
    EXPECT_EQ(CR_EjectCD(CR_FALSE), CR_OK);
    EXPECT_EQ(CR_ReadToc(), CR_OK);
    EXPECT_EQ(events, (std::vector<uint32_t>{CR_DEVICE_REMOVE_COMPLETE, CR_DEVICE_ARRIVAL}));
}

TEST_F(VirtualDriveTest, MediumChangesReachTheHandler) {
    std::vector<uint32_t> events;
    CR_SetDeviceChangeHandler([&events](uint32_t event) { events.push_back(event); });
    drive_->ejectDisc();
    EXPECT_EQ(CR_ReadToc(), CR_ERROR);
    drive_->insertDisc(discOf({{10, false}}));
    EXPECT_EQ(CR_ReadToc(), CR_OK);
    EXPECT_EQ(CR_GetNumTocEntries(), 1);
    CR_SetDeviceChangeHandler(nullptr);
    drive_->ejectDisc();
    EXPECT_EQ(events, (std::vector<uint32_t>{CR_DEVICE_REMOVE_COMPLETE, CR_DEVICE_ARRIVAL}));
}

TEST_F(VirtualDriveTest, ParameterRecordRoundTripsAndKeepsLibraryBytes) {
    TCDROMParams params{};
    ASSERT_EQ(CR_GetCDROMParameters(&params), CR_OK);
    EXPECT_STREQ(params.ID, "VIRTUAL CD-ROM 1.0");
    EXPECT_EQ(params.SectorsPerRead, 26);
    EXPECT_EQ(params.ReadRetries % 5, 0);
    EXPECT_GT(params.ReadRetries, 0);
    EXPECT_EQ(params.JitterCorrection, CR_TRUE) << "secure reading for a drive without settings";
    EXPECT_EQ(int32_t{params.OutputFormat}, STEREO44100)
        << "copied: the field sits at an odd offset";
    EXPECT_EQ(params.DriveTable[SLOT_SETSPEED], SPEEDMMC);
    EXPECT_EQ(params.DriveTable[SLOT_ATAPI], CR_TRUE);

    params.Speed = 8;
    params.JitterCorrection = CR_FALSE;
    params.DriveTable[SLOT_DRIVETYPE] = CUSTOMDRIVE;
    params.DriveTable[SLOT_READMETHOD] = READMMC4;
    ASSERT_EQ(CR_SetCDROMParameters(&params), CR_OK);
    EXPECT_EQ(drive_->speed(), 8);

    TCDROMParams again{};
    ASSERT_EQ(CR_GetCDROMParameters(&again), CR_OK);
    EXPECT_EQ(std::memcmp(&again, &params, sizeof params), 0);
}

TEST_F(VirtualDriveTest, RecordsWithLostLibraryBytesAreRefused) {
    TCDROMParams params{};
    ASSERT_EQ(CR_GetCDROMParameters(&params), CR_OK);
    TCDROMParams zeroed = params;
    std::memset(zeroed.LibraryArea5, 0, sizeof zeroed.LibraryArea5);
    EXPECT_EQ(CR_SetCDROMParameters(&zeroed), CR_ERROR);
    TCDROMParams retries = params;
    retries.ReadRetries = 3;
    EXPECT_EQ(CR_SetCDROMParameters(&retries), CR_ERROR);
    TCDROMParams blank{};
    EXPECT_EQ(CR_SetCDROMParameters(&blank), CR_ERROR);
    EXPECT_EQ(CR_SetCDROMParameters(nullptr), CR_ERROR);

    auto other = std::make_shared<VirtualDrive>("OTHER", discOf({{10, false}}));
    addVirtualDrive(other);
    ASSERT_EQ(CR_SetActiveCDROM(1), CR_OK);
    EXPECT_EQ(CR_SetCDROMParameters(&params), CR_ERROR) << "a record of drive 0";
}

TEST_F(VirtualDriveTest, ValuesTheLibraryDoesNotKnowAreRefused) {
    TCDROMParams params{};
    ASSERT_EQ(CR_GetCDROMParameters(&params), CR_OK);
    TCDROMParams format = params;
    format.OutputFormat = 6;
    EXPECT_EQ(CR_SetCDROMParameters(&format), CR_ERROR);
    TCDROMParams type = params;
    type.DriveTable[SLOT_DRIVETYPE] = CUSTOMDRIVE + 1;
    EXPECT_EQ(CR_SetCDROMParameters(&type), CR_ERROR);
    TCDROMParams speed = params;
    speed.Speed = -1;
    EXPECT_EQ(CR_SetCDROMParameters(&speed), CR_ERROR);
}

TEST_F(VirtualDriveTest, OpenRangeEndsWithEjectAndDriveChange) {
    int32_t bytes = 0;
    ASSERT_EQ(CR_OpenRipper(&bytes, 150, 249), CR_OK);
    ASSERT_EQ(CR_EjectCD(CR_TRUE), CR_OK);
    EXPECT_EQ(CR_CloseRipper(), CR_ERROR) << "the eject closed it";
}

} // namespace
} // namespace cdlib::testing
