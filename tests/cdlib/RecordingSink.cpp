// SPDX-License-Identifier: GPL-3.0-or-later
#include "RecordingSink.h"

#include "CdRip_dll.h"

#include <algorithm>
#include <thread>

namespace cdlib::testing {

void SinkLog::allow(int32_t sectors) {
    {
        const std::lock_guard lock(mutex_);
        room_ += static_cast<uint64_t>(sectors) * CD_SECTOR_BYTES;
    }
    changed_.notify_all();
}

void SinkLog::setLatency(std::chrono::microseconds latency) {
    const std::lock_guard lock(mutex_);
    latency_ = latency;
}

void SinkLog::breakSink() {
    {
        const std::lock_guard lock(mutex_);
        broken_ = true;
    }
    changed_.notify_all();
}

void SinkLog::setState(AudioSink::State state) {
    const std::lock_guard lock(mutex_);
    state_ = state;
}

AudioSink::State SinkLog::state() const {
    const std::lock_guard lock(mutex_);
    return state_;
}

std::vector<uint8_t> SinkLog::sinceDrop() const {
    const std::lock_guard lock(mutex_);
    return segments_.back();
}

size_t SinkLog::sectorsSinceDrop() const {
    const std::lock_guard lock(mutex_);
    return segments_.back().size() / CD_SECTOR_BYTES;
}

std::vector<uint8_t> SinkLog::everything() const {
    const std::lock_guard lock(mutex_);
    std::vector<uint8_t> all;
    for (const auto& segment : segments_) {
        all.insert(all.end(), segment.begin(), segment.end());
    }
    return all;
}

std::vector<std::string> SinkLog::events() const {
    const std::lock_guard lock(mutex_);
    return events_;
}

int SinkLog::count(const std::string& event) const {
    const std::lock_guard lock(mutex_);
    return static_cast<int>(std::count(events_.begin(), events_.end(), event));
}

int SinkLog::sinksMade() const {
    const std::lock_guard lock(mutex_);
    return sinksMade_;
}

std::optional<size_t> SinkLog::take(std::span<const uint8_t> pcm, std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, wait, [&] { return room_ > 0 || broken_; });
    if (broken_) {
        return std::nullopt;
    }
    auto bytes = static_cast<size_t>(std::min<uint64_t>(room_, pcm.size()));
    bytes -= bytes % 4;
    segments_.back().insert(segments_.back().end(), pcm.begin(),
                            pcm.begin() + static_cast<std::ptrdiff_t>(bytes));
    room_ -= bytes;
    lock.unlock();
    changed_.notify_all();
    return bytes;
}

void SinkLog::note(const std::string& event) {
    {
        const std::lock_guard lock(mutex_);
        events_.push_back(event);
    }
    changed_.notify_all();
}

void SinkLog::dropped() {
    {
        const std::lock_guard lock(mutex_);
        events_.push_back("drop");
        if (!segments_.back().empty()) {
            segments_.emplace_back();
        }
    }
    changed_.notify_all();
}

std::chrono::microseconds SinkLog::latency() const {
    const std::lock_guard lock(mutex_);
    return latency_;
}

void SinkLog::made() {
    const std::lock_guard lock(mutex_);
    ++sinksMade_;
}

RecordingSink::RecordingSink(std::shared_ptr<SinkLog> log)
    : log_(std::move(log)) {
    log_->made();
}

RecordingSink::~RecordingSink() {
    log_->note("closed");
}

AudioSink::State RecordingSink::state() {
    return log_->state();
}

std::optional<size_t> RecordingSink::write(std::span<const uint8_t> pcm,
                                           std::chrono::milliseconds wait) {
    return log_->take(pcm, wait);
}

void RecordingSink::cork(bool corked) {
    log_->note(corked ? "cork" : "uncork");
}

void RecordingSink::drop() {
    log_->dropped();
}

void RecordingSink::finish() {
    log_->note("finish");
}

std::optional<std::chrono::microseconds> RecordingSink::latency() {
    return log_->latency();
}

bool eventually(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

AudioSinkFactory recordingSinks(std::shared_ptr<SinkLog> log) {
    return [log] {
        return std::make_unique<RecordingSink>(log);
    };
}

} // namespace cdlib::testing
