#include "playback/DigitalPlayer.h"

#include "CdRip_dll.h"

#include <algorithm>
#include <vector>

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

DigitalPlayer::DigitalPlayer(std::unique_ptr<PlaySource> source, std::unique_ptr<AudioSink> sink)
    : source_(std::move(source))
    , sink_(std::move(sink))
    , thread_([this] { run(); }) {}

DigitalPlayer::~DigitalPlayer() {
    {
        const std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
    // Nothing queued of the section may play on after the player is gone.
    sink_->drop();
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

int32_t DigitalPlayer::heardSector(std::unique_lock<std::mutex>& /*lock*/) {
    if (appliedGeneration_ != generation_) {
        return heard_; // the thread has not started this section yet
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
    std::vector<uint8_t> buffer(static_cast<size_t>(kSectorsPerWrite) * kSectorBytes);
    size_t pendingFrom = 0;
    size_t pendingTo = 0;
    int32_t next = 0;
    bool corked = false;
    bool finished = false;
    auto lastProgress = std::chrono::steady_clock::now();

    std::unique_lock lock(mutex_);
    while (!quit_) {
        if (appliedGeneration_ != generation_) {
            const uint64_t generation = generation_;
            lock.unlock();
            sink_->drop();
            lock.lock();
            appliedGeneration_ = generation;
            written_ = 0;
            next = from_;
            pendingFrom = pendingTo = 0;
            finished = false;
            continue;
        }
        if (paused_ != corked) {
            const bool cork = paused_;
            lock.unlock();
            sink_->cork(cork);
            lock.lock();
            corked = cork;
            lastProgress = std::chrono::steady_clock::now();
            continue;
        }
        if (!active_ || paused_) {
            wake_.wait_for(lock, kIdleWait * 5);
            continue;
        }
        if (pendingFrom == pendingTo && next <= to_) {
            const int32_t first = next;
            const int32_t count = std::min(kSectorsPerWrite, to_ - next + 1);
            const auto bytes = static_cast<size_t>(count) * kSectorBytes;
            lock.unlock();
            const std::span<uint8_t> target(buffer.data(), bytes);
            if (!source_->read(first, count, target)) {
                std::fill(target.begin(), target.end(), uint8_t{0});
            }
            lock.lock();
            if (appliedGeneration_ == generation_) {
                next = first + count;
                pendingFrom = 0;
                pendingTo = bytes;
            }
            continue;
        }
        if (pendingFrom != pendingTo) {
            const std::span<const uint8_t> pcm(buffer.data() + pendingFrom,
                                               pendingTo - pendingFrom);
            lock.unlock();
            const auto taken = sink_->write(pcm, kWriteWait);
            lock.lock();
            if (!taken) {
                // The sound server went away: the section goes on, silent,
                // at the pace it would have played.
                sink_ = std::make_unique<ClockSink>();
                if (corked) {
                    sink_->cork(true);
                }
                continue;
            }
            if (appliedGeneration_ == generation_) {
                const size_t bytes = std::min(*taken, pcm.size());
                pendingFrom += bytes;
                written_ += bytes;
            }
            continue;
        }
        // Everything of the section is written: let it play out. A sink
        // that stops reporting progress ends the section after a while.
        const auto now = std::chrono::steady_clock::now();
        if (!finished) {
            lock.unlock();
            sink_->finish();
            lock.lock();
            finished = true;
            lastProgress = now;
            continue;
        }
        const int32_t heard = heardSector(lock);
        if (heard != heard_) {
            lastProgress = now;
        }
        heard_ = heard;
        if (heard_ >= to_ || now - lastProgress > kDrainStall) {
            heard_ = to_;
            active_ = false;
            continue;
        }
        wake_.wait_for(lock, kIdleWait);
    }
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
