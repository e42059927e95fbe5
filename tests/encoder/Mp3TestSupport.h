// SPDX-License-Identifier: GPL-3.0-or-later
// What the encoder tests need to look at an MP3 stream from outside: frame
// headers parsed by hand, the Xing/Info tag, generated tones, a decode with
// ffmpeg and a tone detector.
#pragma once

#include "LameCoder.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace varrow::testing {

struct FrameHeader {
    int mpegVersion = 0; // 1, 2, or 25 for MPEG-2.5
    int layer = 0;
    bool crc = false;
    uint32_t bitrateKbps = 0;
    uint32_t sampleRate = 0;
    bool privateBit = false;
    int channelMode = 0; // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
    bool copyright = false;
    bool original = false;
    int emphasis = 0;     // 0 none, 1 50/15 us, 3 CCITT J.17
    uint32_t length = 0;  // bytes, header included
    uint32_t samples = 0; // per channel
};

std::optional<FrameHeader> parseFrameHeader(const uint8_t* bytes, std::size_t available);

// Splits the whole stream into frames; fails the test when anything but
// whole frames is found.
std::vector<FrameHeader> splitFrames(const std::vector<uint8_t>& stream);

// The MP3 frames of a file: a leading ID3v2 tag and a trailing ID3v1 tag
// are left out.
std::vector<uint8_t> withoutId3Tags(const std::vector<uint8_t>& file);

// The frame count and quality indicator of a Xing/Info tag in the first
// frame, if there is one. LAME writes 100 - 10 x VBR quality - algorithm
// quality as the indicator.
struct XingTag {
    std::string magic; // "Xing" or "Info"
    std::optional<uint32_t> frames;
    std::optional<uint32_t> quality;
};
std::optional<XingTag> findXingTag(const std::vector<uint8_t>& frame);

// Interleaved stereo: a sine of leftHz on the left, rightHz on the right.
std::vector<int16_t> stereoTones(double leftHz, double rightHz, double seconds,
                                 uint32_t rate = 44100, double amplitude = 8000.0);

// Interleaved stereo noise (the same on both channels), deterministic.
std::vector<int16_t> stereoNoise(double seconds, uint32_t rate = 44100);

// What the engine does with a track: whole encoder chunks of the stereo PCM
// (the remainder is dropped), the flush, and the tag frame written over the
// start. Asserts every status; `stereoPairsEncoded` tells how many pairs went in.
struct EncodedStream {
    std::vector<uint8_t> bytes;           // as the file ends up
    std::vector<uint8_t> emittedFirstTag; // the first tag-sized bytes as emitted
    std::vector<uint8_t> tagFrame;
    std::size_t stereoPairsEncoded = 0;
};
EncodedStream encodeStereo(TLameCoder& coder, const std::vector<int16_t>& stereo, uint8_t monoMix);

class TempDir final {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

void writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

struct DecodedAudio {
    int channels = 0;
    std::vector<int16_t> samples; // interleaved
    std::size_t frames() const { return channels == 0 ? 0 : samples.size() / channels; }
};
// Decodes with ffmpeg into 16-bit PCM of the stream's own channel count (as
// the frame headers tell it); fails the test when ffmpeg fails.
DecodedAudio decodeWithFfmpeg(const std::filesystem::path& mp3, int channels, const TempDir& dir);

// Relative power of one frequency in one channel (Goertzel).
double tonePower(const DecodedAudio& audio, int channel, double hz, uint32_t rate = 44100);

} // namespace varrow::testing
