// SPDX-License-Identifier: GPL-3.0-or-later
// What the encoder benchmarks share: generated music with real work in it
// for an encoder, the CPU time of the calling thread, a command line tool
// timed on a WAV file of the same music, and the table they print.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace varrow::bench {

inline constexpr uint32_t kRate = 44100;

// Interleaved stereo at kRate: chords of harmonics that glide and swell,
// with noise bursts like percussion and a different mix on each channel.
std::vector<int16_t> generateMusic(double seconds);

double threadCpuSeconds();

// "[seconds] [--<tool> PATH | --no-<tool>]": the seconds of music and the
// command line tool to compare with (empty: none). False, with the usage
// printed, for anything else.
bool parseArguments(int argc, char** argv, const std::string& tool, double& seconds,
                    std::string& toolPath);

struct Measurement {
    double wallSeconds = 0;
    double cpuSeconds = 0;
    std::size_t outputBytes = 0;
    bool ok = false;
};

// A WAV file of interleaved stereo at kRate.
bool writeWav(const std::filesystem::path& path, const std::vector<int16_t>& pcm);

// Runs the command and measures its wall time and the CPU time it used;
// outputBytes is the size of `output` afterwards.
Measurement runTimed(std::vector<std::string> command, const std::filesystem::path& output);

// One row: wall and CPU seconds, each also as a multiple of real time.
void printRow(const std::string& name, const Measurement& measured, double audioSeconds);

// A unique temporary folder, removed when the benchmark ends.
class ScratchDir final {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

} // namespace varrow::bench
