// One open sector range: reads it from a drive chunk by chunk, converts the
// audio to the output format and keeps the range's progress and jitter
// figures. The drive delivers raw sectors; everything the CR_* reading calls
// promise is kept here, the same for every kind of drive.
#pragma once

#include "Drive.h"
#include "FormatConverter.h"

#include <cstdint>
#include <vector>

namespace cdlib {

// A range stops after this many consecutive sectors could not be read (ten
// seconds of audio): a vanished or hopeless disc is not ground through to
// its end. The sectors not read count as lost.
inline constexpr int32_t GIVE_UP_AFTER_LOST_SECTORS = 750;

class Ripper final {
public:
    // The drive's range must already be open; the ripper closes it.
    Ripper(Drive& drive, int32_t firstSector, int32_t lastSector,
           const DriveParameters& parameters);
    ~Ripper();
    Ripper(const Ripper&) = delete;
    Ripper& operator=(const Ripper&) = delete;

    // The most bytes one chunk delivers.
    int32_t chunkBytes() const { return chunkBytes_; }

    // Result 0 audio, 1 nothing usable, 3 audio after a repair, 4 the last
    // audio of the range. A range whose last chunk needed a repair answers 3
    // for it and 4 with no bytes on the next call, so that the repair is
    // reported like any other. A set abort indicator ends the range: the
    // chunk delivers what it has and answers 4.
    CDEX_ERR ripChunk(uint8_t* buffer, int32_t* bytesDelivered, const int32_t* abort);

    int32_t percentCompleted() const;
    int32_t jitterErrors() const { return jitterChunks_; }
    SectorSpan lastJitterSpan() const { return lastJitter_; }
    // Sectors of the range that could not be read, apart from the repairs
    // above: their count and their runs, in ascending order.
    int32_t lostSectors() const { return lostCount_; }
    const std::vector<SectorSpan>& lostRuns() const { return lostRuns_; }

private:
    int32_t deliver(uint8_t* buffer, int32_t limit);
    // Counts the sectors of one read: lost or read, in order.
    void noteSector(int32_t sector, bool lost);

    Drive& drive_;
    int32_t first_;
    int32_t last_;
    int32_t position_;
    int32_t sectorsPerRead_;
    int32_t chunkBytes_;
    FormatConverter converter_;
    std::vector<uint8_t> raw_;
    std::vector<uint8_t> pending_;
    bool inputEnded_ = false;
    bool finished_ = false;
    int32_t jitterChunks_ = 0;
    SectorSpan lastJitter_;
    int32_t lostCount_ = 0;
    int32_t consecutiveLost_ = 0;
    std::vector<SectorSpan> lostRuns_;
};

} // namespace cdlib
