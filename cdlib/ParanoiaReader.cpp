#include "ParanoiaReader.h"

#include "DriveParameters.h"
#include "TestHooks.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <utility>

namespace cdlib {

namespace {

constexpr long kWordsPerSector = CD_SECTOR_BYTES / 2;

int g_testFlags = 0;
SectorReadFilter g_readFilter;

// Paranoia's callback carries no context; reading is single-threaded, so the
// reader whose read is running is enough.
ParanoiaReader* g_reading = nullptr;

struct FilteredDrive {
    long (*originalRead)(cdrom_drive_t*, void*, lsn_t, long);
    SectorReadFilter filter;
};
std::map<cdrom_drive_t*, FilteredDrive> g_filtered;

long filteredRead(cdrom_drive_t* drive, void* buffer, lsn_t begin, long sectors) {
    const auto found = g_filtered.find(drive);
    if (found == g_filtered.end()) {
        return -1;
    }
    const FilteredDrive& entry = found->second;
    const SectorReader read = [drive, &entry](void* target, int32_t first, long count) {
        return entry.originalRead(drive, target, first, count);
    };
    return entry.filter(buffer, begin, sectors, read);
}

bool isRepair(paranoia_cb_mode_t mode) {
    switch (mode) {
    case PARANOIA_CB_FIXUP_EDGE:
    case PARANOIA_CB_FIXUP_ATOM:
    case PARANOIA_CB_SCRATCH:
    case PARANOIA_CB_REPAIR:
    case PARANOIA_CB_SKIP:
    case PARANOIA_CB_DRIFT:
    case PARANOIA_CB_FIXUP_DROPPED:
    case PARANOIA_CB_FIXUP_DUPED:
    case PARANOIA_CB_READERR:
        return true;
    default:
        return false;
    }
}

void paranoiaCallback(long wordPosition, paranoia_cb_mode_t mode) {
    if (g_reading != nullptr && isRepair(mode)) {
        g_reading->noteRepair(wordPosition);
    }
}

} // namespace

void setParanoiaTestFlags(int flags) {
    g_testFlags = flags;
}

void setSectorReadFilter(SectorReadFilter filter) {
    g_readFilter = std::move(filter);
}

std::unique_ptr<ParanoiaReader> ParanoiaReader::open(CdIo_t* cdio, int32_t firstSector,
                                                     const DriveParameters& parameters) {
    CddaHandle drive(cdio_cddap_identify_cdio(cdio, CDDA_MESSAGE_FORGETIT, nullptr));
    if (!drive) {
        return nullptr;
    }
    // CD audio arrives little-endian from images and MMC drives alike; left
    // undecided, paranoia would guess the byte order from the music.
    drive->bigendianp = 0;
    if (cdio_cddap_open(drive.get()) != 0) {
        return nullptr;
    }
    drive->i_test_flags = g_testFlags;
    ParanoiaHandle paranoia(cdio_paranoia_init(drive.get()));
    if (!paranoia) {
        return nullptr;
    }
    cdio_paranoia_modeset(paranoia.get(), parameters.jitterCorrectionOn() ? paranoiaCorrectionMode()
                                                                          : PARANOIA_MODE_DISABLE);
    if (cdio_paranoia_seek(paranoia.get(), firstSector, SEEK_SET) < 0) {
        return nullptr;
    }
    if (g_readFilter) {
        g_filtered[drive.get()] = {drive->read_audio, g_readFilter};
        drive->read_audio = filteredRead;
    }
    return std::unique_ptr<ParanoiaReader>(new ParanoiaReader(std::move(drive), std::move(paranoia),
                                                              firstSector, parameters.readRetries));
}

ParanoiaReader::ParanoiaReader(CddaHandle drive, ParanoiaHandle paranoia, int32_t firstSector,
                               int retries)
    : drive_(std::move(drive))
    , paranoia_(std::move(paranoia))
    , position_(firstSector)
    , retries_(retries) {}

ParanoiaReader::~ParanoiaReader() {
    paranoia_.reset();
    g_filtered.erase(drive_.get());
    if (g_reading == this) {
        g_reading = nullptr;
    }
}

void ParanoiaReader::noteRepair(long wordPosition) {
    repairs_.insert(static_cast<int32_t>(wordPosition / kWordsPerSector));
}

std::optional<SectorSpan> ParanoiaReader::takeRepairs(int32_t firstSector, int32_t lastSector) {
    // Paranoia reads ahead, so it may repair sectors of later chunks while
    // this one is read; those wait for their own chunk.
    std::optional<SectorSpan> span;
    const auto end = repairs_.upper_bound(lastSector);
    for (auto it = repairs_.begin(); it != end; ++it) {
        const int32_t sector = std::clamp(*it, firstSector, lastSector);
        if (span) {
            span->include({sector, sector});
        } else {
            span = SectorSpan{sector, sector};
        }
    }
    repairs_.erase(repairs_.begin(), end);
    return span;
}

ChunkRead ParanoiaReader::read(int32_t sectors, std::span<uint8_t> buffer, const int32_t* abort) {
    ChunkRead result;
    const int32_t chunkFirst = position_;
    g_reading = this;
    for (int32_t i = 0; i < sectors; ++i) {
        if (abort != nullptr && *abort != 0) {
            break;
        }
        const int16_t* samples =
            cdio_paranoia_read_limited(paranoia_.get(), paranoiaCallback, retries_);
        if (samples == nullptr) {
            // Paranoia gave up (no medium, driver failure): the rest of the
            // chunk is passed over so that the range still comes to its end.
            position_ += sectors - i;
            cdio_paranoia_seek(paranoia_.get(), position_, SEEK_SET);
            result.sectorsConsumed = sectors;
            result.usable = result.rawBytes > 0;
            break;
        }
        std::memcpy(buffer.data() + static_cast<size_t>(i) * CD_SECTOR_BYTES, samples,
                    CD_SECTOR_BYTES);
        result.rawBytes += CD_SECTOR_BYTES;
        ++result.sectorsConsumed;
        ++position_;
    }
    g_reading = nullptr;
    if (position_ > chunkFirst) {
        result.repaired = takeRepairs(chunkFirst, position_ - 1);
    }
    return result;
}

} // namespace cdlib
