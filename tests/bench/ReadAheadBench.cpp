// SPDX-License-Identifier: GPL-3.0-or-later
// Extraction from a virtual drive that reads at a simulated 40x, through the
// engine as the window drives it: WAV, then MP3 at CBR 128 kbit/s joint
// stereo, of the same disc. With the library reading ahead while the engine
// encodes, the MP3 extraction takes about as long as the WAV one: the
// drive's speed, not the encoder's, sets the pace.
//
//   varrow-readahead-bench [minutes] [speed]    (default 12 minutes at 40x)
#include "CDRIP.h"
#include "LameCoder.h"
#include "VirtualDrive.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <memory>
#include <numbers>
#include <random>
#include <span>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

long peakKibibytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Twenty seconds of something like music, for the encoder to work on as
// it would on a real disc: chords of harmonics that change every half
// second and swell, with a noise burst like a hi-hat every quarter second,
// a different mix on each channel. 16-bit stereo, little-endian.
std::vector<uint8_t> musicLoop() {
    constexpr int kRate = 44100;
    constexpr int kFrames = 20 * kRate;
    const double roots[] = {110.0, 146.83, 164.81, 130.81, 98.0};
    std::vector<uint8_t> bytes(static_cast<size_t>(kFrames) * 4);
    std::mt19937 generator(75);
    std::normal_distribution<double> noise(0.0, 1.0);
    double burst = 0;
    for (int frame = 0; frame < kFrames; ++frame) {
        const double t = static_cast<double>(frame) / kRate;
        const double root = roots[static_cast<size_t>(t * 2) % std::size(roots)];
        const double swell = 0.6 + 0.4 * std::sin(2 * std::numbers::pi * 0.25 * t);
        double left = 0;
        double right = 0;
        for (int harmonic = 1; harmonic <= 8; ++harmonic) {
            const double phase = 2 * std::numbers::pi * root * harmonic * t;
            left += swell / harmonic * std::sin(phase);
            right += swell / harmonic * std::sin(1.5 * phase + harmonic);
        }
        burst = frame % (kRate / 4) == 0 ? 1.0 : burst * 0.9995;
        const double hat = 0.5 * burst * noise(generator);
        const auto put = [&bytes](size_t at, double value) {
            const auto sample = static_cast<uint16_t>(
                static_cast<int16_t>(std::clamp(value * 3500, -32768.0, 32767.0)));
            bytes[at] = static_cast<uint8_t>(sample & 0xff);
            bytes[at + 1] = static_cast<uint8_t>(sample >> 8);
        };
        put(4 * static_cast<size_t>(frame), left + hat);
        put(4 * static_cast<size_t>(frame) + 2, right + 0.7 * hat);
    }
    return bytes;
}

// One short track and three long ones, like an album side, of the music
// above over and over.
cdlib::VirtualDisc discOf(int minutes, std::shared_ptr<const std::vector<uint8_t>> music) {
    constexpr int32_t kSectorsPerMinute = 75 * 60;
    const int32_t longTrack = (minutes - 1) * kSectorsPerMinute / 3;
    cdlib::VirtualDisc disc;
    disc.tracks = {
        {kSectorsPerMinute, false}, {longTrack, false}, {longTrack, false}, {longTrack, false}};
    disc.audio = [music = std::move(music)](int32_t sector, std::span<uint8_t> bytes) {
        const size_t sectors = music->size() / CD_SECTOR_BYTES;
        const size_t at = static_cast<size_t>(sector) % sectors * CD_SECTOR_BYTES;
        std::memcpy(bytes.data(), music->data() + at, CD_SECTOR_BYTES);
    };
    return disc;
}

// Extracts every track into `folder`; returns the seconds it took.
double extractAll(TCDRIP& engine, const std::filesystem::path& folder, const std::string& ext) {
    std::filesystem::create_directories(folder);
    const auto start = std::chrono::steady_clock::now();
    for (size_t track = 1; track <= engine.Tracks().size(); ++track) {
        engine.RipTrack(static_cast<int32_t>(track),
                        (folder / ("track" + std::to_string(track) + ext)).string());
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    const int minutes = argc > 1 ? std::atoi(argv[1]) : 12;
    const double speed = argc > 2 ? std::atof(argv[2]) : 40.0;
    if (minutes < 2 || speed <= 0) {
        std::fprintf(stderr, "usage: varrow-readahead-bench [minutes >= 2] [speed > 0]\n");
        return 2;
    }
    const std::filesystem::path work = std::filesystem::temp_directory_path() /
                                       ("varrow-readahead-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(work);
    ::setenv("VARROW_SETTINGS_FILE", (work / "Varrow.INI").c_str(), 1);

    cdlib::setHostDrivesEnabled(false);
    auto drive = std::make_shared<cdlib::VirtualDrive>(
        "BENCH 40X", discOf(minutes, std::make_shared<const std::vector<uint8_t>>(musicLoop())));
    drive->faults().simulatedSpeed = speed;
    const int driveNumber = cdlib::addVirtualDrive(drive);

    TLameCoder coder;
    coder.setBitrate(128);
    coder.setEnableVBR(false);
    coder.setMode(JSTEREO);
    TCDRIP engine;
    engine.setCoder(&coder);
    engine.setCDRomNum(driveNumber);
    if (engine.Tracks().empty()) {
        std::fprintf(stderr, "varrow-readahead-bench: the virtual drive shows no tracks\n");
        return 1;
    }
    std::printf("virtual drive at %.0fx, %d minutes in %zu tracks\n", speed, minutes,
                engine.Tracks().size());

    engine.setEncode(false);
    engine.setWriteWAV(true);
    const double wav = extractAll(engine, work / "wav", ".wav");
    const long wavPeak = peakKibibytes();
    std::printf("  WAV extraction  %7.2f s  %5.1fx real time  peak %6ld KiB\n", wav,
                minutes * 60 / wav, wavPeak);

    engine.setEncode(true);
    const double mp3 = extractAll(engine, work / "mp3", coder.DefaultExt());
    std::printf("  MP3 extraction  %7.2f s  %5.1fx real time  peak %6ld KiB\n", mp3,
                minutes * 60 / mp3, peakKibibytes());
    std::printf("  MP3 / WAV time: %.3f  (target <= 1.10)\n", mp3 / wav);

    std::error_code ignored;
    std::filesystem::remove_all(work, ignored);
    return 0;
}
