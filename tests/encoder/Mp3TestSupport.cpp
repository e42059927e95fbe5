// SPDX-License-Identifier: GPL-3.0-or-later
#include "Mp3TestSupport.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <numbers>
#include <random>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace varrow::testing {

namespace {

constexpr uint32_t kMpeg1Bitrates[16] = {0,   32,  40,  48,  56,  64,  80,  96,
                                         112, 128, 160, 192, 224, 256, 320, 0};
constexpr uint32_t kMpeg2Bitrates[16] = {0,  8,  16, 24,  32,  40,  48,  56,
                                         64, 80, 96, 112, 128, 144, 160, 0};
constexpr uint32_t kMpeg1Rates[3] = {44100, 48000, 32000};

} // namespace

std::optional<FrameHeader> parseFrameHeader(const uint8_t* bytes, std::size_t available) {
    if (available < 4 || bytes[0] != 0xFF || (bytes[1] & 0xE0) != 0xE0) {
        return std::nullopt;
    }
    const int versionBits = (bytes[1] >> 3) & 3;
    const int layerBits = (bytes[1] >> 1) & 3;
    const int bitrateIndex = bytes[2] >> 4;
    const int rateIndex = (bytes[2] >> 2) & 3;
    if (versionBits == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 ||
        rateIndex == 3) {
        return std::nullopt;
    }
    FrameHeader header;
    header.mpegVersion = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
    header.layer = 4 - layerBits;
    header.crc = (bytes[1] & 1) == 0;
    header.bitrateKbps =
        header.mpegVersion == 1 ? kMpeg1Bitrates[bitrateIndex] : kMpeg2Bitrates[bitrateIndex];
    header.sampleRate = kMpeg1Rates[rateIndex] / (header.mpegVersion == 1   ? 1
                                                  : header.mpegVersion == 2 ? 2
                                                                            : 4);
    const uint32_t padding = (bytes[2] >> 1) & 1;
    header.privateBit = (bytes[2] & 1) != 0;
    header.channelMode = bytes[3] >> 6;
    header.copyright = (bytes[3] & 0x08) != 0;
    header.original = (bytes[3] & 0x04) != 0;
    header.emphasis = bytes[3] & 0x03;
    if (header.layer != 3) {
        return header;
    }
    header.samples = header.mpegVersion == 1 ? 1152 : 576;
    header.length = header.samples / 8 * header.bitrateKbps * 1000 / header.sampleRate + padding;
    return header;
}

std::vector<uint8_t> withoutId3Tags(const std::vector<uint8_t>& file) {
    std::size_t begin = 0;
    if (file.size() >= 10 && file[0] == 'I' && file[1] == 'D' && file[2] == '3') {
        // The tag's size: four bytes of seven bits each, header excluded.
        begin = 10 + (std::size_t{file[6]} << 21 | std::size_t{file[7]} << 14 |
                      std::size_t{file[8]} << 7 | file[9]);
    }
    std::size_t end = file.size();
    if (end >= begin + 128 && file[end - 128] == 'T' && file[end - 127] == 'A' &&
        file[end - 126] == 'G') {
        end -= 128;
    }
    return begin < end ? std::vector<uint8_t>(file.begin() + static_cast<std::ptrdiff_t>(begin),
                                              file.begin() + static_cast<std::ptrdiff_t>(end))
                       : std::vector<uint8_t>{};
}

std::vector<FrameHeader> splitFrames(const std::vector<uint8_t>& stream) {
    std::vector<FrameHeader> frames;
    std::size_t offset = 0;
    while (offset < stream.size()) {
        const auto header = parseFrameHeader(stream.data() + offset, stream.size() - offset);
        if (!header || header->layer != 3 || offset + header->length > stream.size()) {
            ADD_FAILURE() << "no whole layer III frame at byte " << offset << " of "
                          << stream.size();
            break;
        }
        frames.push_back(*header);
        offset += header->length;
    }
    return frames;
}

std::optional<XingTag> findXingTag(const std::vector<uint8_t>& frame) {
    for (const char* magic : {"Xing", "Info"}) {
        const auto found = std::search(frame.begin(), frame.end(), magic, magic + 4);
        if (found == frame.end()) {
            continue;
        }
        XingTag tag{magic, std::nullopt, std::nullopt};
        const auto at = static_cast<std::size_t>(found - frame.begin()) + 4;
        auto bigEndian = [&frame](std::size_t offset) {
            return uint32_t{frame[offset]} << 24 | uint32_t{frame[offset + 1]} << 16 |
                   uint32_t{frame[offset + 2]} << 8 | uint32_t{frame[offset + 3]};
        };
        if (at + 4 > frame.size()) {
            return tag;
        }
        // Flags: 1 frames, 2 bytes, 4 table of contents, 8 quality.
        const uint32_t flags = bigEndian(at);
        std::size_t field = at + 4;
        if ((flags & 1) != 0 && field + 4 <= frame.size()) {
            tag.frames = bigEndian(field);
        }
        field += (flags & 1) != 0 ? 4 : 0;
        field += (flags & 2) != 0 ? 4 : 0;
        field += (flags & 4) != 0 ? 100 : 0;
        if ((flags & 8) != 0 && field + 4 <= frame.size()) {
            tag.quality = bigEndian(field);
        }
        return tag;
    }
    return std::nullopt;
}

std::vector<int16_t> stereoTones(double leftHz, double rightHz, double seconds, uint32_t rate,
                                 double amplitude) {
    const auto pairs = static_cast<std::size_t>(seconds * rate);
    std::vector<int16_t> pcm(pairs * 2);
    for (std::size_t i = 0; i < pairs; ++i) {
        const double t = static_cast<double>(i) / rate;
        pcm[2 * i] = static_cast<int16_t>(amplitude * std::sin(2 * std::numbers::pi * leftHz * t));
        pcm[2 * i + 1] =
            static_cast<int16_t>(amplitude * std::sin(2 * std::numbers::pi * rightHz * t));
    }
    return pcm;
}

std::vector<int16_t> stereoNoise(double seconds, uint32_t rate) {
    const auto pairs = static_cast<std::size_t>(seconds * rate);
    std::vector<int16_t> pcm(pairs * 2);
    std::mt19937 generator(20240611);
    std::uniform_int_distribution<int> sample(-8000, 8000);
    for (std::size_t i = 0; i < pairs; ++i) {
        pcm[2 * i] = static_cast<int16_t>(sample(generator));
        pcm[2 * i + 1] = pcm[2 * i];
    }
    return pcm;
}

EncodedStream encodeStereo(TLameCoder& coder, const std::vector<int16_t>& stereo, uint8_t monoMix) {
    EncodedStream result;
    const uint32_t initStatus = coder.InitStream();
    EXPECT_EQ(initStatus, 0U);
    if (initStatus != 0) {
        coder.CloseStream();
        return result;
    }
    const uint32_t chunkValues = coder.ChunkSamples();
    std::vector<int16_t> chunk(chunkValues);
    std::vector<uint8_t> output(coder.OutputBufferSize());
    const std::size_t wholeChunks = stereo.size() / chunkValues;
    for (std::size_t i = 0; i < wholeChunks; ++i) {
        std::copy_n(stereo.begin() + static_cast<std::ptrdiff_t>(i * chunkValues), chunkValues,
                    chunk.begin());
        uint32_t produced = 0;
        EXPECT_EQ(coder.EncodeChunk(chunk.data(), output.data(), monoMix, produced), 0U);
        result.bytes.insert(result.bytes.end(), output.begin(),
                            output.begin() + static_cast<std::ptrdiff_t>(produced));
    }
    result.stereoPairsEncoded = wholeChunks * chunkValues / 2;
    uint32_t flushed = 0;
    EXPECT_EQ(coder.DeinitStream(output.data(), flushed), 0U);
    result.bytes.insert(result.bytes.end(), output.begin(),
                        output.begin() + static_cast<std::ptrdiff_t>(flushed));
    EXPECT_EQ(coder.CloseStream(), 0U);

    result.tagFrame = coder.VBRTagFrame();
    const std::size_t tagSize = std::min(result.tagFrame.size(), result.bytes.size());
    result.emittedFirstTag.assign(result.bytes.begin(),
                                  result.bytes.begin() + static_cast<std::ptrdiff_t>(tagSize));
    std::copy_n(result.tagFrame.begin(), tagSize, result.bytes.begin());
    return result;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "varrow-encoder-XXXXXX");
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(file.good()) << path;
}

namespace {

int runProgram(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawn(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        return -1;
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

} // namespace

DecodedAudio decodeWithFfmpeg(const std::filesystem::path& mp3, int channels, const TempDir& dir) {
    DecodedAudio audio;
    audio.channels = channels;
    const auto rawFile = dir.path() / (mp3.stem().string() + ".raw");
    const int decoded = runProgram({FFMPEG_EXECUTABLE, "-v", "error", "-nostdin", "-y", "-i",
                                    mp3.string(), "-f", "s16le", "-c:a", "pcm_s16le", "-ac",
                                    std::to_string(channels), rawFile.string()});
    EXPECT_EQ(decoded, 0) << "ffmpeg could not decode " << mp3;
    std::ifstream raw(rawFile, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(raw)),
                                  std::istreambuf_iterator<char>());
    audio.samples.resize(bytes.size() / 2);
    std::copy_n(bytes.data(), audio.samples.size() * 2,
                reinterpret_cast<char*>(audio.samples.data()));
    return audio;
}

double tonePower(const DecodedAudio& audio, int channel, double hz, uint32_t rate) {
    const double coefficient = 2 * std::cos(2 * std::numbers::pi * hz / rate);
    double previous = 0;
    double beforePrevious = 0;
    const std::size_t frames = audio.frames();
    for (std::size_t i = 0; i < frames; ++i) {
        const double current =
            audio.samples[i * audio.channels + channel] + coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = current;
    }
    const double power = previous * previous + beforePrevious * beforePrevious -
                         coefficient * previous * beforePrevious;
    return frames == 0 ? 0 : power / (static_cast<double>(frames) * frames);
}

} // namespace varrow::testing
