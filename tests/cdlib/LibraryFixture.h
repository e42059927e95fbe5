// SPDX-License-Identifier: GPL-3.0-or-later
// What every CD library test starts from: a library without drives of the
// machine, and helpers that read a whole range the way the engine does.
#pragma once

#include "CdRip_dll.h"
#include "TestHooks.h"
#include "TestImages.h"
#include "VirtualDrive.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace cdlib::testing {

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A fresh folder of this test, removed afterwards.
    const std::filesystem::path& tempDir();
    // Lists `image` as the library's only drive, through a settings file in
    // this test's folder, and selects it.
    void useImage(const TestImage& image);

private:
    std::filesystem::path tempDir_;
};

struct RangeRead {
    std::vector<uint8_t> audio;
    std::vector<CR_RESULT> results;
    std::vector<int32_t> chunkSizes;
    // One entry per chunk that answered 3: first and last sector.
    std::vector<std::pair<uint32_t, uint32_t>> jitterPositions;
    std::vector<int32_t> percents;
    int32_t chunkBytes = 0;
    int32_t jitterErrors = 0;
    int32_t lostSectors = 0;
    std::vector<std::pair<uint32_t, uint32_t>> lostRuns;
    bool opened = false;
};

// Opens first..last on the active drive and reads chunks until result 4 (or
// `maxChunks` calls), as the engine would; closes the range. `betweenChunks`
// runs after every chunk with its index.
RangeRead readRange(int32_t firstSector, int32_t lastSector, int maxChunks = 100000,
                    const std::function<void(int chunk)>& betweenChunks = {});

// A disc of audio tracks of the given lengths, optional data tracks.
VirtualDisc discOf(std::vector<VirtualTrack> tracks, uint32_t firstSector = 0);

// The virtual drive's audio of first..last, as an image would hold it.
std::vector<uint8_t> virtualAudio(int32_t firstSector, int32_t lastSector);

// A read filter under which every read that takes in `sector` fails, as a
// scratch on the disc does.
SectorReadFilter unreadableSector(int32_t sector);

// Sets the active drive's output format and jitter correction.
void setReading(int32_t outputFormat, bool jitterCorrection);

} // namespace cdlib::testing
