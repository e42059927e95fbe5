// SPDX-License-Identifier: GPL-3.0-or-later
#include "reading/OffsetReader.h"

#include <algorithm>
#include <cstring>

namespace cdlib {

namespace {

int32_t sectorOf(int64_t sample) {
    // Rounds down, also before the disc's first sector.
    const int64_t quotient = sample / SAMPLES_PER_SECTOR;
    return static_cast<int32_t>(sample % SAMPLES_PER_SECTOR < 0 ? quotient - 1 : quotient);
}

int64_t firstSampleOf(int32_t sector) {
    return static_cast<int64_t>(sector) * SAMPLES_PER_SECTOR;
}

constexpr size_t kSampleBytes = 4;

} // namespace

std::optional<SectorSpan> driveSpan(int32_t firstSector, int32_t lastSector,
                                    const ReadShift& shift) {
    const int32_t first =
        std::max(sectorOf(firstSampleOf(firstSector) + shift.samples), shift.discFirst);
    const int32_t last =
        std::min(sectorOf(firstSampleOf(lastSector + 1) + shift.samples - 1), shift.discLast);
    if (first > last) {
        return std::nullopt;
    }
    return SectorSpan{first, last};
}

OffsetReader::OffsetReader(Drive& drive, int32_t firstSector, int32_t lastSector,
                           const ReadShift& shift, int32_t maxSectorsPerRead,
                           int32_t outputBytesPerSector)
    : drive_(drive)
    , shift_(shift)
    , position_(firstSector)
    , maxSectorsPerRead_(std::max(1, maxSectorsPerRead))
    , outputBytesPerSector_(outputBytesPerSector)
    , lastNeeded_(sectorOf(firstSampleOf(lastSector + 1) + shift.samples - 1)) {
    if (const auto span = driveSpan(firstSector, lastSector, shift)) {
        nextOnDisc_ = span->first;
        lastOnDisc_ = span->last;
    }
}

void OffsetReader::noteLost(int32_t firstSector, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        lostDrive_.insert(firstSector + i);
    }
}

bool OffsetReader::fetch(int32_t sector, const StopRequest& stop) {
    while (sector < blockFirst_ || sector >= blockFirst_ + blockSectors_) {
        const int32_t want = std::min(maxSectorsPerRead_, lastOnDisc_ - nextOnDisc_ + 1);
        if (want <= 0 || sector < nextOnDisc_) {
            // Never asked for by a range read in order; stands as lost.
            block_.assign(CD_SECTOR_BYTES, 0);
            blockFirst_ = sector;
            blockSectors_ = 1;
            blockSilent_ = false;
            noteLost(sector, 1);
            return true;
        }
        block_.resize(static_cast<size_t>(want) * CD_SECTOR_BYTES);
        const ChunkRead read = drive_.readChunk(want, block_, stop);
        if (stop.requested()) {
            return false;
        }
        // A read that consumed nothing would stall the range: its sectors
        // are passed over as lost.
        const int32_t consumed =
            read.sectorsConsumed > 0 ? std::min(read.sectorsConsumed, want) : want;
        blockFirst_ = nextOnDisc_;
        blockSectors_ = consumed;
        blockSilent_ = false;
        nextOnDisc_ += consumed;
        int32_t whole = 0;
        if (read.usable) {
            whole = std::clamp(read.rawBytes / CD_SECTOR_BYTES, 0, consumed);
            if (read.deliverAtMost) {
                whole = std::min(whole, *read.deliverAtMost / outputBytesPerSector_);
            }
            lostDrive_.insert(read.lostSectors.begin(), read.lostSectors.end());
            if (read.repaired) {
                for (int32_t s = read.repaired->first; s <= read.repaired->last; ++s) {
                    repairedDrive_.insert(s);
                }
            }
        }
        std::fill(block_.begin() + static_cast<std::ptrdiff_t>(whole) * CD_SECTOR_BYTES,
                  block_.end(), 0);
        noteLost(blockFirst_ + whole, consumed - whole);
    }
    return true;
}

void OffsetReader::fetchOutside(int32_t sector) {
    const int32_t count = sector < shift_.discFirst
                              ? std::min(maxSectorsPerRead_, shift_.discFirst - sector)
                              : std::clamp(lastNeeded_ - sector + 1, 1, maxSectorsPerRead_);
    block_.resize(static_cast<size_t>(count) * CD_SECTOR_BYTES);
    blockFirst_ = sector;
    blockSectors_ = count;
    blockSilent_ = !drive_.readOutsideDisc(sector, count, block_);
    if (blockSilent_) {
        std::fill(block_.begin(), block_.end(), 0);
    }
}

ChunkRead OffsetReader::read(int32_t sectors, std::span<uint8_t> buffer, const StopRequest& stop) {
    const bool overreading = shift_.overread && drive_.readsOutsideDisc();
    int32_t filled = 0;
    bool stopped = false;
    for (; filled < sectors && !stopped; ++filled) {
        int64_t sample = firstSampleOf(position_ + filled) + shift_.samples;
        const int64_t end = sample + SAMPLES_PER_SECTOR;
        uint8_t* out = buffer.data() + static_cast<size_t>(filled) * CD_SECTOR_BYTES;
        while (sample < end) {
            const int32_t sector = sectorOf(sample);
            const int64_t count = std::min(end, firstSampleOf(sector + 1)) - sample;
            const size_t bytes = static_cast<size_t>(count) * kSampleBytes;
            const bool onDisc = sector >= shift_.discFirst && sector <= shift_.discLast;
            if (!onDisc && !overreading) {
                std::memset(out, 0, bytes);
                silenced_ += count;
            } else {
                if (sector < blockFirst_ || sector >= blockFirst_ + blockSectors_) {
                    if (!onDisc) {
                        fetchOutside(sector);
                    } else if (!fetch(sector, stop)) {
                        stopped = true;
                        break;
                    }
                }
                const int64_t from =
                    firstSampleOf(sector - blockFirst_) + (sample - firstSampleOf(sector));
                std::memcpy(out, block_.data() + static_cast<size_t>(from) * kSampleBytes, bytes);
                if (blockSilent_) {
                    silenced_ += count;
                }
            }
            sample += count;
            out += bytes;
        }
        if (stopped) {
            break;
        }
    }

    ChunkRead result;
    result.sectorsConsumed = filled;
    result.rawBytes = filled * CD_SECTOR_BYTES;
    for (int32_t i = 0; i < filled; ++i) {
        const int32_t output = position_ + i;
        const int64_t first = firstSampleOf(output) + shift_.samples;
        const int32_t from = sectorOf(first);
        const int32_t to = sectorOf(first + SAMPLES_PER_SECTOR - 1);
        const auto holds = [&](const std::set<int32_t>& drive) {
            const auto found = drive.lower_bound(from);
            return found != drive.end() && *found <= to;
        };
        if (holds(lostDrive_)) {
            result.lostSectors.push_back(output);
        }
        if (holds(repairedDrive_)) {
            if (result.repaired) {
                result.repaired->include({output, output});
            } else {
                result.repaired = SectorSpan{output, output};
            }
        }
    }
    position_ += filled;
    // Drive sectors before the next output sector's samples are done with.
    const int32_t stillNeeded = sectorOf(firstSampleOf(position_) + shift_.samples);
    lostDrive_.erase(lostDrive_.begin(), lostDrive_.lower_bound(stillNeeded));
    repairedDrive_.erase(repairedDrive_.begin(), repairedDrive_.lower_bound(stillNeeded));
    return result;
}

} // namespace cdlib
