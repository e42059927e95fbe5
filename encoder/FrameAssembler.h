// SPDX-License-Identifier: GPL-3.0-or-later
// Cuts PCM that arrives in pieces of any size (as the CD library delivers
// it, or a test feeds it) into whole sample frames; a frame split between
// two pieces is joined in a small buffer of its own.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

class TFrameAssembler final {
public:
    // Frames of up to eight bytes: 16-bit samples of one to four channels.
    static constexpr std::size_t MOST_FRAME_BYTES = 8;

    explicit TFrameAssembler(std::size_t frameBytes)
        : frameBytes_(std::clamp<std::size_t>(frameBytes, 1, MOST_FRAME_BYTES)) {}

    // Hands the whole frames of the piece, in order, to `whole(bytes,
    // frames)`: first a frame joined with the end of the last piece, then
    // the frames within this one; what is left is kept for the next piece.
    template <typename Whole> void feed(const uint8_t* pcm, std::size_t bytes, Whole&& whole) {
        if (carried_ > 0) {
            const std::size_t joined = std::min(bytes, frameBytes_ - carried_);
            std::memcpy(carry_.data() + carried_, pcm, joined);
            carried_ += joined;
            pcm += joined;
            bytes -= joined;
            if (carried_ < frameBytes_) {
                return;
            }
            carried_ = 0;
            whole(carry_.data(), std::size_t{1});
        }
        const std::size_t frames = bytes / frameBytes_;
        if (frames > 0) {
            whole(pcm, frames);
        }
        carried_ = bytes - frames * frameBytes_;
        std::memcpy(carry_.data(), pcm + frames * frameBytes_, carried_);
    }

    // Bytes of a frame begun and not yet completed.
    std::size_t carried() const { return carried_; }

private:
    std::size_t frameBytes_;
    std::array<uint8_t, MOST_FRAME_BYTES> carry_{};
    std::size_t carried_ = 0;
};
