// SPDX-License-Identifier: GPL-3.0-or-later
// One open sector range as the CR_* reading calls see it: hands out the
// range's chunks in order and keeps the figures of the chunks handed out
// (percentage, repairs, lost sectors). The drive delivers raw sectors;
// everything the CR_* reading calls promise is kept here and in the
// ChunkReader, the same for every kind of drive.
//
// A range reads ahead: a reader thread of its own reads the following
// chunks into a queue of about a megabyte, so that the drive keeps reading
// while the caller encodes and writes, and a call waits only when the queue
// is empty. The reader is the only thread that touches the drive's range
// while it is open: it holds the library's drive lock for each read, and
// every other library operation on the drive takes the same lock. Closing
// the range stops and joins the reader, also in the middle of a read that
// paranoia retries, before the drive's range is closed. The reader runs
// with every signal blocked, so that the program's handlers (which set
// abort indicators) run on the program's own threads.
#pragma once

#include "reading/ChunkReader.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace cdlib {

// What the queue of a range holds at most, in bytes of the output format.
inline constexpr int64_t READ_AHEAD_BYTES = int64_t{1} << 20;

class Ripper final {
public:
    // The drive's range must already be open; the ripper closes it.
    // `driveAccess` is held for each read of the drive. Without read-ahead
    // every chunk is read on the caller's thread when it is asked for.
    // `handedOn` runs on the caller's thread for each chunk of a drive read
    // that reaches the caller; reads ahead that a close or an abort dropped
    // never do.
    Ripper(Drive& drive, int32_t firstSector, int32_t lastSector, const DriveParameters& parameters,
           const ReadShift& shift, std::mutex& driveAccess, bool readAhead,
           std::function<void()> handedOn = {});
    ~Ripper();
    Ripper(const Ripper&) = delete;
    Ripper& operator=(const Ripper&) = delete;

    // The most bytes one chunk delivers.
    int32_t chunkBytes() const { return chunkBytes_; }

    // The ChunkReader's results, in order. A set abort indicator, at the
    // call or during a read, ends the range: the chunk delivers what it has
    // and answers 4. The reader polls the indicator of the latest call until
    // the range is closed, so the caller keeps it alive until then.
    CR_RESULT ripChunk(uint8_t* buffer, int32_t* bytesDelivered, const int32_t* abort);

    int32_t percentCompleted() const;
    int32_t jitterErrors() const { return jitterChunks_; }
    SectorSpan lastJitterSpan() const { return lastJitter_; }
    // Sectors of the range that could not be read, apart from the repairs
    // above: their count and their runs, in ascending order.
    int32_t lostSectors() const { return lostCount_; }
    const std::vector<SectorSpan>& lostRuns() const { return lostRuns_; }
    // Samples handed out that the read offset put outside what the drive
    // could read, as silence.
    int64_t silencedSamples() const { return silenced_; }

private:
    // The reader thread: reads steps until the range ends or a stop.
    void runReader();
    // The next step from the queue. Null when the reader stopped without
    // one.
    std::optional<RangeStep> takeStep();
    void stopReader();
    // Publishes the figures of a step handed out.
    void account(const RangeStep& step);
    // The audio buffers of steps handed out go back to the reader for later
    // steps; no more are kept than the queue holds, so memory stays as flat.
    void recycle(std::vector<uint8_t> audio);
    std::vector<uint8_t> takeSpare();

    Drive& drive_;
    int32_t first_;
    int32_t last_;
    std::mutex& driveAccess_;
    std::function<void()> handedOn_;
    ChunkReader reader_;
    int32_t chunkBytes_;

    // Shared with the reader thread, under queueMutex_ (stop_ is also read
    // without it by the drive's read in progress). A failure of the reader
    // is passed on to the call that finds the queue empty.
    std::mutex queueMutex_;
    std::condition_variable queueChanged_;
    std::deque<RangeStep> queue_;
    std::vector<std::vector<uint8_t>> spares_;
    size_t queueLimit_;
    // Where the queue is refilled and emptied in batches: a full queue lets
    // the reader go on once it is down to this, an empty one lets the
    // caller go on once it is up to this (or a short wait is over).
    size_t refill_;
    bool readerDone_ = false;
    std::exception_ptr error_;
    std::atomic<bool> stop_ = false;
    std::atomic<const int32_t*> callerAbort_ = nullptr;
    std::thread thread_;

    // The caller's side.
    bool finished_ = false;
    int32_t position_;
    std::vector<uint8_t> leftover_;
    int32_t jitterChunks_ = 0;
    SectorSpan lastJitter_;
    int32_t lostCount_ = 0;
    std::vector<SectorSpan> lostRuns_;
    int64_t silenced_ = 0;
};

} // namespace cdlib
