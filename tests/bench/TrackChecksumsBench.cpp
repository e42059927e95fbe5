// SPDX-License-Identifier: GPL-3.0-or-later
// Throughput of the checksums computed while a track is read (copy CRC,
// AccurateRip v1, v2 and sector 450, peak level), fed in pieces of the
// sizes reads hand out, against the rate of a drive reading at 40x. The
// checksums run on every byte of every rip, so they must cost next to
// nothing beside the drive.
//
//   varrow-checksums-bench [megabytes]    (default 700, a full disc)
#include "TrackChecksums.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <span>
#include <vector>
#include <zlib.h>

namespace {

constexpr double kMegabyte = 1e6;
// Audio at 1x is 75 sectors of 2,352 bytes a second.
constexpr double kBytesPerSecondAt40x = 40 * 75 * 2352.0;

// Best of three runs, in seconds, of `work`.
template <typename Work> double bestSeconds(Work work) {
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        const auto start = std::chrono::steady_clock::now();
        work();
        best = std::min(
            best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    const long megabytes = argc > 1 ? std::max(1L, std::atol(argv[1])) : 700;
    // One track of the whole size, in whole sectors; random audio, so that
    // no branch is easier than on music.
    const auto sectors = static_cast<int32_t>(megabytes * 1'000'000 / 2352);
    std::vector<uint8_t> audio(static_cast<std::size_t>(sectors) * 2352);
    std::mt19937 random(2940);
    std::generate(audio.begin(), audio.end(), [&random] { return static_cast<uint8_t>(random()); });
    const double size = static_cast<double>(audio.size());

    std::printf("Checksums of %.0f MB of audio (best of 3), against reading at 40x (%.2f MB/s):\n",
                size / kMegabyte, kBytesPerSecondAt40x / kMegabyte);
    uint32_t sink = 0;
    const auto report = [&](const char* what, double seconds) {
        const double rate = size / seconds;
        std::printf("  %-44s %8.0f MB/s  %6.1f x the 40x rate\n", what, rate / kMegabyte,
                    rate / kBytesPerSecondAt40x);
    };
    for (const std::size_t piece :
         {std::size_t{2352}, std::size_t{2352 * 26}, std::size_t{1} << 20, std::size_t{4095}}) {
        const double seconds = bestSeconds([&] {
            TrackChecksums checksums(sectors, true, true);
            for (std::size_t at = 0; at < audio.size(); at += piece) {
                checksums.add(std::span(audio).subspan(at, std::min(piece, audio.size() - at)));
            }
            sink ^= checksums.accurateRipV2() ^ checksums.copyCrc();
        });
        char what[64];
        std::snprintf(what, sizeof what, "all checksums, pieces of %zu bytes", piece);
        report(what, seconds);
    }
    report("of which zlib's CRC-32 alone", bestSeconds([&] {
               sink ^= static_cast<uint32_t>(crc32_z(0, audio.data(), audio.size()));
           }));
    return sink == 0x5eed ? 1 : 0; // keeps the work from being optimised away
}
