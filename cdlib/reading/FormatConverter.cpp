// SPDX-License-Identifier: GPL-3.0-or-later
#include "reading/FormatConverter.h"

#include <algorithm>
#include <soxr.h>
#include <stdexcept>
#include <string>

namespace cdlib {

namespace {

constexpr int kCdRate = 44100;

int16_t sampleAt(const uint8_t* bytes) {
    return static_cast<int16_t>(static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)));
}

void appendSamples(const int16_t* samples, size_t count, std::vector<uint8_t>& out) {
    const size_t start = out.size();
    out.resize(start + count * 2);
    for (size_t i = 0; i < count; ++i) {
        const auto value = static_cast<uint16_t>(samples[i]);
        out[start + 2 * i] = static_cast<uint8_t>(value & 0xff);
        out[start + 2 * i + 1] = static_cast<uint8_t>(value >> 8);
    }
}

} // namespace

bool outputLayoutOf(int32_t format, OutputLayout& layout) {
    if (format < STEREO44100 || format > MONO11025) {
        return false;
    }
    const TOutputFormatLayout& known = OUTPUT_FORMAT_LAYOUTS[format];
    layout = {known.channels, known.sampleRate};
    return true;
}

int16_t monoMean(int16_t left, int16_t right) {
    const int sum = left + right;
    int mean = sum >> 1; // floor
    if ((sum & 1) != 0 && (mean & 1) != 0) {
        ++mean;
    }
    return static_cast<int16_t>(mean);
}

void FormatConverter::SoxrDeleter::operator()(soxr* resampler) const {
    soxr_delete(resampler);
}

FormatConverter::FormatConverter(OutputLayout layout)
    : layout_(layout) {
    restart();
}

FormatConverter::~FormatConverter() = default;

void FormatConverter::restart() {
    framesIn_ = 0;
    framesOut_ = 0;
    resampler_.reset();
    if (layout_.sampleRate == kCdRate) {
        return;
    }
    soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    io.flags |= SOXR_NO_DITHER; // the same input must always give the same bytes
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_error_t error = nullptr;
    resampler_.reset(soxr_create(kCdRate, layout_.sampleRate,
                                 static_cast<unsigned>(layout_.channels), &error, &io, &quality,
                                 nullptr));
    if (error != nullptr || !resampler_) {
        throw std::runtime_error(std::string("resampler: ") + (error ? error : "not created"));
    }
}

void FormatConverter::passedThrough(size_t cdBytes) {
    framesIn_ += cdBytes / 4;
    framesOut_ += cdBytes / 4;
}

void FormatConverter::convert(std::span<const uint8_t> cdAudio, std::vector<uint8_t>& out) {
    const size_t frames = cdAudio.size() / 4;
    if (passesThrough()) {
        out.insert(out.end(), cdAudio.begin(),
                   cdAudio.begin() + static_cast<std::ptrdiff_t>(4 * frames));
        passedThrough(4 * frames);
        return;
    }
    framesIn_ += frames;
    samples_.resize(frames * static_cast<size_t>(layout_.channels));
    const uint8_t* bytes = cdAudio.data();
    if (layout_.channels == 1) {
        for (size_t i = 0; i < frames; ++i) {
            samples_[i] = monoMean(sampleAt(bytes + 4 * i), sampleAt(bytes + 4 * i + 2));
        }
    } else {
        for (size_t i = 0; i < 2 * frames; ++i) {
            samples_[i] = sampleAt(bytes + 2 * i);
        }
    }
    if (!resampler_) {
        appendSamples(samples_.data(), samples_.size(), out);
        framesOut_ += frames;
        return;
    }
    resample(samples_.data(), frames, out);
}

void FormatConverter::resample(const int16_t* input, size_t frames, std::vector<uint8_t>& out) {
    const auto channels = static_cast<size_t>(layout_.channels);
    // Room for the frames this input gives plus whatever the filter still holds.
    const size_t room = frames * static_cast<size_t>(layout_.sampleRate) / kCdRate + 1024;
    std::vector<int16_t> produced(room * channels);
    size_t offered = 0;
    bool draining = input == nullptr;
    for (;;) {
        size_t taken = 0;
        size_t made = 0;
        const soxr_error_t error =
            soxr_process(resampler_.get(), draining ? nullptr : input + offered * channels,
                         draining ? 0 : frames - offered, &taken, produced.data(), room, &made);
        if (error != nullptr) {
            throw std::runtime_error(std::string("resampler: ") + error);
        }
        offered += taken;
        appendSamples(produced.data(), made * channels, out);
        framesOut_ += made;
        if (draining ? made == 0 : (offered >= frames && made < room)) {
            return;
        }
    }
}

void FormatConverter::finish(std::vector<uint8_t>& out) {
    const uint64_t expected = framesIn_ * static_cast<uint64_t>(layout_.sampleRate) / kCdRate;
    const size_t frameBytes = static_cast<size_t>(layout_.bytesPerFrame());
    if (resampler_) {
        resample(nullptr, 0, out);
    }
    // The filter may hand out a frame more or less than the exact ratio;
    // trim or pad so that N sectors always give N times bytesPerSector.
    if (framesOut_ > expected) {
        const uint64_t surplus = std::min<uint64_t>(framesOut_ - expected, out.size() / frameBytes);
        out.resize(out.size() - static_cast<size_t>(surplus) * frameBytes);
        framesOut_ -= surplus;
    } else if (framesOut_ < expected) {
        out.resize(out.size() + static_cast<size_t>(expected - framesOut_) * frameBytes, 0);
        framesOut_ = expected;
    }
}

} // namespace cdlib
