// The encoder threads of one rip: each encoding queued runs on the next free
// thread, in the order queued, and its result comes back through a future.
#pragma once

#include "TrackEncoding.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace varrowrip {

class EncoderPool final {
public:
    // `encoders` threads (at least one); `stop` is handed to every encoding.
    EncoderPool(int32_t encoders, const std::atomic<bool>& stop);
    // Runs what is still queued (each returns at once when `stop` is set)
    // and joins the threads.
    ~EncoderPool();
    EncoderPool(const EncoderPool&) = delete;
    EncoderPool& operator=(const EncoderPool&) = delete;

    std::future<TEncodingResult> add(std::shared_ptr<TTrackEncoding> encoding);
    // Waits at most `timeout` until fewer than `limit` encodings are queued
    // or running; true when they are.
    bool waitUntilFewer(int32_t limit, std::chrono::milliseconds timeout);

private:
    struct Queued {
        std::shared_ptr<TTrackEncoding> encoding;
        std::promise<TEncodingResult> result;
    };

    void work();
    void shutDown();

    const std::atomic<bool>& stop_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Queued> queue_;
    int32_t unfinished_ = 0;
    bool closing_ = false;
    std::vector<std::thread> threads_;
};

} // namespace varrowrip
