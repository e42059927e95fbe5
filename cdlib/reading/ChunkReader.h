// SPDX-License-Identifier: GPL-3.0-or-later
// Reads one range from a drive, chunk by chunk, and makes each read into the
// answer of one CR_RipChunk call: the audio converted to the output format,
// the result code, the repair and the sectors lost. It runs on one thread at
// a time (the range's reader thread, or the caller's when reading without
// read-ahead) and keeps no figure the caller reads: the Ripper publishes
// them as each step is handed out.
#pragma once

#include "drives/Drive.h"
#include "reading/FormatConverter.h"
#include "reading/OffsetReader.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace cdlib {

// A range stops after this many consecutive sectors could not be read (ten
// seconds of audio): a vanished or hopeless disc is not ground through to
// its end. The sectors not read count as lost.
inline constexpr int32_t GIVE_UP_AFTER_LOST_SECTORS = 750;

// What one CR_RipChunk call answers, and what it changes in the range's
// figures.
struct RangeStep {
    CR_RESULT result = CR_CHUNK_OK;
    std::vector<uint8_t> audio;
    // Bytes of audio read straight into the caller's buffer instead.
    int32_t audioInCallerBuffer = 0;
    // What the next call delivers when the caller aborts before it: audio
    // converted but not yet delivered (whole frames, at most a chunk).
    std::vector<uint8_t> leftover;
    // The read position after this step, which the percentage follows.
    int32_t position = 0;
    std::optional<SectorSpan> repaired;
    // Sectors this step found lost, in ascending runs.
    std::vector<SectorSpan> lost;
    // A drive read made this step.
    bool fromRead = false;
    // Samples of the range so far that the read offset put outside what
    // the drive could read: silence stands in for them.
    int64_t silencedSamples = 0;
};

class ChunkReader final {
public:
    // The drive's range must already be open: on first..last, or with a
    // read offset on the sectors driveSpan() names.
    ChunkReader(Drive& drive, int32_t firstSector, int32_t lastSector,
                const DriveParameters& parameters, const ReadShift& shift = {});
    ChunkReader(const ChunkReader&) = delete;
    ChunkReader& operator=(const ChunkReader&) = delete;

    // The most bytes one chunk delivers.
    int32_t chunkBytes() const { return chunkBytes_; }

    // The next step of the range. Result 0 audio, 1 nothing usable, 3 audio
    // after a repair, 4 the last audio of the range. A range whose last
    // chunk needed a repair answers 3 for it and 4 with no bytes on the next
    // step, so that the repair is reported like any other. A stop requested
    // during the read ends the range: the step delivers what it has and
    // answers 4. After a 4 every step answers 4 with nothing. `spare` is
    // the audio buffer of a step already handed out, reused for this one so
    // that audio needing no conversion is read straight into the step and a
    // steady range allocates nothing. Such audio is read into
    // `callerBuffer` instead when it has room for a chunk.
    RangeStep next(const StopRequest& stop, std::vector<uint8_t> spare = {},
                   std::span<uint8_t> callerBuffer = {});

private:
    void deliver(std::vector<uint8_t>& out, int32_t limit);
    // Counts the sectors of one read: lost or read, in order.
    void noteSector(RangeStep& step, int32_t sector, bool lost);

    Drive& drive_;
    int32_t last_;
    int32_t position_;
    int32_t sectorsPerRead_;
    int32_t chunkBytes_;
    FormatConverter converter_;
    // Set when a read offset shifts the range; reads go through it.
    std::unique_ptr<OffsetReader> shifted_;
    std::vector<uint8_t> raw_;
    std::vector<uint8_t> pending_;
    bool inputEnded_ = false;
    bool finished_ = false;
    int32_t consecutiveLost_ = 0;
};

} // namespace cdlib
