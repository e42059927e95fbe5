// SPDX-License-Identifier: GPL-3.0-or-later
#include "FlacFiles.h"

#include "CommandOutput.h"

#include <FLAC/stream_decoder.h>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <numbers>
#include <random>
#include <sstream>
#include <system_error>

namespace varrow::testing {

namespace {

FLAC__StreamDecoderWriteStatus onFrame(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                       const FLAC__int32* const channels[], void* client) {
    auto& decoded = *static_cast<DecodedFlac*>(client);
    for (uint32_t i = 0; i < frame->header.blocksize; ++i) {
        for (uint32_t channel = 0; channel < frame->header.channels; ++channel) {
            const auto value = static_cast<uint16_t>(channels[channel][i]);
            decoded.pcm.push_back(static_cast<uint8_t>(value));
            decoded.pcm.push_back(static_cast<uint8_t>(value >> 8));
        }
    }
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void onMetadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* block, void* client) {
    auto& decoded = *static_cast<DecodedFlac*>(client);
    switch (block->type) {
    case FLAC__METADATA_TYPE_STREAMINFO: {
        const auto& info = block->data.stream_info;
        decoded.channels = info.channels;
        decoded.sampleRate = info.sample_rate;
        decoded.bitsPerSample = info.bits_per_sample;
        decoded.totalFrames = info.total_samples;
        std::copy(info.md5sum, info.md5sum + 16, decoded.md5.begin());
        break;
    }
    case FLAC__METADATA_TYPE_VORBIS_COMMENT:
        for (uint32_t i = 0; i < block->data.vorbis_comment.num_comments; ++i) {
            const auto& entry = block->data.vorbis_comment.comments[i];
            decoded.comments.emplace_back(reinterpret_cast<const char*>(entry.entry), entry.length);
        }
        break;
    case FLAC__METADATA_TYPE_SEEKTABLE:
        for (uint32_t i = 0; i < block->data.seek_table.num_points; ++i) {
            const auto& point = block->data.seek_table.points[i];
            if (point.sample_number != FLAC__STREAM_METADATA_SEEKPOINT_PLACEHOLDER) {
                decoded.seekPoints.push_back(
                    {point.sample_number, point.stream_offset, point.frame_samples});
            }
        }
        break;
    case FLAC__METADATA_TYPE_PICTURE: {
        const auto& picture = block->data.picture;
        decoded.pictureMime = picture.mime_type;
        decoded.pictureWidth = picture.width;
        decoded.pictureHeight = picture.height;
        decoded.pictureData.assign(picture.data, picture.data + picture.data_length);
        break;
    }
    default:
        break;
    }
}

void onError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus status, void*) {
    ADD_FAILURE() << FLAC__StreamDecoderErrorStatusString[status];
}

} // namespace

void MemorySink::count() {
    if (++calls == failAtCall || (failAtCall > 0 && calls > failAtCall)) {
        throw std::system_error(ENOSPC, std::generic_category(), "full");
    }
}

void MemorySink::write(const void* data, std::size_t size) {
    count();
    const auto* from = static_cast<const uint8_t*>(data);
    bytes.insert(bytes.end(), from, from + size);
}

void MemorySink::writeAt(uint64_t offset, const void* data, std::size_t size) {
    count();
    ASSERT_LE(offset + size, bytes.size());
    std::copy_n(static_cast<const uint8_t*>(data), size, bytes.begin() + static_cast<long>(offset));
}

DecodedFlac decodeFlac(const std::filesystem::path& flac) {
    DecodedFlac decoded;
    const std::unique_ptr<FLAC__StreamDecoder, void (*)(FLAC__StreamDecoder*)> decoder(
        FLAC__stream_decoder_new(), FLAC__stream_decoder_delete);
    FLAC__stream_decoder_set_md5_checking(decoder.get(), true);
    FLAC__stream_decoder_set_metadata_respond_all(decoder.get());
    if (FLAC__stream_decoder_init_file(decoder.get(), flac.c_str(), onFrame, onMetadata, onError,
                                       &decoded) != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
        return decoded;
    }
    const bool processed = FLAC__stream_decoder_process_until_end_of_metadata(decoder.get());
    FLAC__uint64 position = 0;
    FLAC__stream_decoder_get_decode_position(decoder.get(), &position);
    decoded.firstFrameOffset = position;
    decoded.ok = processed && FLAC__stream_decoder_process_until_end_of_stream(decoder.get()) &&
                 FLAC__stream_decoder_finish(decoder.get());
    return decoded;
}

bool flacToolAccepts(const std::filesystem::path& flac) {
    return std::system(("flac -t --silent '" + flac.string() + "'").c_str()) == 0;
}

std::string hex(std::span<const uint8_t> bytes) {
    std::string text;
    for (const uint8_t byte : bytes) {
        static const char digits[] = "0123456789abcdef";
        text += digits[byte >> 4];
        text += digits[byte & 0xF];
    }
    return text;
}

std::string md5Hex(std::span<const uint8_t> bytes, const std::filesystem::path& scratch) {
    const auto file = scratch / "md5-input";
    writeBytes(file, bytes);
    return commandOutput("md5sum '" + file.string() + "'").substr(0, 32);
}

void writeBytes(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
}

std::vector<uint8_t> readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Loudness ffmpegLoudness(std::span<const uint8_t> pcm, int channels, int rate, bool dualMono,
                        const std::filesystem::path& scratch) {
    const auto raw = scratch / "loudness.raw";
    const auto values = scratch / "loudness.txt";
    writeBytes(raw, pcm);
    const std::string command =
        "ffmpeg -nostats -hide_banner -f s16le -ar " + std::to_string(rate) + " -ac " +
        std::to_string(channels) + " -i '" + raw.string() + "' -af ebur128=metadata=1:peak=sample" +
        (dualMono ? ":dualmono=true" : "") + ",ametadata=mode=print:key=lavfi.r128.I:file='" +
        values.string() + "' -f null - 2>&1";
    const std::string summary = commandOutput(command);
    Loudness measured;
    // The last integrated value has three decimals; the summary's peak one.
    const std::vector<uint8_t> printed = readBytes(values);
    const std::string text(printed.begin(), printed.end());
    const std::size_t last = text.rfind("lavfi.r128.I=");
    EXPECT_NE(last, std::string::npos) << summary;
    measured.lufs = last == std::string::npos ? NAN : std::stod(text.substr(last + 13));
    const std::size_t peak = summary.rfind("Peak:");
    EXPECT_NE(peak, std::string::npos) << summary;
    measured.peakDb = peak == std::string::npos ? NAN : std::stod(summary.substr(peak + 5));
    return measured;
}

std::vector<uint8_t> tonePcm(double hz, double dbfs, double seconds, int channels, int rate,
                             bool noise) {
    const double amplitude = 32767.0 * std::pow(10.0, dbfs / 20);
    std::mt19937 generator(7);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    const auto frames = static_cast<std::size_t>(seconds * rate);
    std::vector<uint8_t> pcm;
    pcm.reserve(frames * channels * 2);
    for (std::size_t i = 0; i < frames; ++i) {
        const double shape =
            noise ? uniform(generator) : std::sin(2 * std::numbers::pi * hz * i / rate);
        const auto value =
            static_cast<uint16_t>(static_cast<int16_t>(std::lround(amplitude * shape)));
        for (int channel = 0; channel < channels; ++channel) {
            pcm.push_back(static_cast<uint8_t>(value));
            pcm.push_back(static_cast<uint8_t>(value >> 8));
        }
    }
    return pcm;
}

} // namespace varrow::testing
