// SPDX-License-Identifier: GPL-3.0-or-later
#include "LoudnessMeter.h"

#include "EncoderError.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ebur128.h>
#include <new>
#include <string>

namespace {

constexpr std::size_t kBatchFrames = 4096;
constexpr std::size_t kBytesPerSample = 2;

} // namespace

class TLoudnessMeter::State {
public:
    State(uint32_t channels, uint32_t sampleRate)
        : handle_(ebur128_init(channels, sampleRate, EBUR128_MODE_I | EBUR128_MODE_SAMPLE_PEAK)) {
        if (handle_ == nullptr) {
            throw EEncoderError("libebur128 cannot measure " + std::to_string(channels) +
                                " channels at " + std::to_string(sampleRate) + " Hz");
        }
        if (channels == 1) {
            ebur128_set_channel(handle_, 0, EBUR128_DUAL_MONO);
        }
    }
    ~State() { ebur128_destroy(&handle_); }
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    ebur128_state* handle() const { return handle_; }

private:
    ebur128_state* handle_;
};

TLoudnessMeter::TLoudnessMeter(uint32_t channels, uint32_t sampleRate)
    : state_(std::make_unique<State>(channels, sampleRate))
    , assembler_(channels * kBytesPerSample)
    , batch_(kBatchFrames * channels) {}

TLoudnessMeter::~TLoudnessMeter() = default;
TLoudnessMeter::TLoudnessMeter(TLoudnessMeter&&) noexcept = default;
TLoudnessMeter& TLoudnessMeter::operator=(TLoudnessMeter&&) noexcept = default;

void TLoudnessMeter::add(const uint8_t* pcm, std::size_t bytes) {
    ebur128_state* handle = state_->handle();
    const std::size_t frameBytes = handle->channels * kBytesPerSample;
    assembler_.feed(pcm, bytes, [&](const uint8_t* whole, std::size_t frames) {
        while (frames > 0) {
            // Copied into aligned samples; the host is little-endian, as
            // the PCM is.
            const std::size_t now = std::min(frames, kBatchFrames);
            std::memcpy(batch_.data(), whole, now * frameBytes);
            if (ebur128_add_frames_short(handle, batch_.data(), now) != EBUR128_SUCCESS) {
                throw std::bad_alloc();
            }
            frames_ += now;
            whole += now * frameBytes;
            frames -= now;
        }
    });
}

double TLoudnessMeter::loudness() const {
    double lufs = -HUGE_VAL;
    ebur128_loudness_global(state_->handle(), &lufs);
    return lufs;
}

double TLoudnessMeter::peak() const {
    double peak = 0;
    for (unsigned channel = 0; channel < state_->handle()->channels; ++channel) {
        double channelPeak = 0;
        ebur128_sample_peak(state_->handle(), channel, &channelPeak);
        peak = std::max(peak, channelPeak);
    }
    return peak;
}

TReplayGain TLoudnessMeter::replayGain() const {
    return replayGainOf(loudness(), peak());
}

TReplayGain TLoudnessMeter::combined(std::span<const TLoudnessMeter* const> tracks) {
    std::vector<ebur128_state*> handles;
    double peak = 0;
    for (const TLoudnessMeter* track : tracks) {
        handles.push_back(track->state_->handle());
        peak = std::max(peak, track->peak());
    }
    double lufs = -HUGE_VAL;
    if (!handles.empty()) {
        ebur128_loudness_global_multiple(handles.data(), handles.size(), &lufs);
    }
    return replayGainOf(lufs, peak);
}
