// SPDX-License-Identifier: GPL-3.0-or-later
#include "reading/ChunkReader.h"

#include <algorithm>

namespace cdlib {

namespace {

OutputLayout layoutFor(int32_t format) {
    OutputLayout layout;
    outputLayoutOf(format, layout); // validated when the parameters were applied
    return layout;
}

} // namespace

ChunkReader::ChunkReader(Drive& drive, int32_t firstSector, int32_t lastSector,
                         const DriveParameters& parameters, const ReadShift& shift)
    : drive_(drive)
    , last_(lastSector)
    , position_(firstSector)
    , sectorsPerRead_(std::max(1, parameters.sectorsPerRead))
    , converter_(layoutFor(parameters.outputFormat)) {
    chunkBytes_ = sectorsPerRead_ * converter_.layout().bytesPerSector();
    raw_.resize(static_cast<size_t>(sectorsPerRead_) * CD_SECTOR_BYTES);
    pending_.reserve(static_cast<size_t>(chunkBytes_) * 2);
    if (shift.samples != 0) {
        shifted_ =
            std::make_unique<OffsetReader>(drive, firstSector, lastSector, shift, sectorsPerRead_,
                                           converter_.layout().bytesPerSector());
    }
}

void ChunkReader::deliver(std::vector<uint8_t>& out, int32_t limit) {
    const auto count = static_cast<size_t>(
        std::min<int64_t>({static_cast<int64_t>(pending_.size()), chunkBytes_, limit}));
    // Only whole frames leave the library.
    const size_t frame = static_cast<size_t>(converter_.layout().bytesPerFrame());
    const size_t whole = count - count % frame;
    if (whole == pending_.size()) {
        // The usual case: everything goes, and is moved rather than copied.
        out.swap(pending_);
        pending_.clear();
        return;
    }
    const auto end = pending_.begin() + static_cast<std::ptrdiff_t>(whole);
    out.assign(pending_.begin(), end);
    pending_.erase(pending_.begin(), end);
}

void ChunkReader::noteSector(RangeStep& step, int32_t sector, bool lost) {
    if (!lost) {
        consecutiveLost_ = 0;
        return;
    }
    ++consecutiveLost_;
    if (!step.lost.empty() && step.lost.back().last + 1 == sector) {
        step.lost.back().last = sector;
    } else {
        step.lost.push_back({sector, sector});
    }
}

RangeStep ChunkReader::next(const StopRequest& stop, std::vector<uint8_t> spare,
                            std::span<uint8_t> callerBuffer) {
    RangeStep step;
    // Bytes of this step's read that are in the caller's buffer already.
    size_t placed = 0;
    const auto handOver = [&](int32_t limit) {
        if (placed == 0) {
            deliver(step.audio, limit);
            return;
        }
        const auto count = static_cast<size_t>(
            std::min<int64_t>({static_cast<int64_t>(placed), chunkBytes_, limit}));
        const size_t frame = static_cast<size_t>(converter_.layout().bytesPerFrame());
        step.audioInCallerBuffer = static_cast<int32_t>(count - count % frame);
        placed = 0;
    };
    step.result = [&] {
        if (finished_) {
            return CR_CHUNK_LAST;
        }
        ChunkRead read;
        if (!inputEnded_) {
            const int32_t want = std::min(sectorsPerRead_, last_ - position_ + 1);
            // Audio the output takes as it is, with nothing pending before
            // it, is read into the buffer that will carry it out.
            const bool direct = converter_.passesThrough() && pending_.empty();
            const bool intoCaller = direct && callerBuffer.size() >= raw_.size();
            if (direct && !intoCaller) {
                spare.resize(raw_.size());
            } else if (!direct && pending_.empty() && spare.capacity() > pending_.capacity()) {
                spare.clear();
                pending_.swap(spare);
            }
            const std::span<uint8_t> target = intoCaller ? callerBuffer.first(raw_.size())
                                              : direct   ? std::span<uint8_t>(spare)
                                                         : std::span<uint8_t>(raw_);
            read = shifted_ ? shifted_->read(want, target, stop)
                            : drive_.readChunk(want, target, stop);
            step.fromRead = true;
            const int32_t chunkFirst = position_;
            const int32_t consumed = std::clamp(read.sectorsConsumed, 0, want);
            position_ += consumed;
            const bool aborted = stop.requested();
            if (read.usable) {
                const auto bytes = static_cast<size_t>(
                    std::clamp<int32_t>(read.rawBytes, 0, static_cast<int32_t>(target.size())));
                const size_t whole = bytes - bytes % 4; // whole frames, as convert() takes
                if (intoCaller) {
                    converter_.passedThrough(whole);
                    placed = whole;
                } else if (direct) {
                    spare.resize(whole);
                    converter_.passedThrough(whole);
                    pending_.swap(spare);
                } else {
                    converter_.convert(std::span(raw_).first(bytes), pending_);
                }
            }
            if (!aborted) {
                // A short read delivers its first sectors only.
                int32_t delivered = consumed;
                if (!read.usable) {
                    delivered = 0;
                } else if (read.deliverAtMost) {
                    delivered = std::min(consumed, *read.deliverAtMost /
                                                       converter_.layout().bytesPerSector());
                }
                for (int32_t i = 0; i < consumed; ++i) {
                    const int32_t sector = chunkFirst + i;
                    noteSector(step, sector,
                               i >= delivered ||
                                   std::find(read.lostSectors.begin(), read.lostSectors.end(),
                                             sector) != read.lostSectors.end());
                }
                if (consecutiveLost_ >= GIVE_UP_AFTER_LOST_SECTORS && position_ <= last_) {
                    for (int32_t sector = position_; sector <= last_; ++sector) {
                        noteSector(step, sector, true);
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
                handOver(chunkBytes_);
                return CR_CHUNK_LAST;
            }
            if (!read.usable) {
                return CR_CHUNK_NONE;
            }
        }

        handOver(read.deliverAtMost.value_or(chunkBytes_));
        if (read.deliverAtMost) {
            // A short read loses the rest of what it read.
            pending_.clear();
        }
        const bool rangeDone = inputEnded_ && pending_.empty();
        if (read.repaired) {
            step.repaired = read.repaired;
            return CR_CHUNK_JITTER;
        }
        if (rangeDone) {
            finished_ = true;
            return CR_CHUNK_LAST;
        }
        return CR_CHUNK_OK;
    }();
    step.position = position_;
    step.silencedSamples = shifted_ ? shifted_->silencedSamples() : 0;
    if (!pending_.empty()) {
        const size_t frame = static_cast<size_t>(converter_.layout().bytesPerFrame());
        const size_t count = std::min(pending_.size(), static_cast<size_t>(chunkBytes_));
        step.leftover.assign(pending_.begin(),
                             pending_.begin() + static_cast<std::ptrdiff_t>(count - count % frame));
    }
    return step;
}

} // namespace cdlib
