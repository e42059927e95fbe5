// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop's sound server as an audio sink, through libpulse (PulseAudio,
// or PipeWire's PulseAudio server). libpulse's threaded main loop runs the
// connection on a thread of its own, which the simple API cannot cork and
// cannot wait on with a time limit; nothing here waits for the server but a
// write, for as long as its caller allows.
#pragma once

#include "playback/AudioSink.h"

#include <condition_variable>
#include <memory>
#include <mutex>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;

namespace cdlib {

class PulseSink final : public AudioSink {
public:
    // Starts connecting a playback stream to the default server
    // (PULSE_SERVER, or the user's or system's socket) and returns at once;
    // the connection and the stream are set up on libpulse's own thread.
    // Never starts a server. The sink fails when they are not ready within
    // `timeout`. Null when libpulse cannot even start.
    static std::unique_ptr<PulseSink> open(std::chrono::milliseconds timeout);
    ~PulseSink() override;

    State state() override;
    std::optional<size_t> write(std::span<const uint8_t> pcm,
                                std::chrono::milliseconds wait) override;
    void cork(bool corked) override;
    void drop() override;
    void finish() override;
    std::optional<std::chrono::microseconds> latency() override;

private:
    PulseSink() = default;
    enum class Wait { Again, Done, Failed };
    // Asks `check` (under the main loop's lock) until it answers Done or
    // Failed, waking on every event of the connection; false on failure or
    // when `timeout` passes.
    template <typename Check> bool waitUntil(Check check, std::chrono::milliseconds timeout);
    // Called on the main loop's thread by every callback.
    void signal();
    static void notify(void* self);
    // The connection is up: the stream is made and connected (main loop's
    // thread, its lock held).
    void contextChanged();

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    // Made once the connection is up; read under the main loop's lock.
    pa_stream* stream_ = nullptr;
    bool streamFailed_ = false;
    std::chrono::steady_clock::time_point deadline_;

    std::mutex mutex_;
    std::condition_variable changed_;
    uint64_t events_ = 0;
};

} // namespace cdlib
