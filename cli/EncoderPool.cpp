#include "EncoderPool.h"

#include <algorithm>

namespace varrowrip {

EncoderPool::EncoderPool(int32_t encoders, const std::atomic<bool>& stop)
    : stop_(stop) {
    try {
        for (int32_t i = 0; i < std::max(encoders, 1); ++i) {
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

std::future<TEncodingResult> EncoderPool::add(std::shared_ptr<TTrackEncoding> encoding) {
    Queued queued{std::move(encoding), {}};
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
            queued.result.set_value(queued.encoding->run(stop_));
        } catch (...) {
            queued.result.set_exception(std::current_exception());
        }
        // The track's temporary audio goes before room for another is made.
        queued.encoding.reset();
        lock.lock();
        --unfinished_;
        changed_.notify_all();
    }
}

} // namespace varrowrip
