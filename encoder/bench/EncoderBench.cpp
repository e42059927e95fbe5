// SPDX-License-Identifier: GPL-3.0-or-later
// Encoding speed of TLameCoder in multiples of real time, on one thread, next
// to the lame command line tool encoding the same audio from a WAV file.
//
//   varrow-encoder-bench [seconds] [--lame PATH | --no-lame]
//
// The audio is generated: chords of harmonics that glide and swell, with
// noise bursts like percussion and a different mix on each channel, so that
// the psychoacoustic model and the bit reservoir have real work to do.
#include "BenchSupport.h"
#include "LameCoder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace varrow::bench;

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
        result.outputBytes += produced;
    }
    uint32_t flushed = 0;
    result.ok = result.ok && coder.DeinitStream(output.data(), flushed) == 0;
    result.outputBytes += flushed;
    coder.CloseStream();
    result.cpuSeconds = threadCpuSeconds() - cpuStart;
    result.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    return result;
}

} // namespace

int main(int argc, char** argv) {
    double seconds = 60;
    std::string lame = "lame";
    if (!parseArguments(argc, argv, "lame", seconds, lame)) {
        return 2;
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
