// SPDX-License-Identifier: GPL-3.0-or-later
#include "LameCoder.h"

#include <algorithm>
#include <filesystem>

namespace {

// Booleans cross to the library as 32-bit values: 0 or all bits set.
constexpr int32_t toLibraryBool(bool value) {
    return value ? -1 : 0;
}

// The largest MPEG audio frame is 1441 bytes; LAME reserves 2880.
constexpr uint32_t kMaxFrameSize = 2880;

// (left + right) / 2, exact, rounded to the nearest integer with ties to
// the even one. The result always fits: it lies between left and right.
int16_t meanRoundedHalfToEven(int16_t left, int16_t right) {
    const int32_t sum = int32_t{left} + int32_t{right};
    int32_t mean = sum >> 1; // rounds towards minus infinity
    if ((sum & 1) != 0 && (mean & 1) != 0) {
        ++mean;
    }
    return static_cast<int16_t>(mean);
}

} // namespace

TLameVersion::TLameVersion() {
    beVersion(&record_);
}

void TLameVersion::Assign(const TLameVersion& source) {
    record_.byDLLMajorVersion = source.record_.byDLLMajorVersion;
    record_.byDLLMinorVersion = source.record_.byDLLMinorVersion;
    record_.byMajorVersion = source.record_.byMajorVersion;
    record_.byMinorVersion = source.record_.byMinorVersion;
}

TLameCoder::TLameCoder() = default;

TLameCoder::~TLameCoder() {
    if (stream_ != 0) {
        beCloseStream(stream_);
    }
}

void TLameCoder::setPrivate(bool value) {
    private_ = toLibraryBool(value);
}
void TLameCoder::setCRC(bool value) {
    crc_ = toLibraryBool(value);
}
void TLameCoder::setCopyright(bool value) {
    copyright_ = toLibraryBool(value);
}
void TLameCoder::setOriginal(bool value) {
    original_ = toLibraryBool(value);
}
void TLameCoder::setWriteVBRHeader(bool value) {
    writeVBRHeader_ = toLibraryBool(value);
}

void TLameCoder::setEnableVBR(bool value) {
    enableVBR_ = toLibraryBool(value);
    writeVBRHeader_ = enableVBR_;
}

void TLameCoder::setMode(int value) {
    if (value >= STEREO && value <= MONO) {
        mode_ = static_cast<TLameMode>(value);
    }
}

void TLameCoder::setInputFiles(const std::vector<std::string>& files) {
    inputFiles_ = files;
    outputFiles_.clear();
    outputFiles_.reserve(files.size());
    for (const std::string& file : files) {
        outputFiles_.push_back(std::filesystem::path(file).replace_extension(defaultExt_).string());
    }
}

void TLameCoder::Assign(const TLameCoder& source) {
    sampleRate_ = source.sampleRate_;
    mode_ = source.mode_;
    bitrate_ = source.bitrate_;
    maxBitrate_ = source.maxBitrate_;
    quality_ = source.quality_;
    private_ = source.private_;
    crc_ = source.crc_;
    copyright_ = source.copyright_;
    original_ = source.original_;
    writeVBRHeader_ = source.writeVBRHeader_;
    enableVBR_ = source.enableVBR_;
    vbrQuality_ = source.vbrQuality_;
}

BE_CONFIG TLameCoder::BuildConfig() const {
    BE_CONFIG config{};
    config.dwConfig = BE_CONFIG_LAME;
    auto& lhv1 = config.format.LHV1;
    lhv1.dwStructVersion = CURRENT_STRUCT_VERSION;
    lhv1.dwStructSize = sizeof(BE_CONFIG);
    lhv1.dwSampleRate = sampleRate_;
    lhv1.dwReSampleRate = 0;
    lhv1.nMode = mode_;
    lhv1.dwBitrate = bitrate_;
    lhv1.dwMaxBitrate = maxBitrate_;
    lhv1.nPreset = quality_;
    lhv1.dwMpegVersion = MPEG1;
    lhv1.dwPsyModel = 0;
    lhv1.dwEmphasis = 0;
    lhv1.bPrivate = private_;
    lhv1.bCRC = crc_;
    lhv1.bCopyright = copyright_;
    lhv1.bOriginal = original_;
    lhv1.bWriteVBRHeader = writeVBRHeader_;
    lhv1.bEnableVBR = enableVBR_;
    lhv1.nVBRQuality = vbrQuality_;
    return config;
}

uint32_t TLameCoder::InitStream() {
    // One stream at a time: a stream left open is released, not leaked.
    if (stream_ != 0) {
        CloseStream();
    }
    vbrTagFrame_.clear();
    config_ = BuildConfig();
    const uint32_t status = beInitStream(&config_, &chunkSamples_, &outputBufferSize_, &stream_);
    if (status != BE_ERR_SUCCESSFUL) {
        stream_ = 0;
        chunkSamples_ = 0;
        outputBufferSize_ = 0;
    }
    return status;
}

uint32_t TLameCoder::EncodeChunk(int16_t* samples, uint8_t* output, uint8_t monoMix,
                                 uint32_t& outputBytes) {
    uint32_t count = chunkSamples_;
    if (monoMix != MONOMIX_NONE) {
        DownmixToMono(samples, chunkSamples_, monoMix);
        count = chunkSamples_ / 2;
    }
    return beEncodeChunk(stream_, count, samples, output, &outputBytes);
}

uint32_t TLameCoder::EncodeSamples(int16_t* samples, uint32_t count, uint8_t* output,
                                   uint8_t monoMix, uint32_t& outputBytes) {
    count = std::min(count, chunkSamples_);
    if (monoMix != MONOMIX_NONE) {
        DownmixToMono(samples, count, monoMix);
        count /= 2;
    }
    return beEncodeChunk(stream_, count, samples, output, &outputBytes);
}

uint32_t TLameCoder::DeinitStream(uint8_t* output, uint32_t& outputBytes) {
    const uint32_t status = beDeinitStream(stream_, output, &outputBytes);
    if (status == BE_ERR_SUCCESSFUL) {
        vbrTagFrame_.resize(kMaxFrameSize);
        vbrTagFrame_.resize(beGetVBRTagFrame(stream_, vbrTagFrame_.data(), kMaxFrameSize));
    }
    return status;
}

std::vector<uint8_t> TLameCoder::VBRTagFrame() const {
    return vbrTagFrame_;
}

uint32_t TLameCoder::CloseStream() {
    const uint32_t status = beCloseStream(stream_);
    stream_ = 0;
    chunkSamples_ = 0;
    outputBufferSize_ = 0;
    return status;
}

void TLameCoder::DownmixToMono(int16_t* samples, uint32_t chunkSamples, uint8_t monoMix) {
    if (monoMix == MONOMIX_NONE || samples == nullptr) {
        return;
    }
    const uint32_t pairs = chunkSamples / 2;
    for (uint32_t i = 0; i < pairs; ++i) {
        const int16_t left = samples[2 * i];
        const int16_t right = samples[2 * i + 1];
        switch (monoMix) {
        case MONOMIX_LEFT:
            samples[i] = left;
            break;
        case MONOMIX_RIGHT:
            samples[i] = right;
            break;
        default:
            samples[i] = meanRoundedHalfToEven(left, right);
            break;
        }
    }
}
