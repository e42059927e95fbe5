// SPDX-License-Identifier: GPL-3.0-or-later
// Disc images as drives: where they are listed, their tables of contents,
// exact reading with and without jitter correction, and the state that
// stands in for a tray.
#include "LibraryFixture.h"
#include "TestImages.h"

#include <cstdlib>
#include <fstream>
#include <sys/resource.h>

namespace cdlib::testing {
namespace {

class ImageDriveTest : public LibraryTest {
protected:
    void TearDown() override {
        unsetenv("VARROW_CD_IMAGES");
        LibraryTest::TearDown();
    }

    // Lists `images` in the settings file and selects the first.
    void useImages(const std::vector<TestImage>& images) {
        std::ofstream ini(iniPath());
        ini << "[CDLIB]\n";
        for (size_t i = 0; i < images.size(); ++i) {
            ini << "IMAGE" << i + 1 << "=" << images[i].descriptor.string() << "\n";
        }
        ini.close();
        ASSERT_EQ(CR_Init(iniPath().c_str()), CR_OK);
        ASSERT_EQ(CR_GetNumCDROM(), static_cast<int32_t>(images.size()));
        ASSERT_EQ(CR_SetActiveCDROM(0), CR_OK);
    }

    std::string iniPath() { return (tempDir() / "Varrow.INI").string(); }

    // The library afresh, and an empty folder of case `index` of a table.
    std::filesystem::path freshCase(size_t index) {
        resetLibrary();
        setHostDrivesEnabled(false);
        const auto folder = tempDir() / std::to_string(index);
        std::filesystem::create_directories(folder);
        return folder;
    }

    void expectToc(const TestImage& image, const std::vector<ImageTrack>& tracks) {
        ASSERT_EQ(CR_ReadToc(), CR_OK);
        ASSERT_EQ(CR_GetNumTocEntries(), static_cast<int32_t>(tracks.size()));
        for (size_t i = 0; i <= tracks.size(); ++i) {
            const TTocEntry entry = CR_GetTocEntry(static_cast<int32_t>(i));
            EXPECT_EQ(entry.StartSector, static_cast<uint32_t>(image.starts[i])) << "entry " << i;
            if (i < tracks.size()) {
                EXPECT_EQ((entry.Flags & TOC_FLAG_DATA) != 0, tracks[i].data) << "entry " << i;
            }
        }
    }
};

const std::vector<ImageTrack> kAudioOnly = {{120, false}, {90, false}, {75, false}};
const std::vector<ImageTrack> kDataFirst = {{100, true}, {120, false}, {80, false}};
const std::vector<ImageTrack> kDataLast = {{120, false}, {80, false}, {100, true}};

TEST_F(ImageDriveTest, TocOfCueImages) {
    for (const auto& tracks : {kAudioOnly, kDataFirst, kDataLast}) {
        SCOPED_TRACE(tracks.front().data  ? "data first"
                     : tracks.back().data ? "data last"
                                          : "audio");
        resetLibrary();
        setHostDrivesEnabled(false);
        const TestImage image = writeImage(tempDir(), "disc", tracks);
        useImages({image});
        expectToc(image, tracks);
    }
}

TEST_F(ImageDriveTest, TocOfCdrdaoImages) {
    for (const auto& tracks : {kAudioOnly, kDataFirst, kDataLast}) {
        resetLibrary();
        setHostDrivesEnabled(false);
        const TestImage image = writeImage(tempDir(), "disc", tracks, ImageFormat::CdrdaoToc);
        useImages({image});
        expectToc(image, tracks);
    }
}

TEST_F(ImageDriveTest, IdentificationNamesTheImageFile) {
    useImages({writeImage(tempDir(), "my-disc", kAudioOnly)});
    TCDROMParams params{};
    ASSERT_EQ(CR_GetCDROMParameters(&params), CR_OK);
    EXPECT_NE(std::string(params.ID).find("my-disc.cue"), std::string::npos) << params.ID;
}

TEST_F(ImageDriveTest, TracksReadBitIdenticalWithAndWithoutJitterCorrection) {
    const TestImage image = writeImage(tempDir(), "disc", kDataFirst);
    useImages({image});
    for (const bool correction : {false, true}) {
        SCOPED_TRACE(correction ? "correction on" : "correction off");
        setReading(STEREO44100, correction);
        for (size_t track = 1; track < kDataFirst.size(); ++track) {
            const int32_t first = image.starts[track];
            const int32_t last = image.starts[track + 1] - 1;
            const RangeRead read = readRange(first, last);
            ASSERT_TRUE(read.opened);
            EXPECT_EQ(read.audio, imageAudio(first, last)) << "track " << track + 1;
            EXPECT_EQ(read.results.back(), CR_CHUNK_LAST);
            EXPECT_EQ(read.jitterErrors, 0);
            EXPECT_EQ(read.percents.back(), 100);
            for (const int32_t size : read.chunkSizes) {
                EXPECT_LE(size, read.chunkBytes);
            }
        }
    }
}

TEST_F(ImageDriveTest, CdrdaoImagesReadExactly) {
    const TestImage image = writeImage(tempDir(), "disc", kDataLast, ImageFormat::CdrdaoToc);
    useImages({image});
    setReading(STEREO44100, true);
    const RangeRead read = readRange(image.starts[1], image.starts[2] - 1);
    EXPECT_EQ(read.audio, imageAudio(image.starts[1], image.starts[2] - 1));
}

TEST_F(ImageDriveTest, PercentGrowsToOneHundred) {
    const TestImage image = writeImage(tempDir(), "disc", {{300, false}});
    useImages({image});
    const RangeRead read = readRange(0, 299);
    ASSERT_GE(read.percents.size(), 3u);
    EXPECT_TRUE(std::is_sorted(read.percents.begin(), read.percents.end()));
    EXPECT_EQ(read.percents.front(), 26 * 100 / 300);
    EXPECT_EQ(read.percents.back(), 100);
}

TEST_F(ImageDriveTest, AbortStopsReadingAtOnce) {
    const TestImage image = writeImage(tempDir(), "disc", {{300, false}});
    useImages({image});
    int32_t bytes = 0;
    ASSERT_EQ(CR_OpenRipper(&bytes, 0, 299), CR_OK);
    std::vector<uint8_t> buffer(static_cast<size_t>(bytes));
    int32_t delivered = 0;
    int32_t abort = CR_TRUE;
    EXPECT_EQ(CR_RipChunk(buffer.data(), &delivered, &abort), CR_CHUNK_LAST);
    EXPECT_EQ(delivered, 0);
    EXPECT_EQ(CR_GetPercentCompleted(), 0);
    EXPECT_EQ(CR_CloseRipper(), CR_OK);
}

TEST_F(ImageDriveTest, ImagesFollowPhysicalDrivesInSettingsThenEnvironmentOrder) {
    const TestImage first = writeImage(tempDir(), "first", kAudioOnly);
    const TestImage second = writeImage(tempDir(), "second", kDataLast);
    setenv("VARROW_CD_IMAGES",
           (second.descriptor.string() + "::" + first.descriptor.string()).c_str(), 1);
    // The machine's own drives come first; the images follow them.
    setHostDrivesEnabled(true);
    std::ofstream(iniPath()) << "[CDLIB]\nIMAGE1=" << first.descriptor.string() << "\n";
    ASSERT_EQ(CR_Init(iniPath().c_str()), CR_OK);
    // The environment's second image is new; its first is listed already.
    const int32_t count = CR_GetNumCDROM();
    ASSERT_GE(count, 2);
    TCDROMParams params{};
    ASSERT_EQ(CR_SetActiveCDROM(count - 2), CR_OK);
    ASSERT_EQ(CR_GetCDROMParameters(&params), CR_OK);
    EXPECT_STREQ(params.ID, "Image first.cue");
    ASSERT_EQ(CR_SetActiveCDROM(count - 1), CR_OK);
    ASSERT_EQ(CR_GetCDROMParameters(&params), CR_OK);
    EXPECT_STREQ(params.ID, "Image second.cue");
    auto drive = std::make_shared<VirtualDrive>("V", std::nullopt);
    EXPECT_EQ(addVirtualDrive(drive), count) << "virtual drives come last";
}

TEST_F(ImageDriveTest, EnvironmentImagesAreIgnoredWhenHostDrivesAreOff) {
    const TestImage image = writeImage(tempDir(), "env", kAudioOnly);
    setenv("VARROW_CD_IMAGES", image.descriptor.c_str(), 1);
    ASSERT_EQ(CR_Init(iniPath().c_str()), CR_OK);
    EXPECT_EQ(CR_GetNumCDROM(), 0);
}

TEST_F(ImageDriveTest, MissingImageIsADriveWithoutDisc) {
    TestImage missing;
    missing.descriptor = tempDir() / "gone.cue";
    useImages({missing});
    EXPECT_EQ(CR_ReadToc(), CR_ERROR);
    EXPECT_EQ(CR_GetDriveProblem(), missing.descriptor.string() + " is missing");
    int32_t bytes = 0;
    EXPECT_EQ(CR_OpenRipper(&bytes, 0, 10), CR_ERROR);
}

// A cue sheet naming `fileName` for the tracks of `image`.
std::string cueSheet(const std::string& fileName, const TestImage& image,
                     const std::string& type = "BINARY") {
    std::string text = "FILE \"" + fileName + "\" " + type + "\n";
    for (size_t i = 0; i + 1 < image.starts.size(); ++i) {
        char line[128];
        std::snprintf(line, sizeof line, "  TRACK %02zu AUDIO\n    INDEX 01 %02d:%02d:%02d\n",
                      i + 1, image.starts[i] / 4500, image.starts[i] / 75 % 60,
                      image.starts[i] % 75);
        text += line;
    }
    return text;
}

TEST_F(ImageDriveTest, ACueSheetIsReadThroughTheFileItNames) {
    struct Case {
        const char* name;
        std::string cue;      // relative to the test folder
        std::string data;     // where the data file lies, relative to the test folder
        std::string fileLine; // what the cue sheet says; empty: the data file's absolute path
    };
    const Case cases[] = {
        {"another name beside it", "disc.cue", "audio.img", "audio.img"},
        {"a sub folder", "disc.cue", "sub/audio.bin", "sub/audio.bin"},
        {"an absolute path elsewhere", "cues/disc.cue", "elsewhere/x.bin", ""},
        {"a folder above", "cues/disc.cue", "up.bin", "../up.bin"},
        {"an extension in mixed case", "Disc.Cue", "Disc.bin", "Disc.bin"},
        {"the usual name", "disc.cue", "disc.bin", "disc.bin"},
    };
    const std::vector<ImageTrack> tracks = {{100, false}, {80, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto folder = freshCase(static_cast<size_t>(&c - cases));
        const TestImage made = writeImage(folder, "made", tracks);
        const auto data = folder / c.data;
        const auto cue = folder / c.cue;
        std::filesystem::create_directories(data.parent_path());
        std::filesystem::create_directories(cue.parent_path());
        std::filesystem::rename(made.bin, data);
        // A decoy where a reader that ignores the FILE line would look.
        auto decoy = cue;
        decoy.replace_extension(".bin");
        if (!std::filesystem::exists(decoy)) {
            std::ofstream(decoy, std::ios::binary)
                << std::string(static_cast<size_t>(180 * 2352), '\x55');
        }
        std::ofstream(cue) << cueSheet(c.fileLine.empty() ? data.string() : c.fileLine, made);
        TestImage image = made;
        image.descriptor = cue;
        useImages({image});
        EXPECT_EQ(CR_GetDriveProblem(), "");
        expectToc(image, tracks);
        setReading(STEREO44100, false);
        EXPECT_EQ(readRange(100, 179).audio, imageAudio(100, 179));
        setReading(STEREO44100, true);
        EXPECT_EQ(readRange(0, 99).audio, imageAudio(0, 99));
    }
}

TEST_F(ImageDriveTest, AnImageThatCannotBeReadSaysWhyInItsIdentification) {
    const TestImage made = writeImage(tempDir(), "made", {{100, false}, {80, false}});
    std::ofstream(tempDir() / "other.bin") << std::string(2352 * 10, '\0');
    const std::string fine = cueSheet("made.bin", made);
    struct Case {
        const char* name;
        std::string text;
        std::string problem;
    };
    const Case cases[] = {
        {"a missing data file", cueSheet("gone.bin", made),
         "data file " + (tempDir() / "gone.bin").string() + " is missing"},
        {"one file per track", fine + "FILE \"other.bin\" BINARY\n  TRACK 03 AUDIO\n",
         "disc.cue names more than one data file"},
        {"a wave file", cueSheet("made.bin", made, "WAVE"), "data file of type WAVE"},
        {"a folder for a data file", cueSheet(".", made),
         "data file " + (tempDir() / ".").string() + " is not a file"},
        {"no data file", "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n",
         "disc.cue names no data file"},
        {"a bad track number", "FILE \"made.bin\" BINARY\n  TRACK x AUDIO\n",
         "disc.cue line 2 after word TRACK: Expecting a track number, got x"},
        {"a bad time", "FILE \"made.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:99:00\n",
         "Invalid MSF string 00:99:00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resetLibrary();
        setHostDrivesEnabled(false);
        TestImage image;
        image.descriptor = tempDir() / "disc.cue";
        std::ofstream(image.descriptor) << c.text;
        useImages({image});
        EXPECT_NE(CR_GetDriveProblem().find(c.problem), std::string::npos) << CR_GetDriveProblem();
        TCDROMParams params{};
        ASSERT_EQ(CR_GetCDROMParameters(&params), CR_OK);
        EXPECT_EQ(std::string(params.ID),
                  ("Image disc.cue: " + CR_GetDriveProblem()).substr(0, 255));
        EXPECT_EQ(CR_ReadToc(), CR_ERROR);
    }

    // A cdrdao TOC whose data file is missing.
    resetLibrary();
    setHostDrivesEnabled(false);
    TestImage toc = writeImage(tempDir(), "toc", {{100, false}}, ImageFormat::CdrdaoToc);
    std::filesystem::remove(toc.bin);
    useImages({toc});
    EXPECT_EQ(CR_GetDriveProblem(), "data file " + toc.bin.string() + " is missing");

    // The data file comes back: the next selection reads the disc.
    writeImage(tempDir(), "toc", {{100, false}}, ImageFormat::CdrdaoToc);
    ASSERT_EQ(CR_Init(iniPath().c_str()), CR_OK);
    ASSERT_EQ(CR_SetActiveCDROM(0), CR_OK);
    EXPECT_EQ(CR_GetDriveProblem(), "");
    EXPECT_EQ(CR_ReadToc(), CR_OK);
}

TEST_F(ImageDriveTest, AMissingDataFileIsReadFromItsOtherCaseOrTheCueSheetsName) {
    struct Case {
        const char* name;
        std::string cue;
        std::string fileLine;
        std::vector<std::string> files; // the first holds the audio
        std::string read;               // empty: refused
    };
    const Case cases[] = {
        {"another case", "disc.cue", "CDDA.BIN", {"cdda.bin"}, "cdda.bin"},
        {"a name from another system",
         "disc.cue",
         "C:\\rips\\TRACK.BIN",
         {"Track.bin"},
         "Track.bin"},
        {"a renamed file", "album.cue", "old.bin", {"album.bin", "other.bin"}, "album.bin"},
        {"a name and its case, one of them the cue sheet's",
         "album.cue",
         "old.bin",
         {"album.BIN"},
         "album.BIN"},
        {"two files of that name in other cases",
         "album.cue",
         "Cdda.Bin",
         {"album.bin", "cdda.bin", "CDDA.bin"},
         "album.bin"},
        {"nothing named like either", "album.cue", "old.bin", {"other.bin"}, ""},
        {"two of the cue sheet's name", "album.cue", "old.bin", {"album.bin", "ALBUM.bin"}, ""},
    };
    const std::vector<ImageTrack> tracks = {{100, false}, {80, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto folder = freshCase(static_cast<size_t>(&c - cases));
        const TestImage made = writeImage(folder, "made", tracks);
        for (const std::string& file : c.files) {
            std::ofstream(folder / file, std::ios::binary)
                << std::string(static_cast<size_t>(180 * 2352), '\x55');
        }
        std::filesystem::rename(made.bin, folder / c.files.front());
        TestImage image = made;
        image.descriptor = folder / c.cue;
        std::ofstream(image.descriptor) << cueSheet(c.fileLine, made);
        useImages({image});
        TCDROMParams params{};
        ASSERT_EQ(CR_GetCDROMParameters(&params), CR_OK);
        if (c.read.empty()) {
            EXPECT_EQ(CR_GetDriveProblem(),
                      "data file " + (folder / c.fileLine).string() + " is missing");
            EXPECT_EQ(CR_ReadToc(), CR_ERROR);
            continue;
        }
        const std::string notice =
            c.cue + " names " + c.fileLine + ", which is missing; " + c.read + " is read instead";
        EXPECT_EQ(CR_GetDriveProblem(), "");
        EXPECT_EQ(CR_GetDriveNotice(), notice);
        EXPECT_EQ(std::string(params.ID), "Image " + c.cue + ": " + notice);
        expectToc(made, tracks);
        EXPECT_EQ(readRange(0, 179).audio, imageAudio(0, 179));
    }
}

TEST_F(ImageDriveTest, SameNamedImagesAreToldApartWithTheirOwnSettings) {
    const std::vector<ImageTrack> tracks = {{100, false}};
    for (const char* folder : {"rock/cd", "jazz/CD"}) {
        std::filesystem::create_directories(tempDir() / folder);
    }
    const TestImage a = writeImage(tempDir() / "rock" / "cd", "demo", tracks);
    const TestImage b = writeImage(tempDir() / "jazz" / "CD", "Demo", tracks);
    const TestImage c = writeImage(tempDir() / "jazz", "single", tracks);
    useImages({a, b, c});
    std::vector<std::string> names;
    for (int32_t drive = 0; drive < 3; ++drive) {
        ASSERT_EQ(CR_SetActiveCDROM(drive), CR_OK);
        TCDROMParams params{};
        ASSERT_EQ(CR_GetCDROMParameters(&params), CR_OK);
        names.emplace_back(params.ID);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Image rock/cd/demo.cue", "Image jazz/CD/Demo.cue",
                                               "Image single.cue"}));

    ASSERT_EQ(CR_SetActiveCDROM(0), CR_OK);
    TCDROMParams params{};
    ASSERT_EQ(CR_GetCDROMParameters(&params), CR_OK);
    params.Speed = 4;
    ASSERT_EQ(CR_SetCDROMParameters(&params), CR_OK);
    CR_SaveSettings();
    ASSERT_EQ(CR_Init(iniPath().c_str()), CR_OK);
    ASSERT_EQ(CR_SetActiveCDROM(1), CR_OK);
    ASSERT_EQ(CR_GetCDROMParameters(&params), CR_OK);
    EXPECT_EQ(params.Speed, 0) << "the other image's parameters are its own";
    ASSERT_EQ(CR_SetActiveCDROM(0), CR_OK);
    ASSERT_EQ(CR_GetCDROMParameters(&params), CR_OK);
    EXPECT_EQ(params.Speed, 4);
}

TEST_F(ImageDriveTest, ImagesHoldNoFilesOpenWhileOtherDrivesAreUsed) {
    // More images than file handles left: each is read in turn.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    const auto open = std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                    std::filesystem::directory_iterator());
    constexpr int kImages = 60;
    std::vector<TestImage> images;
    for (int i = 0; i < kImages; ++i) {
        images.push_back(writeImage(tempDir(), "disc" + std::to_string(i), {{30, false}}));
    }
    useImages(images);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(open + 30);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    int read = 0;
    for (int32_t drive = 0; drive < kImages; ++drive) {
        ASSERT_EQ(CR_Init(iniPath().c_str()), CR_OK);
        ASSERT_EQ(CR_SetActiveCDROM(drive), CR_OK);
        if (CR_ReadToc() == CR_OK && readRange(0, 29).audio == imageAudio(0, 29)) {
            ++read;
        }
    }
    setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(read, kImages);
}

TEST_F(ImageDriveTest, EjectEmptiesTheDriveUntilTheNextRead) {
    std::vector<uint32_t> events;
    CR_SetDeviceChangeHandler([&events](uint32_t event) { events.push_back(event); });
    useImages({writeImage(tempDir(), "disc", kAudioOnly)});
    ASSERT_EQ(CR_LockCD(CR_TRUE), CR_OK);
    EXPECT_EQ(CR_EjectCD(CR_TRUE), CR_ERROR) << "locked";
    ASSERT_EQ(CR_LockCD(CR_FALSE), CR_OK);
    ASSERT_EQ(CR_EjectCD(CR_TRUE), CR_OK);
    EXPECT_EQ(events, std::vector<uint32_t>{CR_DEVICE_REMOVE_COMPLETE});
    EXPECT_EQ(CR_GetNumTocEntries(), 0);
    ASSERT_EQ(CR_ReadToc(), CR_OK) << "reading the disc loads the image again";
    EXPECT_EQ(CR_GetNumTocEntries(), 3);
    EXPECT_EQ(events, (std::vector<uint32_t>{CR_DEVICE_REMOVE_COMPLETE, CR_DEVICE_ARRIVAL}));
    // The drive object and its state survive a new CR_Init.
    ASSERT_EQ(CR_EjectCD(CR_TRUE), CR_OK);
    ASSERT_EQ(CR_Init(iniPath().c_str()), CR_OK);
    EXPECT_EQ(events.size(), 3u);
    EXPECT_EQ(CR_EjectCD(CR_FALSE), CR_OK);
    EXPECT_EQ(events.back(), CR_DEVICE_ARRIVAL);
}

TEST_F(ImageDriveTest, PlaybackFollowsTheWallClock) {
    useImages({writeImage(tempDir(), "disc", kAudioOnly)});
    ASSERT_EQ(CR_ReadToc(), CR_OK);
    ASSERT_EQ(CR_PlaySection(120, 284), CR_OK);
    uint32_t inTrack = 0;
    uint32_t absolute = 0;
    CR_GetPlayPosition(&inTrack, &absolute);
    EXPECT_GE(absolute, 120u);
    EXPECT_LT(absolute, 284u);
    EXPECT_EQ(inTrack, absolute - 120);
    ASSERT_EQ(CR_PauseCD(CR_TRUE), CR_OK);
    uint32_t pausedAt = 0;
    CR_GetPlayPosition(&inTrack, &pausedAt);
    EXPECT_EQ(CR_StopPlayTrack(), CR_OK);
    EXPECT_EQ(CR_PauseCD(CR_FALSE), CR_ERROR) << "nothing plays after stop";
    CR_SetPlayPosition(0);
    CR_GetPlayPosition(&inTrack, &absolute);
    EXPECT_EQ(absolute, 0u);
}

} // namespace
} // namespace cdlib::testing
