// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/PulseSink.h"

#include "CdRip_dll.h"

#include <algorithm>
#include <pulse/pulseaudio.h>

namespace cdlib {

namespace {

// A short buffer keeps a pause, a seek and the reported position close to
// what the listener hears.
constexpr pa_usec_t kTargetLatency = 250'000;

// The main loop's lock, held for one scope.
class LoopLock final {
public:
    explicit LoopLock(pa_threaded_mainloop* loop)
        : loop_(loop) {
        pa_threaded_mainloop_lock(loop_);
    }
    ~LoopLock() { pa_threaded_mainloop_unlock(loop_); }
    LoopLock(const LoopLock&) = delete;
    LoopLock& operator=(const LoopLock&) = delete;

private:
    pa_threaded_mainloop* loop_;
};

void release(pa_operation* operation) {
    if (operation != nullptr) {
        pa_operation_unref(operation);
    }
}

} // namespace

void PulseSink::notify(void* self) {
    static_cast<PulseSink*>(self)->signal();
}

void PulseSink::signal() {
    {
        const std::lock_guard lock(mutex_);
        ++events_;
    }
    changed_.notify_all();
}

template <typename Check>
bool PulseSink::waitUntil(Check check, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        uint64_t seen = 0;
        {
            const std::lock_guard lock(mutex_);
            seen = events_;
        }
        // The main loop's lock is never taken while holding mutex_: the
        // callbacks take them the other way round.
        Wait answer = Wait::Again;
        {
            const LoopLock lock(loop_);
            answer = check();
        }
        if (answer != Wait::Again) {
            return answer == Wait::Done;
        }
        std::unique_lock lock(mutex_);
        if (!changed_.wait_until(lock, deadline, [&] { return events_ != seen; })) {
            return false;
        }
    }
}

std::unique_ptr<PulseSink> PulseSink::open(std::chrono::milliseconds timeout) {
    std::unique_ptr<PulseSink> sink(new PulseSink());
    sink->deadline_ = std::chrono::steady_clock::now() + timeout;
    sink->loop_ = pa_threaded_mainloop_new();
    if (sink->loop_ == nullptr) {
        return nullptr;
    }
    sink->context_ = pa_context_new(pa_threaded_mainloop_get_api(sink->loop_), "Varrow");
    if (sink->context_ == nullptr) {
        return nullptr;
    }
    pa_context_set_state_callback(
        sink->context_,
        [](pa_context*, void* self) { static_cast<PulseSink*>(self)->contextChanged(); },
        sink.get());
    // A desktop without a sound server stays silent: never start one.
    if (pa_context_connect(sink->context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        pa_threaded_mainloop_start(sink->loop_) < 0) {
        return nullptr;
    }
    return sink;
}

void PulseSink::contextChanged() {
    signal();
    if (pa_context_get_state(context_) != PA_CONTEXT_READY || stream_ != nullptr) {
        return;
    }
    const pa_sample_spec sampleFormat{PA_SAMPLE_S16LE, 44100, 2};
    stream_ = pa_stream_new(context_, "CD playback", &sampleFormat, nullptr);
    if (stream_ == nullptr) {
        streamFailed_ = true;
        return;
    }
    pa_stream_set_state_callback(
        stream_, [](pa_stream*, void* self) { notify(self); }, this);
    pa_stream_set_write_callback(
        stream_, [](pa_stream*, size_t, void* self) { notify(self); }, this);
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<uint32_t>(-1);
    attributes.tlength = static_cast<uint32_t>(pa_usec_to_bytes(kTargetLatency, &sampleFormat));
    attributes.prebuf = static_cast<uint32_t>(-1);
    attributes.minreq = static_cast<uint32_t>(-1);
    attributes.fragsize = static_cast<uint32_t>(-1);
    const auto flags = static_cast<pa_stream_flags_t>(
        PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
    if (pa_stream_connect_playback(stream_, nullptr, &attributes, flags, nullptr, nullptr) < 0) {
        streamFailed_ = true;
    }
}

AudioSink::State PulseSink::state() {
    const LoopLock lock(loop_);
    if (stream_ != nullptr && pa_stream_get_state(stream_) == PA_STREAM_READY) {
        return State::Ready;
    }
    const bool broken = streamFailed_ || !PA_CONTEXT_IS_GOOD(pa_context_get_state(context_)) ||
                        (stream_ != nullptr && !PA_STREAM_IS_GOOD(pa_stream_get_state(stream_)));
    return broken || std::chrono::steady_clock::now() > deadline_ ? State::Failed
                                                                  : State::Connecting;
}

PulseSink::~PulseSink() {
    if (loop_ == nullptr) {
        return;
    }
    // The stream and the context go under the main loop's lock, before the
    // loop's thread ends; the loop itself last.
    {
        const LoopLock lock(loop_);
        if (stream_ != nullptr) {
            pa_stream_set_state_callback(stream_, nullptr, nullptr);
            pa_stream_set_write_callback(stream_, nullptr, nullptr);
            pa_stream_disconnect(stream_);
            pa_stream_unref(stream_);
        }
        if (context_ != nullptr) {
            pa_context_set_state_callback(context_, nullptr, nullptr);
            pa_context_disconnect(context_);
            pa_context_unref(context_);
        }
    }
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
}

std::optional<size_t> PulseSink::write(std::span<const uint8_t> pcm,
                                       std::chrono::milliseconds wait) {
    std::optional<size_t> written;
    pa_stream* stream = nullptr;
    {
        const LoopLock lock(loop_);
        stream = stream_;
    }
    if (stream == nullptr) {
        return std::nullopt;
    }
    const bool done = waitUntil(
        [&] {
            if (pa_stream_get_state(stream) != PA_STREAM_READY) {
                return Wait::Failed;
            }
            const size_t room = pa_stream_writable_size(stream);
            if (room == static_cast<size_t>(-1)) {
                return Wait::Failed;
            }
            size_t bytes = std::min(room, pcm.size());
            bytes -= bytes % 4; // whole frames
            if (bytes == 0 && !pcm.empty()) {
                return Wait::Again;
            }
            if (bytes > 0 &&
                pa_stream_write(stream, pcm.data(), bytes, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
                return Wait::Failed;
            }
            written = bytes;
            return Wait::Done;
        },
        wait);
    if (done) {
        return written;
    }
    // A wait that ran out is no failure; a stream that broke is.
    const LoopLock lock(loop_);
    if (pa_stream_get_state(stream) != PA_STREAM_READY) {
        return std::nullopt;
    }
    return size_t{0};
}

void PulseSink::cork(bool corked) {
    const LoopLock lock(loop_);
    if (stream_ != nullptr) {
        release(pa_stream_cork(stream_, corked ? 1 : 0, nullptr, nullptr));
    }
}

void PulseSink::drop() {
    const LoopLock lock(loop_);
    if (stream_ != nullptr) {
        release(pa_stream_flush(stream_, nullptr, nullptr));
    }
}

void PulseSink::finish() {
    const LoopLock lock(loop_);
    if (stream_ != nullptr) {
        release(pa_stream_trigger(stream_, nullptr, nullptr));
    }
}

std::optional<std::chrono::microseconds> PulseSink::latency() {
    const LoopLock lock(loop_);
    pa_usec_t usec = 0;
    int negative = 0;
    if (stream_ == nullptr || pa_stream_get_latency(stream_, &usec, &negative) < 0) {
        return std::nullopt;
    }
    return std::chrono::microseconds(negative != 0 ? 0 : static_cast<int64_t>(usec));
}

} // namespace cdlib
