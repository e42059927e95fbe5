// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/DigitalPlayer.h"

#include "CdRip_dll.h"

#include <algorithm>
#include <utility>

namespace cdlib {

namespace {

constexpr uint64_t kSectorBytes = CD_SECTOR_BYTES;
constexpr uint64_t kBytesPerSecond = kSectorBytes * CD_SECTORS_PER_SECOND;
constexpr uint64_t kFrameBytes = 4;

// How long the thread waits for the sink at a time, and so how long a
// request can wait for the thread.
constexpr std::chrono::milliseconds kWriteWait{20};
// How often an idle or draining thread looks again without being woken.
constexpr std::chrono::milliseconds kIdleWait{20};
// How long the end of a section may go without the heard position moving.
constexpr std::chrono::seconds kDrainStall{2};

uint64_t bytesIn(std::chrono::microseconds duration) {
    return static_cast<uint64_t>(std::max<int64_t>(duration.count(), 0)) * kBytesPerSecond /
           1'000'000;
}

} // namespace

DigitalPlayer::DigitalPlayer(std::unique_ptr<PlaySource> source, AudioSinkFactory sinks)
    : source_(std::move(source))
    , sinks_(std::move(sinks))
    , buffer_(static_cast<size_t>(kSectorsPerWrite) * kSectorBytes)
    , thread_([this] { run(); }) {}

DigitalPlayer::~DigitalPlayer() {
    {
        const std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void DigitalPlayer::play(int32_t firstSector, int32_t lastSector) {
    {
        const std::lock_guard lock(mutex_);
        ++generation_;
        from_ = firstSector;
        to_ = lastSector;
        heard_ = firstSector;
        active_ = true;
        paused_ = false;
    }
    wake_.notify_all();
}

bool DigitalPlayer::pause(bool paused) {
    {
        std::unique_lock lock(mutex_);
        if (!active_) {
            return false;
        }
        heard_ = heardSector(lock);
        paused_ = paused;
    }
    wake_.notify_all();
    return true;
}

void DigitalPlayer::stop() {
    {
        std::unique_lock lock(mutex_);
        if (active_) {
            heard_ = heardSector(lock);
        }
        ++generation_;
        active_ = false;
        paused_ = false;
    }
    wake_.notify_all();
}

bool DigitalPlayer::playing() {
    const std::lock_guard lock(mutex_);
    return active_;
}

bool DigitalPlayer::paused() {
    const std::lock_guard lock(mutex_);
    return active_ && paused_;
}

int32_t DigitalPlayer::position() {
    std::unique_lock lock(mutex_);
    if (active_) {
        heard_ = heardSector(lock);
    }
    return heard_;
}

void DigitalPlayer::setPosition(int32_t sector) {
    const std::lock_guard lock(mutex_);
    if (!active_) {
        heard_ = sector;
    }
}

int32_t DigitalPlayer::sectionEnd() {
    const std::lock_guard lock(mutex_);
    return to_;
}

bool DigitalPlayer::withoutSoundServer() {
    const std::lock_guard lock(mutex_);
    return withoutServer_;
}

int32_t DigitalPlayer::heardSector(std::unique_lock<std::mutex>& /*lock*/) {
    if (appliedGeneration_ != generation_ || !sink_) {
        return heard_; // the section has not started, or no sink is settled yet
    }
    // Until the sink can tell, everything written counts as still queued.
    const auto latency = sink_->latency();
    const uint64_t queued = latency ? std::min(bytesIn(*latency), written_) : written_;
    const auto heard = static_cast<int64_t>((written_ - queued) / kSectorBytes);
    const int32_t sector =
        static_cast<int32_t>(std::min<int64_t>(int64_t{from_} + heard, int64_t{to_}));
    // A write that has reached the sink but not yet been counted would make
    // the position step back for a moment.
    return std::max(sector, heard_);
}

void DigitalPlayer::run() {
    std::unique_ptr<AudioSink> connecting = sinks_();
    const auto started = Clock::now();
    std::unique_lock lock(mutex_);
    withoutServer_ = !connecting;
    while (!quit_) {
        if (appliedGeneration_ != generation_) {
            const uint64_t generation = generation_;
            // A sink that was given nothing of the section before holds
            // nothing to throw away.
            if (sink_ && written_ > 0) {
                lock.unlock();
                sink_->drop();
                lock.lock();
            }
            appliedGeneration_ = generation;
            written_ = 0;
            next_ = from_;
            pendingFrom_ = pendingTo_ = 0;
            finished_ = false;
            continue;
        }
        if (connecting) {
            lock.unlock();
            const AudioSink::State state = connecting->state();
            if (state == AudioSink::State::Failed) {
                connecting.reset();
            }
            lock.lock();
            if (state == AudioSink::State::Ready) {
                adopt(std::move(connecting), lock);
                continue;
            }
            withoutServer_ = !connecting;
        }
        if (!sink_) {
            if (connecting && Clock::now() - started < kConnectGrace) {
                wake_.wait_for(lock, kIdleWait / 4);
                continue;
            }
            sink_ = std::make_unique<ClockSink>();
            corked_ = false;
            continue;
        }
        feed(lock);
    }
    // The sink goes on this thread too: nothing queued of the section may
    // play on after the player is gone.
    std::unique_ptr<AudioSink> sink = std::move(sink_);
    lock.unlock();
    if (sink) {
        sink->drop();
    }
}

void DigitalPlayer::adopt(std::unique_ptr<AudioSink> ready, std::unique_lock<std::mutex>& lock) {
    if (sink_ && active_) {
        // The sound starts at the sector the clock has got to.
        heard_ = heardSector(lock);
        next_ = heard_;
        written_ = static_cast<uint64_t>(heard_ - from_) * kSectorBytes;
        pendingFrom_ = pendingTo_ = 0;
        finished_ = false;
    }
    std::unique_ptr<AudioSink> clock = std::exchange(sink_, std::move(ready));
    corked_ = false;
    withoutServer_ = false;
    lock.unlock();
    if (clock) {
        clock->drop();
        clock.reset();
    }
    lock.lock();
}

void DigitalPlayer::feed(std::unique_lock<std::mutex>& lock) {
    if (paused_ != corked_) {
        const bool cork = paused_;
        lock.unlock();
        sink_->cork(cork);
        lock.lock();
        corked_ = cork;
        lastProgress_ = Clock::now();
        return;
    }
    if (!active_ || paused_) {
        wake_.wait_for(lock, kIdleWait * 5);
        return;
    }
    if (pendingFrom_ == pendingTo_ && next_ <= to_) {
        const int32_t first = next_;
        const int32_t count = std::min(kSectorsPerWrite, to_ - next_ + 1);
        const auto bytes = static_cast<size_t>(count) * kSectorBytes;
        lock.unlock();
        const std::span<uint8_t> target(buffer_.data(), bytes);
        if (!source_->read(first, count, target)) {
            std::fill(target.begin(), target.end(), uint8_t{0});
        }
        lock.lock();
        if (appliedGeneration_ == generation_) {
            next_ = first + count;
            pendingFrom_ = 0;
            pendingTo_ = bytes;
        }
        return;
    }
    if (pendingFrom_ != pendingTo_) {
        const std::span<const uint8_t> pcm(buffer_.data() + pendingFrom_,
                                           pendingTo_ - pendingFrom_);
        lock.unlock();
        const auto taken = sink_->write(pcm, kWriteWait);
        lock.lock();
        if (!taken) {
            // The sound server went away: the section goes on, silent, at
            // the pace it would have played.
            std::unique_ptr<AudioSink> gone = std::exchange(sink_, std::make_unique<ClockSink>());
            if (corked_) {
                sink_->cork(true);
            }
            lock.unlock();
            gone.reset();
            lock.lock();
            return;
        }
        if (appliedGeneration_ == generation_) {
            const size_t bytes = std::min(*taken, pcm.size());
            pendingFrom_ += bytes;
            written_ += bytes;
        }
        return;
    }
    // Everything of the section is written: let it play out. A sink that
    // stops reporting progress ends the section after a while.
    const auto now = Clock::now();
    if (!finished_) {
        lock.unlock();
        sink_->finish();
        lock.lock();
        finished_ = true;
        lastProgress_ = now;
        return;
    }
    const int32_t heard = heardSector(lock);
    if (heard != heard_) {
        lastProgress_ = now;
    }
    heard_ = heard;
    if (heard_ >= to_ || now - lastProgress_ > kDrainStall) {
        heard_ = to_;
        active_ = false;
        return;
    }
    wake_.wait_for(lock, kIdleWait);
}

std::optional<size_t> ClockSink::write(std::span<const uint8_t> pcm,
                                       std::chrono::milliseconds wait) {
    const auto deadline = Clock::now() + wait;
    const uint64_t buffer = bytesIn(kBuffer);
    std::unique_lock lock(mutex_);
    while (true) {
        const auto now = Clock::now();
        // Roll the clock forward, so that time spent with nothing queued is
        // not played later at once.
        playedBefore_ = playedBytes(now);
        since_ = now;
        const uint64_t queued = written_ - playedBefore_;
        if (queued < buffer) {
            uint64_t room = std::min<uint64_t>(buffer - queued, pcm.size());
            room -= room % kFrameBytes;
            if (room > 0) {
                written_ += room;
                return static_cast<size_t>(room);
            }
        }
        if (now >= deadline) {
            return size_t{0};
        }
        lock.unlock();
        std::this_thread::sleep_for(std::min<Clock::duration>(deadline - now, kIdleWait / 4));
        lock.lock();
    }
}

void ClockSink::cork(bool corked) {
    const std::lock_guard lock(mutex_);
    const auto now = Clock::now();
    playedBefore_ = playedBytes(now);
    since_ = now;
    corked_ = corked;
}

void ClockSink::drop() {
    const std::lock_guard lock(mutex_);
    playedBefore_ = written_;
    since_ = Clock::now();
}

std::optional<std::chrono::microseconds> ClockSink::latency() {
    const std::lock_guard lock(mutex_);
    const uint64_t queued = written_ - playedBytes(Clock::now());
    return std::chrono::microseconds(static_cast<int64_t>(queued * 1'000'000 / kBytesPerSecond));
}

uint64_t ClockSink::playedBytes(Clock::time_point now) const {
    if (corked_) {
        return playedBefore_;
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(now - since_);
    return std::min(written_, playedBefore_ + bytesIn(elapsed));
}

} // namespace cdlib
