// SPDX-License-Identifier: GPL-3.0-or-later
// What the tests of FLAC files and loudness need from outside the code under
// test: a byte sink in memory that fails when told to, a decode with
// libFLAC's own decoder, the flac tool's test, an MD5 by md5sum, ffmpeg's
// EBU R 128 measurement, and generated tones.
#pragma once

#include "ByteSink.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace varrow::testing {

// Keeps what is written; from its `failAtCall`-th write or writeAt on
// (counting from 1) it raises std::system_error ENOSPC instead.
class MemorySink final : public TByteSink {
public:
    void write(const void* data, std::size_t size) override;
    void writeAt(uint64_t offset, const void* data, std::size_t size) override;
    uint64_t size() const override { return bytes.size(); }

    std::vector<uint8_t> bytes;
    int calls = 0;
    int failAtCall = 0; // 0: never

private:
    void count();
};

struct SeekPoint {
    uint64_t sample = 0;
    uint64_t offset = 0;
    uint32_t frameSamples = 0;
};

struct DecodedFlac {
    bool ok = false; // decoded whole, the audio's MD5 as STREAMINFO says
    uint32_t channels = 0;
    uint32_t sampleRate = 0;
    uint32_t bitsPerSample = 0;
    uint64_t totalFrames = 0;
    std::array<uint8_t, 16> md5{};
    std::vector<uint8_t> pcm; // 16-bit little-endian, interleaved
    std::vector<std::string> comments;
    std::vector<SeekPoint> seekPoints; // placeholders left out
    uint64_t firstFrameOffset = 0;
    std::string pictureMime;
    uint32_t pictureWidth = 0;
    uint32_t pictureHeight = 0;
    std::vector<uint8_t> pictureData;
};
DecodedFlac decodeFlac(const std::filesystem::path& flac);

// `flac -t` passes the file.
bool flacToolAccepts(const std::filesystem::path& flac);

std::string hex(std::span<const uint8_t> bytes);
// Through md5sum, in hex.
std::string md5Hex(std::span<const uint8_t> bytes, const std::filesystem::path& scratch);

void writeBytes(const std::filesystem::path& path, std::span<const uint8_t> bytes);
std::vector<uint8_t> readBytes(const std::filesystem::path& path);

// ffmpeg's ebur128 filter over 16-bit PCM: integrated loudness (LUFS) and
// sample peak (dBFS). Mono is measured as dual mono when `dualMono`.
struct Loudness {
    double lufs = 0;
    double peakDb = 0;
};
Loudness ffmpegLoudness(std::span<const uint8_t> pcm, int channels, int rate, bool dualMono,
                        const std::filesystem::path& scratch);

// 16-bit little-endian PCM: a sine of `hz` whose peak is `dbfs`, the same
// on every channel; with `noise` white noise of that peak instead.
std::vector<uint8_t> tonePcm(double hz, double dbfs, double seconds, int channels, int rate,
                             bool noise = false);

} // namespace varrow::testing
