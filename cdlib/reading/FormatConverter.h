// SPDX-License-Identifier: GPL-3.0-or-later
// Turns CD audio (16-bit stereo at 44100 Hz) into one of the six output
// formats: mono is the mean of the two channels, 22050 and 11025 Hz come from
// a streaming libsoxr resampler whose state runs across chunks, so chunk
// boundaries leave no trace in the audio.
#pragma once

#include "CdRip_dll.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

struct soxr;

namespace cdlib {

struct OutputLayout {
    int channels = 2;
    int sampleRate = 44100;

    // Bytes of this format that one CD sector becomes.
    int32_t bytesPerSector() const {
        return CD_SECTOR_BYTES / 4 * channels * 2 * sampleRate / 44100;
    }
    int32_t bytesPerFrame() const { return channels * 2; }
};

// The layout of a format ordinal; false for an ordinal outside the six.
bool outputLayoutOf(int32_t format, OutputLayout& layout);

// Mean of two samples, rounded to the nearest integer, ties to even.
int16_t monoMean(int16_t left, int16_t right);

class FormatConverter final {
public:
    explicit FormatConverter(OutputLayout layout);
    ~FormatConverter();
    FormatConverter(const FormatConverter&) = delete;
    FormatConverter& operator=(const FormatConverter&) = delete;

    const OutputLayout& layout() const { return layout_; }
    // CD audio is the output format already, byte for byte: it may be read
    // straight into the output and counted with passedThrough().
    bool passesThrough() const { return layout_.channels == 2 && !resampler_; }
    void passedThrough(size_t cdBytes);

    // Converts whole stereo frames of CD audio and appends the result.
    void convert(std::span<const uint8_t> cdAudio, std::vector<uint8_t>& out);
    // Ends the stream: appends the resampler's tail and makes the total
    // length exactly what the input length gives in this format.
    void finish(std::vector<uint8_t>& out);
    // Forgets the audio so far, as after a gap in the input.
    void restart();

private:
    struct SoxrDeleter {
        void operator()(soxr* resampler) const;
    };

    void resample(const int16_t* input, size_t frames, std::vector<uint8_t>& out);

    OutputLayout layout_;
    std::unique_ptr<soxr, SoxrDeleter> resampler_;
    // The raw audio as 16-bit samples in the output channel layout.
    std::vector<int16_t> samples_;
    uint64_t framesIn_ = 0;
    uint64_t framesOut_ = 0;
};

} // namespace cdlib
