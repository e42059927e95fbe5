// SPDX-License-Identifier: GPL-3.0-or-later
// FLAC encoding and loudness measurement in multiples of real time, on one
// thread, next to the flac command line tool encoding the same audio from a
// WAV file with --verify.
//
//   varrow-flac-bench [seconds] [--flac PATH | --no-flac]
//
// The audio is the generated music of the MP3 benchmark. It is fed as the
// engine reads a disc: ten sectors (23520 bytes) at a time.
#include "BenchSupport.h"
#include "ByteSink.h"
#include "FlacEncoder.h"
#include "LoudnessMeter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

namespace {

using namespace varrow::bench;

constexpr std::size_t kChunkBytes = 10 * 2352;

// Counts the bytes: the encoder's own work is measured, not a disk's.
class CountingSink final : public TByteSink {
public:
    void write(const void*, std::size_t size) override { size_ += size; }
    void writeAt(uint64_t, const void*, std::size_t) override {}
    uint64_t size() const override { return size_; }

private:
    uint64_t size_ = 0;
};

// Runs `feed` on every chunk of the music, then `end`, on this thread.
template <typename Feed, typename End>
Measurement timed(const std::vector<int16_t>& music, Feed&& feed, End&& end) {
    Measurement result;
    const auto wallStart = std::chrono::steady_clock::now();
    const double cpuStart = threadCpuSeconds();
    const auto* bytes = reinterpret_cast<const uint8_t*>(music.data());
    const std::size_t total = music.size() * sizeof(int16_t);
    try {
        for (std::size_t at = 0; at < total; at += kChunkBytes) {
            feed(bytes + at, std::min(kChunkBytes, total - at));
        }
        result.outputBytes = end();
        result.ok = true;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
    }
    result.cpuSeconds = threadCpuSeconds() - cpuStart;
    result.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    return result;
}

Measurement encodeFlac(const std::vector<int16_t>& music, uint32_t level) {
    CountingSink sink;
    TFlacSettings settings;
    settings.CompressionLevel = level;
    settings.ExpectedFrames = music.size() / 2;
    settings.Tags.Title = "Benchmark";
    TFlacEncoder encoder(sink, settings);
    return timed(
        music, [&](const uint8_t* pcm, std::size_t bytes) { encoder.write(pcm, bytes); },
        [&] {
            encoder.finish();
            return static_cast<std::size_t>(sink.size());
        });
}

Measurement measureLoudness(const std::vector<int16_t>& music, double& gain) {
    TLoudnessMeter meter(2, kRate);
    return timed(
        music, [&](const uint8_t* pcm, std::size_t bytes) { meter.add(pcm, bytes); },
        [&] {
            gain = meter.replayGain().gainDb.value_or(0);
            return std::size_t{0};
        });
}

} // namespace

int main(int argc, char** argv) {
    double seconds = 60;
    std::string flac = "flac";
    if (!parseArguments(argc, argv, "flac", seconds, flac)) {
        return 2;
    }

    const std::vector<int16_t> music = generateMusic(seconds);
    std::printf("%.1f s of generated stereo music, 44100 Hz, 16 bit; one thread\n", seconds);
    std::printf("%-40s %8s %8s %8s %8s %10s\n", "work", "wall s", "x real", "cpu s", "x real",
                "bytes");
    int failures = 0;
    for (const uint32_t level : {0U, 5U, 8U}) {
        const Measurement measured = encodeFlac(music, level);
        failures += measured.ok ? 0 : 1;
        printRow("Varrow FLAC level " + std::to_string(level) + ", verify", measured, seconds);
    }
    double gain = 0;
    const Measurement loudness = measureLoudness(music, gain);
    failures += loudness.ok ? 0 : 1;
    printRow("Varrow ReplayGain (EBU R 128 + peak)", loudness, seconds);
    std::printf("track gain of the music: %+.2f dB\n", gain);

    if (!flac.empty()) {
        const ScratchDir scratch;
        const auto wav = scratch.path() / "bench.wav";
        const auto encoded = scratch.path() / "bench.flac";
        if (scratch.path().empty() || !writeWav(wav, music)) {
            std::fprintf(stderr, "cannot write the WAV file for flac\n");
            return 1;
        }
        for (const char* level : {"-0", "-5", "-8"}) {
            const Measurement measured = runTimed({flac, "--silent", "--force", "--verify", level,
                                                   "-o", encoded.string(), wav.string()},
                                                  encoded);
            failures += measured.ok ? 0 : 1;
            printRow(flac + " " + level + " --verify (from a WAV file)", measured, seconds);
        }
        std::printf("command: %s --silent --force --verify -N -o bench.flac bench.wav\n",
                    flac.c_str());
    }
    return failures == 0 ? 0 : 1;
}
