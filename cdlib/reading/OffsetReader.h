// SPDX-License-Identifier: GPL-3.0-or-later
// Reading with a drive's read offset corrected. With a correction of o
// samples, sample i of a range that starts at sector S is the drive's sample
// S * 588 + i + o: a positive correction reads later on the disc. The range
// then covers whole sectors of the output but not of the drive, so the drive
// reads every sector the shifted samples touch (up to nine more for the
// largest corrections) and the partial sector at each end is cut.
//
// Samples that fall before the disc's first sector or past the end of its
// audio are silence, and counted as such, unless the drive can read its
// lead-in and lead-out and the user asked it to (overread); what the drive
// cannot read there is silence too. The reader sits between the drive and
// the ChunkReader, so that conversion, read-ahead, lost-sector counting and
// every checksum the caller computes see the corrected samples. Lost and
// repaired sectors of the drive are reported as the output sectors whose
// samples they hold.
#pragma once

#include "drives/Drive.h"

#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <vector>

namespace cdlib {

inline constexpr int32_t SAMPLES_PER_SECTOR = CD_SECTOR_BYTES / 4;

// How a range is shifted, and where the disc's audio lies (inclusive
// sectors).
struct ReadShift {
    int32_t samples = 0;
    bool overread = false;
    int32_t discFirst = 0;
    int32_t discLast = 0;
};

// The drive sectors a shifted range reads on the disc, or none when every
// sample of it lies outside.
std::optional<SectorSpan> driveSpan(int32_t firstSector, int32_t lastSector,
                                    const ReadShift& shift);

class OffsetReader final {
public:
    // The drive's range must be open on driveSpan(...), if there is one.
    // `outputBytesPerSector` converts a drive's short delivery to sectors.
    OffsetReader(Drive& drive, int32_t firstSector, int32_t lastSector, const ReadShift& shift,
                 int32_t maxSectorsPerRead, int32_t outputBytesPerSector);
    OffsetReader(const OffsetReader&) = delete;
    OffsetReader& operator=(const OffsetReader&) = delete;

    // As Drive::readChunk, for the output sectors at the read position.
    ChunkRead read(int32_t sectors, std::span<uint8_t> buffer, const StopRequest& stop);

    // Samples of the range so far that lay outside what could be read.
    int64_t silencedSamples() const { return silenced_; }

private:
    // Makes the drive sector `sector` (on the disc) the one held in block_;
    // false when a stop ended the read.
    bool fetch(int32_t sector, const StopRequest& stop);
    // Reads drive sectors outside the disc into block_ where the drive can.
    void fetchOutside(int32_t sector);
    void noteLost(int32_t firstSector, int32_t count);

    Drive& drive_;
    ReadShift shift_;
    int32_t position_;
    int32_t maxSectorsPerRead_;
    int32_t outputBytesPerSector_;
    // The last drive sector whose samples the range holds.
    int32_t lastNeeded_;
    // Drive sectors held in block_: [blockFirst_, blockFirst_ + blockSectors_).
    std::vector<uint8_t> block_;
    int32_t blockFirst_ = 0;
    int32_t blockSectors_ = 0;
    // block_ stands in with silence for sectors outside the disc that the
    // drive could not read.
    bool blockSilent_ = false;
    // The next drive sector on the disc the drive's range reads.
    int32_t nextOnDisc_ = 0;
    int32_t lastOnDisc_ = -1;
    // Drive sectors lost or repaired that output sectors not yet handed out
    // may hold.
    std::set<int32_t> lostDrive_;
    std::set<int32_t> repairedDrive_;
    int64_t silenced_ = 0;
};

} // namespace cdlib
