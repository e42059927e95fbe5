// SPDX-License-Identifier: GPL-3.0-or-later
#include "LibraryFixture.h"

#include "TestHooks.h"

#include <fstream>
#include <random>

namespace cdlib::testing {

void LibraryTest::SetUp() {
    resetLibrary();
    setHostDrivesEnabled(false);
    // Tests are silent: disc images play on the clock unless a test gives
    // them a sink.
    setAudioSinkFactory([] { return std::unique_ptr<AudioSink>(); });
}

void LibraryTest::TearDown() {
    resetLibrary();
    if (!tempDir_.empty()) {
        std::error_code error;
        std::filesystem::remove_all(tempDir_, error);
    }
}

const std::filesystem::path& LibraryTest::tempDir() {
    if (tempDir_.empty()) {
        std::random_device random;
        tempDir_ = std::filesystem::temp_directory_path() /
                   ("varrow-cdlib-" + std::to_string(random()) + "-" + std::to_string(random()));
        std::filesystem::create_directories(tempDir_);
    }
    return tempDir_;
}

void LibraryTest::useImage(const TestImage& image) {
    std::ofstream(tempDir() / "Varrow.INI")
        << "[CDLIB]\nIMAGE1=" << image.descriptor.string() << "\n";
    ASSERT_EQ(CR_Init((tempDir() / "Varrow.INI").c_str()), CR_OK);
    ASSERT_EQ(CR_SetActiveCDROM(0), CR_OK);
}

RangeRead readRange(int32_t firstSector, int32_t lastSector, int maxChunks,
                    const std::function<void(int chunk)>& betweenChunks) {
    RangeRead read;
    if (CR_OpenRipper(&read.chunkBytes, firstSector, lastSector) == CR_ERROR) {
        return read;
    }
    read.opened = true;
    std::vector<uint8_t> buffer(static_cast<size_t>(read.chunkBytes) + 64, 0xEE);
    int32_t abort = CR_FALSE;
    for (int i = 0; i < maxChunks; ++i) {
        int32_t delivered = -1;
        const CR_RESULT result = CR_RipChunk(buffer.data(), &delivered, &abort);
        read.results.push_back(result);
        read.chunkSizes.push_back(delivered);
        if (result != CR_CHUNK_NONE) {
            read.audio.insert(read.audio.end(), buffer.begin(), buffer.begin() + delivered);
        }
        if (result == CR_CHUNK_JITTER) {
            uint32_t first = 0;
            uint32_t last = 0;
            CR_GetLastJitterErrorPosition(&first, &last);
            read.jitterPositions.emplace_back(first, last);
        }
        read.percents.push_back(CR_GetPercentCompleted());
        if (result == CR_CHUNK_LAST) {
            break;
        }
        if (betweenChunks) {
            betweenChunks(i);
        }
    }
    read.jitterErrors = CR_GetNumberOfJitterErrors();
    CR_CloseRipper();
    // The figures of the range stay readable after closing it.
    read.lostSectors = CR_GetNumberOfLostSectors();
    uint32_t first = 0;
    uint32_t last = 0;
    for (int32_t run = 0; CR_GetLostSectorRun(run, &first, &last) == CR_OK; ++run) {
        read.lostRuns.emplace_back(first, last);
    }
    return read;
}

VirtualDisc discOf(std::vector<VirtualTrack> tracks, uint32_t firstSector) {
    VirtualDisc disc;
    disc.tracks = std::move(tracks);
    disc.firstSector = firstSector;
    return disc;
}

std::vector<uint8_t> virtualAudio(int32_t firstSector, int32_t lastSector) {
    std::vector<uint8_t> audio;
    for (int32_t sector = firstSector; sector <= lastSector; ++sector) {
        const auto bytes = VirtualDrive::audioSector(sector);
        audio.insert(audio.end(), bytes.begin(), bytes.end());
    }
    return audio;
}

void setReading(int32_t outputFormat, bool jitterCorrection) {
    TCDROMParams params{};
    ASSERT_EQ(CR_GetCDROMParameters(&params), CR_OK);
    params.OutputFormat = outputFormat;
    params.JitterCorrection = jitterCorrection ? CR_TRUE : CR_FALSE;
    ASSERT_EQ(CR_SetCDROMParameters(&params), CR_OK);
}

SectorReadFilter unreadableSector(int32_t sector) {
    return [sector](void* buffer, int32_t firstSector, long sectors,
                    const SectorReader& read) -> long {
        if (firstSector <= sector && sector < firstSector + sectors) {
            return -1;
        }
        return read(buffer, firstSector, sectors);
    };
}

} // namespace cdlib::testing
