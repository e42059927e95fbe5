// SPDX-License-Identifier: GPL-3.0-or-later
// The encoder threads of one rip: each encoding queued runs on the next free
// thread, in the order queued, and its result comes back through a future.
// A track is in flight from the moment its reading begins (it is queued
// then) until its encoding has ended; the pool holds at most one track
// being read beside one for each encoder.
#pragma once

#include "TrackEncoding.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

class EncoderPool final {
public:
    // An encoding: runs until its audio has ended or `stop` is set.
    using Job = std::function<TEncodingResult(const std::atomic<bool>& stop)>;

    // `encoders` threads (at least one); `stop` is handed to every encoding.
    EncoderPool(int32_t encoders, const std::atomic<bool>& stop);
    // Runs what is still queued (each returns at once when `stop` is set)
    // and joins the threads.
    ~EncoderPool();
    EncoderPool(const EncoderPool&) = delete;
    EncoderPool& operator=(const EncoderPool&) = delete;

    // The most tracks in flight at once: one being read beside one for
    // each encoder.
    int32_t capacity() const { return encoders_ + 1; }
    // Tracks queued or being encoded.
    int32_t inFlight();

    std::future<TEncodingResult> add(Job job);
    // Waits at most `timeout` until fewer than `limit` tracks are in
    // flight; true when they are.
    bool waitUntilFewer(int32_t limit, std::chrono::milliseconds timeout);

private:
    struct Queued {
        Job job;
        std::promise<TEncodingResult> result;
    };

    void work();
    void shutDown();

    const std::atomic<bool>& stop_;
    const int32_t encoders_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Queued> queue_;
    int32_t unfinished_ = 0;
    bool closing_ = false;
    std::vector<std::thread> threads_;
};
