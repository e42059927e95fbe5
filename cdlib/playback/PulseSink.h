// The desktop's sound server as an audio sink, through libpulse (PulseAudio,
// or PipeWire's PulseAudio server). libpulse's threaded main loop runs the
// connection on a thread of its own, which the simple API cannot cork and
// cannot wait on with a time limit; every wait here has one.
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
    // A playback stream on the default server (PULSE_SERVER, or the user's
    // or system's socket). Never starts a server. Null when none answers
    // within `timeout`.
    static std::unique_ptr<PulseSink> connect(std::chrono::milliseconds timeout);
    ~PulseSink() override;

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

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;

    std::mutex mutex_;
    std::condition_variable changed_;
    uint64_t events_ = 0;
};

} // namespace cdlib
