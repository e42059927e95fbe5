// SPDX-License-Identifier: GPL-3.0-or-later
// Where digital playback sends its sound: 16-bit little-endian stereo PCM at
// 44100 Hz, as read from the disc. The desktop's sound server in production
// (PulseSink), a recorder in the tests.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>

namespace cdlib {

class AudioSink {
public:
    AudioSink() = default;
    AudioSink(const AudioSink&) = delete;
    AudioSink& operator=(const AudioSink&) = delete;
    virtual ~AudioSink() = default;

    // A sink may still be connecting when it is made, so that nobody waits
    // for the sound server: it takes sound once it is Ready, and one that
    // Failed never will. Asked on the player's thread only.
    enum class State { Connecting, Ready, Failed };
    virtual State state() { return State::Ready; }

    // Queues as much of `pcm` as there is room for, waiting at most `wait`
    // for room. Returns the bytes taken (whole frames), or nothing when the
    // sink cannot play any more.
    virtual std::optional<size_t> write(std::span<const uint8_t> pcm,
                                        std::chrono::milliseconds wait) = 0;
    // A corked sink holds what it has queued and plays on when uncorked.
    virtual void cork(bool corked) = 0;
    // Throws away what is queued and not yet heard.
    virtual void drop() = 0;
    // No more data follows for now: play what is queued even if it is less
    // than the sink waits for before it starts.
    virtual void finish() = 0;
    // How long until the last byte written is heard; nothing while the sink
    // does not know yet. May be asked from any thread.
    virtual std::optional<std::chrono::microseconds> latency() = 0;
};

// Makes the sink of a new player, on the player's thread and without
// waiting; null when there is no sound server to ask.
using AudioSinkFactory = std::function<std::unique_ptr<AudioSink>()>;

} // namespace cdlib
