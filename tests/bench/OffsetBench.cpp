// SPDX-License-Identifier: GPL-3.0-or-later
// Figures of read offsets: the search for a drive's offset in memory (every
// shift from -5000 to +5000 over the sectors read once around sector 450),
// against computing each shift's checksum afresh; and reading a disc image
// with an offset corrected, against reading it without.
//
//   varrow-offset-bench [megabytes]    (default 200 of image)
#include "CdRip_dll.h"
#include "OffsetFinder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int64_t kSamplesPerSector = 588;

template <typename Work> double bestSeconds(Work work, int runs = 5) {
    double best = 1e9;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        work();
        best = std::min(
            best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

uint32_t sampleAt(const std::vector<uint8_t>& audio, int64_t index) {
    const uint8_t* at = audio.data() + 4 * index;
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

// Every shift's checksum computed on its own: what the sliding window saves.
int naiveMatches(const std::vector<uint8_t>& audio, int64_t sectorSample, uint32_t wanted) {
    int matches = 0;
    for (int64_t shift = -kMaxOffsetSearched; shift <= kMaxOffsetSearched; ++shift) {
        uint32_t sum = 0;
        for (int64_t i = 0; i < kSamplesPerSector; ++i) {
            sum += static_cast<uint32_t>(i + 1) * sampleAt(audio, sectorSample + shift + i);
        }
        matches += sum == wanted ? 1 : 0;
    }
    return matches;
}

void searchFigures() {
    constexpr int32_t kSectors = 19;
    std::vector<uint8_t> audio(static_cast<std::size_t>(kSectors) * 2352);
    std::mt19937 random(450);
    std::generate(audio.begin(), audio.end(), [&random] { return static_cast<uint8_t>(random()); });
    const int64_t sectorSample = 9 * kSamplesPerSector;
    const std::vector<uint32_t> wanted = {0x12345678u, 0x9abcdef0u};
    std::size_t found = 0;
    const double sliding =
        bestSeconds([&] { found += MatchingShifts(audio, 0, sectorSample, wanted).size(); });
    int naive = 0;
    const double afresh =
        bestSeconds([&] { naive += naiveMatches(audio, sectorSample, wanted[0]); });
    std::printf("Offset search over %d sectors, %d shifts (best of 5):\n", kSectors,
                2 * kMaxOffsetSearched + 1);
    std::printf("  sliding window            %10.3f ms\n", sliding * 1e3);
    std::printf("  each shift afresh         %10.3f ms  (%.0f x slower)\n", afresh * 1e3,
                afresh / sliding);
    std::printf("  (matches: %zu, %d)\n", found, naive);
}

// Reads every sector of the image's one track; MB/s.
double readRate(int32_t offset, int32_t sectors) {
    CR_SetReadOffset(offset);
    std::vector<uint8_t> buffer;
    const double seconds = bestSeconds(
        [&] {
            int32_t chunk = 0;
            if (CR_OpenRipper(&chunk, 0, sectors - 1) == CR_ERROR) {
                std::fprintf(stderr, "varrow-offset-bench: the image cannot be read\n");
                std::exit(1);
            }
            buffer.resize(static_cast<std::size_t>(chunk));
            int32_t delivered = 0;
            int32_t abort = CR_FALSE;
            while (CR_RipChunk(buffer.data(), &delivered, &abort) != CR_CHUNK_LAST) {
            }
            CR_CloseRipper();
        },
        3);
    return static_cast<double>(sectors) * 2352 / seconds / 1e6;
}

void readFigures(long megabytes) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("varrow-offset-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const auto sectors = static_cast<int32_t>(megabytes * 1'000'000 / 2352);
    {
        std::ofstream bin(folder / "bench.bin", std::ios::binary);
        std::mt19937 random(667);
        std::vector<char> sector(2352);
        for (int32_t i = 0; i < sectors; ++i) {
            std::generate(sector.begin(), sector.end(),
                          [&random] { return static_cast<char>(random()); });
            bin.write(sector.data(), static_cast<std::streamsize>(sector.size()));
        }
        std::ofstream(folder / "bench.cue")
            << "FILE \"bench.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
        std::ofstream(folder / "bench.ini")
            << "[CDLIB]\nIMAGE1=" << (folder / "bench.cue").string() << "\n";
    }
    CR_Init((folder / "bench.ini").c_str());
    CR_SetActiveCDROM(0);
    TCDROMParams params{};
    CR_GetCDROMParameters(&params);
    params.JitterCorrection = CR_FALSE;
    CR_SetCDROMParameters(&params);
    CR_ReadToc();
    std::printf("Reading a %ld MB image without jitter correction (best of 3):\n", megabytes);
    const double plain = readRate(0, sectors);
    std::printf("  offset     0             %8.0f MB/s\n", plain);
    for (const int32_t offset : {667, -1164, 5000}) {
        const double rate = readRate(offset, sectors);
        std::printf("  offset %+5d             %8.0f MB/s  (%.2f of offset 0)\n", offset, rate,
                    rate / plain);
    }
    CR_DeInit();
    std::filesystem::remove_all(folder);
}

} // namespace

int main(int argc, char** argv) {
    const long megabytes = argc > 1 ? std::max(1L, std::atol(argv[1])) : 200;
    searchFigures();
    readFigures(megabytes);
    return 0;
}
