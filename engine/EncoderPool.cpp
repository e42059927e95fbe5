// SPDX-License-Identifier: GPL-3.0-or-later
#include "EncoderPool.h"

#include <algorithm>

EncoderPool::EncoderPool(int32_t encoders, const std::atomic<bool>& stop)
    : stop_(stop)
    , encoders_(std::max(encoders, 1)) {
    try {
        for (int32_t i = 0; i < encoders_; ++i) {
            threads_.emplace_back([this] { work(); });
        }
    } catch (...) {
        shutDown();
        throw;
    }
}

EncoderPool::~EncoderPool() {
    shutDown();
}

void EncoderPool::shutDown() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
    }
    changed_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
    threads_.clear();
}

int32_t EncoderPool::inFlight() {
    std::lock_guard lock(mutex_);
    return unfinished_;
}

std::future<TEncodingResult> EncoderPool::add(Job job) {
    Queued queued{std::move(job), {}};
    std::future<TEncodingResult> result = queued.result.get_future();
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(queued));
        ++unfinished_;
    }
    changed_.notify_all();
    return result;
}

bool EncoderPool::waitUntilFewer(int32_t limit, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return unfinished_ < limit; });
}

void EncoderPool::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return closing_ || !queue_.empty(); });
        if (queue_.empty()) {
            return;
        }
        Queued queued = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        try {
            queued.result.set_value(queued.job(stop_));
        } catch (...) {
            queued.result.set_exception(std::current_exception());
        }
        // The track's temporary audio goes before room for another is made.
        queued.job = nullptr;
        lock.lock();
        --unfinished_;
        changed_.notify_all();
    }
}
