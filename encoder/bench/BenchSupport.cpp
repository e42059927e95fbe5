// SPDX-License-Identifier: GPL-3.0-or-later
#include "BenchSupport.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <numbers>
#include <random>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

namespace varrow::bench {

std::vector<int16_t> generateMusic(double seconds) {
    const auto pairs = static_cast<std::size_t>(seconds * kRate);
    std::vector<int16_t> pcm(pairs * 2);
    std::mt19937 generator(1994);
    std::normal_distribution<double> noise(0.0, 1.0);
    const double roots[] = {110.0, 146.83, 164.81, 130.81};
    double burst = 0;
    for (std::size_t i = 0; i < pairs; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double root = roots[static_cast<std::size_t>(t / 2.0) % 4];
        const double glide = 1.0 + 0.01 * std::sin(2 * std::numbers::pi * 0.3 * t);
        const double swell = 0.6 + 0.4 * std::sin(2 * std::numbers::pi * 0.25 * t);
        double left = 0;
        double right = 0;
        for (int harmonic = 1; harmonic <= 12; ++harmonic) {
            const double phase = 2 * std::numbers::pi * root * glide * harmonic * t;
            const double level = swell / harmonic;
            left += level * std::sin(phase * 1.0);
            right += level * std::sin(phase * 1.5 + harmonic);
        }
        // A noise burst every quarter second that decays, like a hi-hat.
        if (i % (kRate / 4) == 0) {
            burst = 1.0;
        }
        burst *= 0.9995;
        const double hat = 0.5 * burst * noise(generator);
        pcm[2 * i] = static_cast<int16_t>(std::clamp((left + hat) * 3000, -32768.0, 32767.0));
        pcm[2 * i + 1] =
            static_cast<int16_t>(std::clamp((right + 0.7 * hat) * 3000, -32768.0, 32767.0));
    }
    return pcm;
}

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

bool parseArguments(int argc, char** argv, const std::string& tool, double& seconds,
                    std::string& toolPath) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--no-" + tool) {
            toolPath.clear();
        } else if (argument == "--" + tool && i + 1 < argc) {
            toolPath = argv[++i];
        } else if (std::atof(argument.c_str()) > 0) {
            seconds = std::atof(argument.c_str());
        } else {
            std::fprintf(stderr, "usage: %s [seconds] [--%s PATH | --no-%s]\n", argv[0],
                         tool.c_str(), tool.c_str());
            return false;
        }
    }
    return true;
}

namespace {

void putLittleEndian(std::ofstream& file, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        file.put(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

} // namespace

bool writeWav(const std::filesystem::path& path, const std::vector<int16_t>& pcm) {
    std::ofstream file(path, std::ios::binary);
    const auto dataBytes = static_cast<uint32_t>(pcm.size() * 2);
    file.write("RIFF", 4);
    putLittleEndian(file, 36 + dataBytes, 4);
    file.write("WAVEfmt ", 8);
    putLittleEndian(file, 16, 4);
    putLittleEndian(file, 1, 2);
    putLittleEndian(file, 2, 2);
    putLittleEndian(file, kRate, 4);
    putLittleEndian(file, kRate * 4, 4);
    putLittleEndian(file, 4, 2);
    putLittleEndian(file, 16, 2);
    file.write("data", 4);
    putLittleEndian(file, dataBytes, 4);
    file.write(reinterpret_cast<const char*>(pcm.data()), dataBytes);
    return file.good();
}

// Runs the command and measures its wall time and the CPU time it used.
Measurement runTimed(std::vector<std::string> command, const std::filesystem::path& output) {
    Measurement result;
    std::vector<char*> argv;
    for (std::string& argument : command) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    const auto wallStart = std::chrono::steady_clock::now();
    pid_t child = 0;
    if (posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        return result;
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) {
        return result;
    }
    result.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    auto seconds = [](const timeval& value) {
        return static_cast<double>(value.tv_sec) + static_cast<double>(value.tv_usec) / 1e6;
    };
    result.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    std::error_code error;
    result.outputBytes = result.ok ? std::filesystem::file_size(output, error) : 0;
    return result;
}

void printRow(const std::string& name, const Measurement& measured, double audioSeconds) {
    if (!measured.ok) {
        std::printf("%-40s failed\n", name.c_str());
        return;
    }
    std::printf("%-40s %8.2f %8.1f %8.2f %8.1f %10zu\n", name.c_str(), measured.wallSeconds,
                audioSeconds / measured.wallSeconds, measured.cpuSeconds,
                audioSeconds / measured.cpuSeconds, measured.outputBytes);
}

ScratchDir::ScratchDir() {
    std::string pattern = std::filesystem::temp_directory_path() / "varrow-bench-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) {
        path_ = pattern;
    }
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    if (!path_.empty()) {
        std::filesystem::remove_all(path_, ignored);
    }
}

} // namespace varrow::bench
