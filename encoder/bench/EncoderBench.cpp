// Encoding speed of TLameCoder in multiples of real time, on one thread, next
// to the lame command line tool encoding the same audio from a WAV file.
//
//   varrow-encoder-bench [seconds] [--lame PATH | --no-lame]
//
// The audio is generated: chords of harmonics that glide and swell, with
// noise bursts like percussion and a different mix on each channel, so that
// the psychoacoustic model and the bit reservoir have real work to do.
#include "LameCoder.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

constexpr uint32_t kRate = 44100;

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

struct Measurement {
    double wallSeconds = 0;
    double cpuSeconds = 0;
    std::size_t mp3Bytes = 0;
    bool ok = false;
};

// Feeds the coder the way the extraction engine does: whole chunks copied
// into one chunk buffer, every output written (here: counted).
Measurement encodeWith(TLameCoder& coder, const std::vector<int16_t>& pcm, uint8_t monoMix) {
    Measurement result;
    const auto wallStart = std::chrono::steady_clock::now();
    const double cpuStart = threadCpuSeconds();
    if (coder.InitStream() != 0) {
        coder.CloseStream();
        return result;
    }
    const std::size_t chunkValues = coder.ChunkSamples();
    std::vector<int16_t> chunk(chunkValues);
    std::vector<uint8_t> output(coder.OutputBufferSize());
    result.ok = true;
    for (std::size_t at = 0; at + chunkValues <= pcm.size(); at += chunkValues) {
        std::copy_n(pcm.begin() + static_cast<std::ptrdiff_t>(at), chunkValues, chunk.begin());
        uint32_t produced = 0;
        result.ok =
            result.ok && coder.EncodeChunk(chunk.data(), output.data(), monoMix, produced) == 0;
        result.mp3Bytes += produced;
    }
    uint32_t flushed = 0;
    result.ok = result.ok && coder.DeinitStream(output.data(), flushed) == 0;
    result.mp3Bytes += flushed;
    coder.CloseStream();
    result.cpuSeconds = threadCpuSeconds() - cpuStart;
    result.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    return result;
}

void putLittleEndian(std::ofstream& file, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        file.put(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

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
Measurement runTimed(std::vector<std::string> command, const std::filesystem::path& mp3) {
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
    result.mp3Bytes = result.ok ? std::filesystem::file_size(mp3, error) : 0;
    return result;
}

void printRow(const std::string& name, const Measurement& measured, double audioSeconds) {
    if (!measured.ok) {
        std::printf("%-40s failed\n", name.c_str());
        return;
    }
    std::printf("%-40s %8.2f %8.1f %8.2f %8.1f %10zu\n", name.c_str(), measured.wallSeconds,
                audioSeconds / measured.wallSeconds, measured.cpuSeconds,
                audioSeconds / measured.cpuSeconds, measured.mp3Bytes);
}

// A unique temporary folder, removed when the benchmark ends.
class ScratchDir final {
public:
    ScratchDir() {
        std::string pattern = std::filesystem::temp_directory_path() / "varrow-bench-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~ScratchDir() {
        std::error_code ignored;
        if (!path_.empty()) {
            std::filesystem::remove_all(path_, ignored);
        }
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

} // namespace

int main(int argc, char** argv) {
    double seconds = 60;
    std::string lame = "lame";
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--no-lame") {
            lame.clear();
        } else if (argument == "--lame" && i + 1 < argc) {
            lame = argv[++i];
        } else if (std::atof(argument.c_str()) > 0) {
            seconds = std::atof(argument.c_str());
        } else {
            std::fprintf(stderr, "usage: %s [seconds] [--lame PATH | --no-lame]\n", argv[0]);
            return 2;
        }
    }

    const std::vector<int16_t> music = generateMusic(seconds);
    std::printf("%.1f s of generated stereo music, 44100 Hz, 16 bit; one thread\n", seconds);
    std::printf("%-40s %8s %8s %8s %8s %10s\n", "encoding", "wall s", "x real", "cpu s", "x real",
                "MP3 bytes");

    struct Setting {
        std::string name;
        TLameMode mode;
        bool vbr;
        MPEG_QUALITY quality;
        uint8_t monoMix;
    };
    const Setting settings[] = {
        {"CBR 128 joint stereo", JSTEREO, false, NORMAL_QUALITY, MONOMIX_NONE},
        {"VBR quality 4, 128-320, j-stereo", JSTEREO, true, NORMAL_QUALITY, MONOMIX_NONE},
        {"CBR 128 joint stereo, LOW", JSTEREO, false, LOW_QUALITY, MONOMIX_NONE},
        {"CBR 128 joint stereo, HIGH", JSTEREO, false, HIGH_QUALITY, MONOMIX_NONE},
        {"CBR 128 joint stereo, VOICE", JSTEREO, false, VOICE_QUALITY, MONOMIX_NONE},
        {"CBR 128 mono, mixed from stereo", MONO, false, NORMAL_QUALITY, MONOMIX_MEAN},
    };
    int failures = 0;
    for (const Setting& setting : settings) {
        TLameCoder coder;
        coder.setMode(setting.mode);
        coder.setEnableVBR(setting.vbr);
        coder.setQuality(setting.quality);
        const Measurement measured = encodeWith(coder, music, setting.monoMix);
        failures += measured.ok ? 0 : 1;
        printRow("Varrow " + setting.name, measured, seconds);
    }

    if (!lame.empty()) {
        const ScratchDir scratch;
        const auto wav = scratch.path() / "bench.wav";
        const auto mp3 = scratch.path() / "bench.mp3";
        if (scratch.path().empty() || !writeWav(wav, music)) {
            std::fprintf(stderr, "cannot write the WAV file for lame\n");
            return 1;
        }
        const std::vector<std::string> command{lame,  "--quiet",    "-b",
                                               "128", wav.string(), mp3.string()};
        const Measurement measured = runTimed(command, mp3);
        failures += measured.ok ? 0 : 1;
        printRow(lame + " -b 128 (from a WAV file)", measured, seconds);
        std::printf("command: %s --quiet -b 128 bench.wav bench.mp3\n", lame.c_str());
    }
    return failures == 0 ? 0 : 1;
}
