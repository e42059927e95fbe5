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

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace {

long peakKibibytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// One short track and three long ones, like an album side.
cdlib::VirtualDisc discOf(int minutes) {
    constexpr int32_t kSectorsPerMinute = 75 * 60;
    const int32_t longTrack = (minutes - 1) * kSectorsPerMinute / 3;
    cdlib::VirtualDisc disc;
    disc.tracks = {
        {kSectorsPerMinute, false}, {longTrack, false}, {longTrack, false}, {longTrack, false}};
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
    auto drive = std::make_shared<cdlib::VirtualDrive>("BENCH 40X", discOf(minutes));
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
