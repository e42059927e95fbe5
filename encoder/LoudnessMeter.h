// SPDX-License-Identifier: GPL-3.0-or-later
// The loudness of one track, measured on its samples as they are read, for
// ReplayGain 2.0: the integrated loudness of EBU R 128 (libebur128) and the
// sample peak. Mono audio is measured as it plays, on both speakers (dual
// mono), so that a mono rip gets the gain of the same audio in stereo.
//
// Used by one thread at a time; it may move between threads.
#pragma once

#include "FrameAssembler.h"
#include "ReplayGain.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

class TLoudnessMeter final {
public:
    // 16-bit PCM of 1 or 2 channels at `sampleRate`. Raises EEncoderError
    // when libebur128 refuses the format.
    TLoudnessMeter(uint32_t channels, uint32_t sampleRate);
    ~TLoudnessMeter();
    TLoudnessMeter(TLoudnessMeter&&) noexcept;
    TLoudnessMeter& operator=(TLoudnessMeter&&) noexcept;

    // Interleaved little-endian PCM in pieces of any size; a sample frame
    // split between two calls is joined.
    void add(const uint8_t* pcm, std::size_t bytes);

    // Integrated loudness in LUFS; minus infinity when nothing was loud
    // enough to measure.
    double loudness() const;
    double peak() const;
    TReplayGain replayGain() const;
    uint64_t frames() const { return frames_; }

    // The album's values over these tracks' samples together: the gated
    // loudness of all their blocks at once, and the largest peak.
    static TReplayGain combined(std::span<const TLoudnessMeter* const> tracks);

private:
    class State;
    std::unique_ptr<State> state_;
    TFrameAssembler assembler_;
    std::vector<int16_t> batch_;
    uint64_t frames_ = 0;
};
