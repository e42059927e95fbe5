// SPDX-License-Identifier: GPL-3.0-or-later
// Physical drives through devices that answer as libcdio's Linux driver
// does: enumeration, disc states, Enhanced CDs, playing, speed, tray lock,
// a disc removed while it is read, and eject.
#include "FakeDevices.h"
#include "LibraryFixture.h"
#include "RecordingSink.h"
#include "TestImages.h"

#include <algorithm>
#include <cdio/mmc.h>
#include <fstream>

namespace cdlib::testing {
namespace {

class PhysicalDriveTest : public LibraryTest {
protected:
    std::shared_ptr<FakeDrive> drive(const std::string& path = "/dev/sr0") {
        auto made = std::make_shared<FakeDrive>();
        made->path = path;
        return made;
    }

    void install(std::vector<std::shared_ptr<FakeDrive>> drives) {
        installFakeDrives(std::move(drives));
        ASSERT_EQ(CR_Init((tempDir() / "Varrow.INI").c_str()), CR_OK);
    }

    // One drive holding a disc of `tracks`, selected.
    std::shared_ptr<FakeDrive> driveWithDisc(const std::vector<ImageTrack>& tracks) {
        auto made = drive();
        image_ = writeImage(tempDir(), "disc", tracks);
        made->cue = image_.descriptor;
        install({made});
        EXPECT_EQ(CR_SetActiveCDROM(0), CR_OK);
        return made;
    }

    std::string identificationOf(int32_t number) {
        EXPECT_EQ(CR_SetActiveCDROM(number), CR_OK);
        TCDROMParams params{};
        EXPECT_EQ(CR_GetCDROMParameters(&params), CR_OK);
        return params.ID;
    }

    void setSpeed(int32_t speed) {
        TCDROMParams params{};
        ASSERT_EQ(CR_GetCDROMParameters(&params), CR_OK);
        params.Speed = speed;
        ASSERT_EQ(CR_SetCDROMParameters(&params), CR_OK);
    }

    PlayPosition position() {
        PlayPosition result;
        CR_GetPlayPosition(&result.inTrack, &result.absolute);
        return result;
    }

    TestImage image_;
};

const std::vector<ImageTrack> kAudio = {{300, false}, {400, false}};

TEST_F(PhysicalDriveTest, EachDeviceIsListedOnceAndUnusableOnesSayWhy) {
    auto first = drive("/dev/sr0");
    first->aliases = {"/dev/cdrom"};
    auto locked = drive("/dev/sr1");
    locked->problem = "no permission: not in group cdrom";
    install({first, locked});
    ASSERT_EQ(CR_GetNumCDROM(), 2);
    EXPECT_EQ(identificationOf(0), "VARROW FAKE DRIVE 1.00");
    EXPECT_EQ(identificationOf(1), "/dev/sr1 (no permission: not in group cdrom)");
    EXPECT_EQ(CR_ReadToc(), CR_ERROR);
}

TEST_F(PhysicalDriveTest, IdenticalDrivesKeepTheirOwnParameters) {
    auto a = drive("/dev/sr0");
    auto b = drive("/dev/sr1");
    install({a, b});
    const std::string first = identificationOf(0);
    const std::string second = identificationOf(1);
    EXPECT_NE(first, second);
    EXPECT_NE(first.find("/dev/sr0"), std::string::npos) << first;
    ASSERT_EQ(CR_SetActiveCDROM(0), CR_OK);
    setSpeed(8);
    ASSERT_EQ(CR_SetActiveCDROM(1), CR_OK);
    TCDROMParams params{};
    ASSERT_EQ(CR_GetCDROMParameters(&params), CR_OK);
    EXPECT_EQ(params.Speed, 0);
}

TEST_F(PhysicalDriveTest, ReadOnlyDeviceOpensAndReads) {
    auto made = driveWithDisc(kAudio);
    made->mayWrite = false;
    ASSERT_EQ(CR_ReadToc(), CR_OK);
    EXPECT_TRUE(made->logged("open ro"));
    const RangeRead read = readRange(300, 349);
    EXPECT_EQ(read.audio, imageAudio(300, 349));
    // The kernel refuses the lock on a read-only handle.
    EXPECT_EQ(CR_LockCD(CR_TRUE), CR_ERROR);
}

TEST_F(PhysicalDriveTest, DiscStates) {
    struct Case {
        const char* name;
        bool disc;
        bool trayOpen;
        bool blank;
        int spinUpPolls;
        CR_RESULT toc;
    };
    const Case cases[] = {
        {"no disc", false, false, false, 0, CR_ERROR},
        {"tray open", true, true, false, 0, CR_ERROR},
        {"blank disc", true, false, true, 0, CR_ERROR},
        {"spinning up", true, false, false, 3, CR_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resetLibrary();
        setHostDrivesEnabled(false);
        auto made = drive();
        if (c.disc) {
            made->cue = writeImage(tempDir(), "disc", kAudio).descriptor;
        }
        if (c.blank) {
            made->cue = tempDir() / "blank.cue";
            std::ofstream(made->cue) << "FILE \"disc.bin\" BINARY\n";
        }
        made->trayOpen = c.trayOpen;
        made->spinUpPolls = c.spinUpPolls;
        install({made});
        ASSERT_EQ(CR_SetActiveCDROM(0), CR_OK);
        EXPECT_EQ(CR_ReadToc(), c.toc);
        EXPECT_EQ(CR_GetNumTocEntries(), c.toc == CR_OK ? 2 : 0);
    }
}

TEST_F(PhysicalDriveTest, EnhancedCdLastAudioTrackEndsWithItsSession) {
    // Audio session, the 11400 sectors between the sessions, data session.
    auto made = driveWithDisc({{300, false}, {400 + 11400, false}, {300, true}});
    made->lastSession = image_.starts[2];
    ASSERT_EQ(CR_ReadToc(), CR_OK);
    ASSERT_EQ(CR_GetNumTocEntries(), 3);
    EXPECT_EQ(CR_GetTocEntry(2).StartSector, 700u);
    EXPECT_EQ(CR_GetTocEntry(3).StartSector, static_cast<uint32_t>(image_.starts[3]));
    for (const bool correction : {false, true}) {
        SCOPED_TRACE(correction ? "correction on" : "correction off");
        setReading(STEREO44100, correction);
        const RangeRead read = readRange(300, 699);
        EXPECT_EQ(read.results.back(), CR_CHUNK_LAST);
        EXPECT_EQ(read.audio, imageAudio(300, 699));
    }
    // A range that runs into the gap ends there instead of reading silence.
    const RangeRead past = readRange(650, 899);
    EXPECT_EQ(past.audio, imageAudio(650, 699));
    EXPECT_EQ(past.results.back(), CR_CHUNK_LAST);
}

TEST_F(PhysicalDriveTest, RefusedSpeedDoesNotBlockRipsAndDefaultIsSent) {
    auto made = driveWithDisc(kAudio);
    made->refusesSpeed = true;
    setSpeed(8);
    setSpeed(0);
    EXPECT_TRUE(made->logged("speed 8"));
    EXPECT_TRUE(made->logged("speed 0"));
    ASSERT_EQ(CR_ReadToc(), CR_OK);
    EXPECT_EQ(readRange(0, 99).audio, imageAudio(0, 99));
}

TEST_F(PhysicalDriveTest, LockHoldsUnderBothTransportLayersAndAcrossNewHandles) {
    for (const int32_t layer : {CR_TRANSPORT_IOCTL, CR_TRANSPORT_SCSI}) {
        SCOPED_TRACE(layer);
        resetLibrary();
        setHostDrivesEnabled(false);
        auto made = driveWithDisc(kAudio);
        CR_SetTransportLayer(layer);
        ASSERT_EQ(CR_LockCD(CR_TRUE), CR_OK);
        EXPECT_TRUE(made->doorLocked);
        // A new handle (another layer, a disc read) locks again, since the
        // kernel unlocks when the last handle closes.
        CR_SetTransportLayer(layer == CR_TRANSPORT_SCSI ? CR_TRANSPORT_IOCTL : CR_TRANSPORT_SCSI);
        ASSERT_EQ(CR_ReadToc(), CR_OK);
        EXPECT_TRUE(made->doorLocked);
        EXPECT_EQ(CR_EjectCD(CR_TRUE), CR_ERROR);
        EXPECT_FALSE(made->trayOpen);
        ASSERT_EQ(CR_LockCD(CR_FALSE), CR_OK);
        EXPECT_FALSE(made->doorLocked);
    }
}

TEST_F(PhysicalDriveTest, RefusedUnlockReleasesTheLibrarysLock) {
    auto made = driveWithDisc(kAudio);
    made->refusesUnlock = true;
    ASSERT_EQ(CR_LockCD(CR_TRUE), CR_OK);
    EXPECT_EQ(CR_LockCD(CR_FALSE), CR_ERROR);
    // Eject is tried (the kernel dropped the lock with the handle) and a new
    // handle does not lock again.
    made->log.clear();
    EXPECT_EQ(CR_EjectCD(CR_TRUE), CR_OK);
    EXPECT_TRUE(made->trayOpen);
    EXPECT_FALSE(made->logged("prevent 1"));
}

TEST_F(PhysicalDriveTest, DiscRemovedWhileReadingIsLostNotSilence) {
    for (const bool correction : {false, true}) {
        SCOPED_TRACE(correction ? "correction on" : "correction off");
        resetLibrary();
        setHostDrivesEnabled(false);
        auto made = driveWithDisc({{2000, false}});
        setReading(STEREO44100, correction);
        made->removedAtSector = 500;
        ASSERT_EQ(CR_ReadToc(), CR_OK);
        const RangeRead read = readRange(0, 1999);
        ASSERT_TRUE(read.opened);
        EXPECT_EQ(read.results.back(), CR_CHUNK_LAST);
        EXPECT_LE(read.audio.size(), 500u * CD_SECTOR_BYTES);
        EXPECT_TRUE(std::equal(read.audio.begin(), read.audio.end(), imageAudio(0, 499).begin()));
        EXPECT_NE(std::find(read.results.begin(), read.results.end(), CR_CHUNK_NONE),
                  read.results.end());
    }
}

TEST_F(PhysicalDriveTest, PlayEndsAtTheSectionsEnd) {
    auto made = driveWithDisc(kAudio);
    ASSERT_EQ(CR_ReadToc(), CR_OK);
    CR_SetPlayPosition(0);
    ASSERT_EQ(CR_PlaySection(300, 699), CR_OK);
    EXPECT_TRUE(made->logged("play 300-700")); // the end address is exclusive
    made->subchannel.audio_status = CDIO_MMC_READ_SUB_ST_PLAY;
    made->subchannel.abs_addr = bcdMsf(450);
    EXPECT_EQ(position().absolute, 450u);
    made->subchannel.audio_status = CDIO_MMC_READ_SUB_ST_COMPLETED;
    made->subchannel.abs_addr = bcdMsf(0);
    EXPECT_EQ(position().absolute, 699u);
    EXPECT_EQ(position().inTrack, 399u);

    ASSERT_EQ(CR_PlaySection(0, 299), CR_OK);
    made->subchannelResult = DRIVER_OP_ERROR;
    EXPECT_EQ(position().absolute, 299u);

    // Stopped, the drive reports the position last set, not the head's.
    made->subchannelResult = DRIVER_OP_SUCCESS;
    ASSERT_EQ(CR_StopPlayTrack(), CR_OK);
    EXPECT_TRUE(made->logged("stop play"));
    CR_SetPlayPosition(120);
    made->subchannel.abs_addr = bcdMsf(600);
    EXPECT_EQ(position().absolute, 120u);
}

TEST_F(PhysicalDriveTest, DigitalPlaybackWithoutASoundServerGoesOnOnTheDrive) {
    // Digital playback is asked for and no sound server answers (the
    // fixture has none): the drive plays on from where the player's clock
    // is, paused as it was.
    std::ofstream(tempDir() / "Varrow.INI") << "[CDLIB]\nDIGITALPLAYBACK=1\n";
    auto made = driveWithDisc(kAudio);
    ASSERT_EQ(CR_ReadToc(), CR_OK);
    ASSERT_EQ(CR_PlaySection(300, 699), CR_OK);
    ASSERT_EQ(CR_PauseCD(CR_TRUE), CR_OK);
    const auto play = [&] {
        return std::find_if(made->log.begin(), made->log.end(),
                            [](const std::string& entry) { return entry.starts_with("play "); });
    };
    ASSERT_TRUE(eventually([&] {
        position();
        return play() != made->log.end();
    }));
    EXPECT_NEAR(std::stoi(play()->substr(5)), 300, 10) << *play();
    EXPECT_TRUE(play()->ends_with("-700") && made->logged("pause"));
}

TEST_F(PhysicalDriveTest, PlayPositionDecoding) {
    // libcdio hands the addresses over in BCD; past 10 seconds BCD and
    // binary differ.
    auto made = driveWithDisc({{1000, false}, {400, false}});
    ASSERT_EQ(CR_ReadToc(), CR_OK);
    ASSERT_EQ(CR_PlaySection(0, 1399), CR_OK);
    made->subchannel.audio_status = CDIO_MMC_READ_SUB_ST_PLAY;
    struct Case {
        const char* name;
        int32_t absolute;
        uint8_t track;
        int32_t relative; // as the drive counts it: down in a pregap
        uint32_t inTrack;
    };
    const Case cases[] = {
        {"in track 2", 1010, 2, 10, 10},
        {"in track 1", 999, 1, 999, 999},
        {"in track 2's pregap", 970, 2, 30, 970},
        {"disc start", 0, 1, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        made->subchannel.track = c.track;
        made->subchannel.abs_addr = bcdMsf(c.absolute);
        cdio_lba_to_msf(c.relative, &made->subchannel.rel_addr);
        const PlayPosition at = position();
        EXPECT_EQ(at.absolute, static_cast<uint32_t>(c.absolute));
        EXPECT_EQ(at.inTrack, c.inTrack);
    }
}

TEST_F(PhysicalDriveTest, EjectOrder) {
    struct Case {
        const char* name;
        bool directFails;
        bool diskServiceEjects;
        CR_RESULT result;
        bool diskServiceAsked;
    };
    const Case cases[] = {
        {"direct eject", false, true, CR_OK, false},
        {"data session mounted", true, true, CR_OK, true},
        {"nothing ejects", true, false, CR_ERROR, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resetLibrary();
        setHostDrivesEnabled(false);
        auto made = driveWithDisc(kAudio);
        made->directEjectFails = c.directFails;
        made->diskServiceEjects = c.diskServiceEjects;
        ASSERT_EQ(CR_ReadToc(), CR_OK);
        int32_t chunk = 0;
        ASSERT_EQ(CR_OpenRipper(&chunk, 0, 99), CR_OK);
        EXPECT_EQ(CR_EjectCD(CR_TRUE), c.result);
        // Every handle of ours is closed first: the kernel ejects only
        // through the one handle open on the drive.
        EXPECT_TRUE(made->logged("eject handles=0"));
        EXPECT_EQ(made->logged("disk service eject"), c.diskServiceAsked);
        EXPECT_EQ(made->trayOpen, c.result == CR_OK);
    }
}

} // namespace
} // namespace cdlib::testing
