// SPDX-License-Identifier: GPL-3.0-or-later
#include "reading/Ripper.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <pthread.h>
#include <signal.h>
#include <utility>

namespace cdlib {

namespace {

// How often a call waiting for a chunk looks at the queue without being
// woken: for a batch that stays short, and for a reader that ended.
constexpr auto kQueuePoll = std::chrono::milliseconds(5);
// A call that found the queue empty waits this long for it to fill up to
// half before it takes what there is: the two threads then take turns in
// batches of chunks rather than waking each other for every one.
constexpr auto kBatchWait = std::chrono::milliseconds(10);

// Blocks every signal on this thread while it lives. A thread started
// meanwhile keeps the mask, so that the program's signal handlers (which
// set abort indicators) run on the program's own threads, never on the
// reader.
class SignalsBlocked final {
public:
    SignalsBlocked() {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_SETMASK, &all, &previous_);
    }
    ~SignalsBlocked() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    SignalsBlocked(const SignalsBlocked&) = delete;
    SignalsBlocked& operator=(const SignalsBlocked&) = delete;

private:
    sigset_t previous_;
};

} // namespace

Ripper::Ripper(Drive& drive, int32_t firstSector, int32_t lastSector,
               const DriveParameters& parameters, const ReadShift& shift, std::mutex& driveAccess,
               bool readAhead, std::function<void()> handedOn)
    : drive_(drive)
    , first_(firstSector)
    , last_(lastSector)
    , driveAccess_(driveAccess)
    , handedOn_(std::move(handedOn))
    , reader_(drive, firstSector, lastSector, parameters, shift)
    , chunkBytes_(reader_.chunkBytes())
    , queueLimit_(static_cast<size_t>(std::max<int64_t>(2, READ_AHEAD_BYTES / chunkBytes_)))
    , refill_(queueLimit_ / 2)
    , position_(firstSector) {
    if (readAhead) {
        const SignalsBlocked blocked;
        thread_ = std::thread([this] { runReader(); });
    }
}

Ripper::~Ripper() {
    stopReader();
    drive_.closeRange();
}

void Ripper::runReader() {
    try {
        for (;;) {
            {
                std::unique_lock lock(queueMutex_);
                if (queue_.size() >= queueLimit_) {
                    queueChanged_.wait(lock, [this] { return stop_ || queue_.size() <= refill_; });
                }
                if (stop_ || abortRequested(callerAbort_.load())) {
                    break;
                }
            }
            std::vector<uint8_t> spare = takeSpare();
            RangeStep step;
            {
                const std::lock_guard drive(driveAccess_);
                step = reader_.next(StopRequest(stop_, callerAbort_), std::move(spare));
            }
            const bool last = step.result == CR_CHUNK_LAST;
            bool batchReady = false;
            {
                const std::lock_guard lock(queueMutex_);
                queue_.push_back(std::move(step));
                batchReady = queue_.size() == refill_;
            }
            if (batchReady) {
                queueChanged_.notify_all();
            }
            if (last) {
                break;
            }
        }
    } catch (...) {
        const std::lock_guard lock(queueMutex_);
        error_ = std::current_exception();
    }
    {
        const std::lock_guard lock(queueMutex_);
        readerDone_ = true;
    }
    queueChanged_.notify_all();
}

std::optional<RangeStep> Ripper::takeStep() {
    std::unique_lock lock(queueMutex_);
    if (queue_.empty()) {
        const auto start = std::chrono::steady_clock::now();
        while (queue_.size() < refill_ && !readerDone_ &&
               (queue_.empty() || std::chrono::steady_clock::now() - start < kBatchWait)) {
            queueChanged_.wait_for(lock, kQueuePoll);
        }
    }
    if (queue_.empty()) {
        if (error_) {
            std::rethrow_exception(std::exchange(error_, nullptr));
        }
        return std::nullopt;
    }
    RangeStep step = std::move(queue_.front());
    queue_.pop_front();
    const bool roomForBatch = queue_.size() == refill_;
    lock.unlock();
    if (roomForBatch) {
        queueChanged_.notify_all();
    }
    return step;
}

void Ripper::stopReader() {
    if (!thread_.joinable()) {
        return;
    }
    {
        const std::lock_guard lock(queueMutex_);
        stop_ = true;
    }
    queueChanged_.notify_all();
    thread_.join();
}

void Ripper::account(const RangeStep& step) {
    position_ = step.position;
    silenced_ = step.silencedSamples;
    if (step.repaired) {
        ++jitterChunks_;
        lastJitter_ = *step.repaired;
    }
    for (const SectorSpan& run : step.lost) {
        lostCount_ += run.last - run.first + 1;
        if (!lostRuns_.empty() && lostRuns_.back().last + 1 == run.first) {
            lostRuns_.back().last = run.last;
        } else {
            lostRuns_.push_back(run);
        }
    }
    if (step.fromRead && handedOn_) {
        handedOn_();
    }
}

CR_RESULT Ripper::ripChunk(uint8_t* buffer, int32_t* bytesDelivered, const int32_t* abort) {
    *bytesDelivered = 0;
    if (finished_) {
        return CR_CHUNK_LAST;
    }
    const auto handOut = [&](const std::vector<uint8_t>& audio) {
        if (!audio.empty()) {
            std::memcpy(buffer, audio.data(), audio.size());
        }
        *bytesDelivered = static_cast<int32_t>(audio.size());
    };
    std::optional<RangeStep> step;
    if (!abortRequested(abort)) {
        // The reads watch this indicator from now on, also a read in
        // progress, so that an abort reaches it at once.
        callerAbort_ = abort;
        if (thread_.joinable()) {
            step = takeStep();
        } else {
            std::vector<uint8_t> spare = takeSpare();
            const std::lock_guard drive(driveAccess_);
            step = reader_.next(StopRequest(stop_, callerAbort_), std::move(spare),
                                std::span(buffer, static_cast<size_t>(chunkBytes_)));
        }
    }
    if (!step) {
        // Aborted before a chunk came: what was converted and not yet
        // delivered ends the range.
        finished_ = true;
        stopReader();
        handOut(leftover_);
        return CR_CHUNK_LAST;
    }
    account(*step);
    leftover_ = std::move(step->leftover);
    if (step->audioInCallerBuffer > 0) {
        *bytesDelivered = step->audioInCallerBuffer;
    } else {
        handOut(step->audio);
    }
    finished_ = step->result == CR_CHUNK_LAST;
    const CR_RESULT result = step->result;
    recycle(std::move(step->audio));
    return result;
}

void Ripper::recycle(std::vector<uint8_t> audio) {
    const std::lock_guard lock(queueMutex_);
    if (spares_.size() < queueLimit_) {
        spares_.push_back(std::move(audio));
    }
}

std::vector<uint8_t> Ripper::takeSpare() {
    const std::lock_guard lock(queueMutex_);
    if (spares_.empty()) {
        return {};
    }
    std::vector<uint8_t> spare = std::move(spares_.back());
    spares_.pop_back();
    return spare;
}

int32_t Ripper::percentCompleted() const {
    const int64_t total = static_cast<int64_t>(last_) - first_ + 1;
    const int64_t done = static_cast<int64_t>(position_) - first_;
    return static_cast<int32_t>(std::clamp<int64_t>(done * 100 / total, 0, 100));
}

} // namespace cdlib
