// Reading of a sector range through libcdio-paranoia, shared by disc images
// and physical drives. Jitter correction on is paranoia's full mode without
// never-skip, read with a bounded retry count, so that a sector that stays
// unreadable is skipped after the retries instead of stalling the range;
// off is paranoia's disabled mode. Every repair paranoia reports (edge and
// atom fix-ups, drift, skips, dropped or duplicated bytes, read errors)
// marks the chunk that holds the repaired sector.
#pragma once

#include "CdioHandles.h"
#include "Drive.h"

#include <cstdint>
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
    ~ParanoiaReader();
    ParanoiaReader(const ParanoiaReader&) = delete;
    ParanoiaReader& operator=(const ParanoiaReader&) = delete;

    ChunkRead read(int32_t sectors, std::span<uint8_t> buffer, const int32_t* abort);

    // Called from paranoia's callback with a position in 16-bit words.
    void noteRepair(long wordPosition);

private:
    // Reports (and forgets) the repairs up to `lastSector`, within the chunk.
    std::optional<SectorSpan> takeRepairs(int32_t firstSector, int32_t lastSector);

    ParanoiaReader(CddaHandle drive, ParanoiaHandle paranoia, int32_t firstSector, int retries);

    CddaHandle drive_;
    ParanoiaHandle paranoia_;
    int32_t position_;
    int retries_;
    // Repaired sectors not yet reported with their chunk.
    std::set<int32_t> repairs_;
};

} // namespace cdlib
