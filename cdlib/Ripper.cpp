#include "Ripper.h"

#include <algorithm>
#include <cstring>

namespace cdlib {

namespace {

OutputLayout layoutFor(int32_t format) {
    OutputLayout layout;
    outputLayoutOf(format, layout); // validated when the parameters were applied
    return layout;
}

} // namespace

Ripper::Ripper(Drive& drive, int32_t firstSector, int32_t lastSector,
               const DriveParameters& parameters)
    : drive_(drive)
    , first_(firstSector)
    , last_(lastSector)
    , position_(firstSector)
    , sectorsPerRead_(std::max(1, parameters.sectorsPerRead))
    , converter_(layoutFor(parameters.outputFormat)) {
    chunkBytes_ = sectorsPerRead_ * converter_.layout().bytesPerSector();
    raw_.resize(static_cast<size_t>(sectorsPerRead_) * CD_SECTOR_BYTES);
    pending_.reserve(static_cast<size_t>(chunkBytes_) * 2);
}

Ripper::~Ripper() {
    drive_.closeRange();
}

int32_t Ripper::deliver(uint8_t* buffer, int32_t limit) {
    const auto count = static_cast<size_t>(
        std::min<int64_t>({static_cast<int64_t>(pending_.size()), chunkBytes_, limit}));
    // Only whole frames leave the library.
    const size_t frame = static_cast<size_t>(converter_.layout().bytesPerFrame());
    const size_t whole = count - count % frame;
    if (whole > 0) {
        std::memcpy(buffer, pending_.data(), whole);
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(whole));
    }
    return static_cast<int32_t>(whole);
}

void Ripper::noteSector(int32_t sector, bool lost) {
    if (!lost) {
        consecutiveLost_ = 0;
        return;
    }
    ++consecutiveLost_;
    ++lostCount_;
    if (!lostRuns_.empty() && lostRuns_.back().last + 1 == sector) {
        lostRuns_.back().last = sector;
    } else {
        lostRuns_.push_back({sector, sector});
    }
}

CDEX_ERR Ripper::ripChunk(uint8_t* buffer, int32_t* bytesDelivered, const int32_t* abort) {
    *bytesDelivered = 0;
    if (finished_) {
        return CR_CHUNK_LAST;
    }
    if (abort != nullptr && *abort != 0) {
        finished_ = true;
        *bytesDelivered = deliver(buffer, chunkBytes_);
        return CR_CHUNK_LAST;
    }

    ChunkRead read;
    if (!inputEnded_) {
        const int32_t want = std::min(sectorsPerRead_, last_ - position_ + 1);
        read = drive_.readChunk(want, raw_, abort);
        const int32_t chunkFirst = position_;
        const int32_t consumed = std::clamp(read.sectorsConsumed, 0, want);
        position_ += consumed;
        const bool aborted = abort != nullptr && *abort != 0;
        if (read.usable) {
            const auto bytes = static_cast<size_t>(
                std::clamp<int32_t>(read.rawBytes, 0, static_cast<int32_t>(raw_.size())));
            converter_.convert(std::span(raw_).first(bytes), pending_);
        }
        if (!aborted) {
            // A short read delivers its first sectors only.
            int32_t delivered = consumed;
            if (!read.usable) {
                delivered = 0;
            } else if (read.deliverAtMost) {
                delivered =
                    std::min(consumed, *read.deliverAtMost / converter_.layout().bytesPerSector());
            }
            for (int32_t i = 0; i < consumed; ++i) {
                const int32_t sector = chunkFirst + i;
                noteSector(sector, i >= delivered ||
                                       std::find(read.lostSectors.begin(), read.lostSectors.end(),
                                                 sector) != read.lostSectors.end());
            }
            if (consecutiveLost_ >= GIVE_UP_AFTER_LOST_SECTORS && position_ <= last_) {
                for (int32_t sector = position_; sector <= last_; ++sector) {
                    noteSector(sector, true);
                }
                position_ = last_ + 1;
            }
        }
        if (position_ > last_ || aborted) {
            inputEnded_ = true;
            converter_.finish(pending_);
        }
        if (aborted) {
            finished_ = true;
            *bytesDelivered = deliver(buffer, chunkBytes_);
            return CR_CHUNK_LAST;
        }
        if (!read.usable) {
            return CR_CHUNK_NONE;
        }
    }

    *bytesDelivered = deliver(buffer, read.deliverAtMost.value_or(chunkBytes_));
    if (read.deliverAtMost) {
        // A short read loses the rest of what it read.
        pending_.clear();
    }
    const bool rangeDone = inputEnded_ && pending_.empty();
    if (read.repaired) {
        ++jitterChunks_;
        lastJitter_ = *read.repaired;
        return CR_CHUNK_JITTER;
    }
    if (rangeDone) {
        finished_ = true;
        return CR_CHUNK_LAST;
    }
    return CR_CHUNK_OK;
}

int32_t Ripper::percentCompleted() const {
    const int64_t total = static_cast<int64_t>(last_) - first_ + 1;
    const int64_t done = static_cast<int64_t>(position_) - first_;
    return static_cast<int32_t>(std::clamp<int64_t>(done * 100 / total, 0, 100));
}

} // namespace cdlib
