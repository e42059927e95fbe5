// SPDX-License-Identifier: GPL-3.0-or-later
// Reading of a sector range through libcdio-paranoia, shared by disc images
// and physical drives. Jitter correction on is paranoia's full mode without
// never-skip, read with a bounded retry count, so that a sector that stays
// unreadable is skipped after the retries instead of stalling the range;
// off is paranoia's disabled mode. Every repair paranoia reports (edge and
// atom fix-ups, drift, dropped or duplicated bytes, read errors it
// recovered from) marks the chunk that holds the repaired sector.
//
// Paranoia itself does not bound its reads: in disabled mode a drive whose
// reads keep failing (a vanished medium, a truncated image) makes it retry
// for ever, and in full mode it reads a failing stretch again and again. So
// every drive read passes a guard: a sector whose reads failed as often as
// the retries allow (once without correction) is given up and stands as
// silence, reported lost with its chunk, as are the sectors paranoia skips.
// A sector given up is not read again within the range, and a failure that
// continues a stretch given up is given up at once, so that an unreadable
// stretch costs the retries of its first sector and about one read per
// block after it. A stop request makes the guard answer every further read
// at once, so that a read in progress returns promptly.
#pragma once

#include "drives/CdioHandles.h"
#include "drives/Drive.h"
#include "library/LibrarySeam.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>

namespace cdlib {

class ParanoiaReader final {
public:
    // Opens reading from `firstSector` on `cdio` (borrowed; it must outlive
    // the reader). Null when the disc cannot be read as audio.
    static std::unique_ptr<ParanoiaReader> open(CdIo_t* cdio, int32_t firstSector,
                                                const DriveParameters& parameters);
    // As open, but takes over `idle` (the reader of an earlier range on the
    // same handle) where that is safe: always without correction, and with
    // it when the new range follows on from the one `idle` read, with no
    // abort in between. Each range would otherwise build paranoia afresh,
    // fault in its buffers anew and read again what paranoia had read ahead,
    // which costs an image read about a tenth of its time. Physical drives
    // gain nothing: they open a new handle for every range, to see a changed
    // disc.
    static std::unique_ptr<ParanoiaReader> reopen(std::unique_ptr<ParanoiaReader> idle,
                                                  CdIo_t* cdio, int32_t firstSector,
                                                  const DriveParameters& parameters);
    ~ParanoiaReader();
    ParanoiaReader(const ParanoiaReader&) = delete;
    ParanoiaReader& operator=(const ParanoiaReader&) = delete;

    ChunkRead read(int32_t sectors, std::span<uint8_t> buffer, const StopRequest& stop);

    // Called from paranoia's callback with a position in 16-bit words.
    void noteRepair(long wordPosition);
    void noteSkip(long wordPosition);

    // Stands between paranoia and the drive: `read` is the drive's own sector
    // read (through the library's seam).
    long guardedRead(void* buffer, int32_t firstSector, long sectors, const SectorReader& read);

private:
    // The guard's read of `sectors` sectors none of which is given up: the
    // number read, or all of them once they are given up.
    int32_t readRun(uint8_t* bytes, int32_t firstSector, int32_t sectors, const SectorReader& read);
    // Reports (and forgets) the repairs up to `lastSector`, within the chunk.
    std::optional<SectorSpan> takeRepairs(int32_t firstSector, int32_t lastSector);
    std::vector<int32_t> takeLost(int32_t firstSector, int32_t lastSector);
    bool aborted() const { return stop_ != nullptr && stop_->requested(); }
    // Sets paranoia's mode and the retry counts for a range.
    void configure(const DriveParameters& parameters);
    // Moves paranoia's cursor, and position_, to `sector`; false when
    // paranoia refuses it.
    bool seek(int32_t sector);

    ParanoiaReader(CddaHandle drive, ParanoiaHandle paranoia);

    CddaHandle drive_;
    ParanoiaHandle paranoia_;
    int32_t position_ = 0;
    // Paranoia's cursor stands at position_, and all it holds beyond was
    // read from the disc: no abort has cut a read short since the last seek.
    bool cursorAtPosition_ = false;
    bool correcting_ = false;
    int retries_ = 0;
    // Failed drive reads a sector may take before it is given up.
    int allowedFailures_ = 1;
    // What stops the read in progress.
    const StopRequest* stop_ = nullptr;
    // Repaired sectors not yet reported with their chunk.
    std::set<int32_t> repairs_;
    // Sectors given up or skipped, not yet reported with their chunk.
    std::set<int32_t> lost_;
    // Sectors given up in this range: they stand as silence whenever
    // paranoia asks for them again.
    std::set<int32_t> givenUp_;
    // Failed reads per sector not yet read or given up.
    std::map<int32_t, int> failures_;
};

} // namespace cdlib
