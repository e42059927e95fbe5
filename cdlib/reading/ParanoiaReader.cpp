// SPDX-License-Identifier: GPL-3.0-or-later
#include "reading/ParanoiaReader.h"

#include "library/ParameterRecord.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <utility>

namespace cdlib {

namespace {

constexpr long kWordsPerSector = CD_SECTOR_BYTES / 2;

// Paranoia's callback carries no context; only one range reads at a time
// (on its reader thread), so the reader whose read is running is enough.
ParanoiaReader* g_reading = nullptr;

// Every open reader's drive read goes through its guard.
struct GuardedDrive {
    ParanoiaReader* reader;
    long (*originalRead)(cdrom_drive_t*, void*, lsn_t, long);
};
std::map<cdrom_drive_t*, GuardedDrive> g_guarded;

long guardRead(cdrom_drive_t* drive, void* buffer, lsn_t begin, long sectors) {
    const auto found = g_guarded.find(drive);
    if (found == g_guarded.end()) {
        return -1;
    }
    const GuardedDrive& entry = found->second;
    const SectorReader original = [drive, &entry](void* to, int32_t from, long count) {
        return entry.originalRead(drive, to, from, count);
    };
    const SectorReader read = [&original](void* target, int32_t first, long count) {
        return seam().readSectors(target, first, count, original);
    };
    return entry.reader->guardedRead(buffer, begin, sectors, read);
}

// Bytes no drive delivers as a sector of audio: noise that no two sectors
// of a disc share.
const std::array<uint8_t, CD_SECTOR_BYTES>& unreadPattern() {
    static const auto pattern = [] {
        std::array<uint8_t, CD_SECTOR_BYTES> bytes{};
        uint32_t state = 0x9E3779B9u;
        for (uint8_t& byte : bytes) {
            state = state * 1664525u + 1013904223u;
            byte = static_cast<uint8_t>(state >> 24);
        }
        return bytes;
    }();
    return pattern;
}

bool isRepair(paranoia_cb_mode_t mode) {
    switch (mode) {
    case PARANOIA_CB_FIXUP_EDGE:
    case PARANOIA_CB_FIXUP_ATOM:
    case PARANOIA_CB_SCRATCH:
    case PARANOIA_CB_REPAIR:
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
    if (g_reading == nullptr) {
        return;
    }
    if (mode == PARANOIA_CB_SKIP) {
        g_reading->noteSkip(wordPosition);
    } else if (isRepair(mode)) {
        g_reading->noteRepair(wordPosition);
    }
}

} // namespace

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
    drive->i_test_flags = seam().paranoiaSimulation();
    ParanoiaHandle paranoia(cdio_paranoia_init(drive.get()));
    if (!paranoia) {
        return nullptr;
    }
    cdrom_drive_t* const guarded = drive.get();
    const auto originalRead = guarded->read_audio;
    std::unique_ptr<ParanoiaReader> reader(
        new ParanoiaReader(std::move(drive), std::move(paranoia)));
    g_guarded[guarded] = {reader.get(), originalRead};
    guarded->read_audio = guardRead;
    reader->configure(parameters);
    if (!reader->seek(firstSector)) {
        return nullptr;
    }
    return reader;
}

std::unique_ptr<ParanoiaReader> ParanoiaReader::reopen(std::unique_ptr<ParanoiaReader> idle,
                                                       CdIo_t* cdio, int32_t firstSector,
                                                       const DriveParameters& parameters) {
    if (idle && idle->drive_->p_cdio != cdio) {
        idle.reset();
    }
    const bool correcting = parameters.jitterCorrectionOn();
    // The new range starts at paranoia's cursor, in the same mode, and all
    // paranoia holds was read from the disc: no abort made any of it up.
    const bool followsOnIntact = idle && idle->position_ == firstSector &&
                                 idle->cursorAtPosition_ && idle->correcting_ == correcting;
    // Without correction paranoia forgets what it read at every block, so
    // nothing of the earlier range can be taken for the new one. With it,
    // its cache of verified audio carries over: that is what one reading of
    // the whole disc would hold when the new range follows on, but a range
    // read again must read the disc again, so any other range starts afresh.
    if (!idle || (correcting && !followsOnIntact)) {
        idle.reset();
        return open(cdio, firstSector, parameters);
    }
    // Paranoia reads ahead of what it hands out. Unless a sector beyond the
    // last range was given up or has failed reads, its cursor is left where
    // it stands, and what it read ahead is kept, not read again.
    const bool keepsReadAhead = followsOnIntact &&
                                idle->lost_.lower_bound(firstSector) == idle->lost_.end() &&
                                idle->failures_.lower_bound(firstSector) == idle->failures_.end();
    idle->drive_->i_test_flags = seam().paranoiaSimulation();
    idle->configure(parameters);
    if (!keepsReadAhead && !idle->seek(firstSector)) {
        return nullptr;
    }
    if (keepsReadAhead || correcting) {
        // Paranoia may still hand out what it found beyond the last range
        // (read ahead, or in its cache): that is reported with this range.
        idle->repairs_.erase(idle->repairs_.begin(), idle->repairs_.lower_bound(firstSector));
        idle->lost_.erase(idle->lost_.begin(), idle->lost_.lower_bound(firstSector));
        idle->givenUp_.erase(idle->givenUp_.begin(), idle->givenUp_.lower_bound(firstSector));
        idle->failures_.erase(idle->failures_.begin(), idle->failures_.lower_bound(firstSector));
    } else {
        idle->repairs_.clear();
        idle->lost_.clear();
        idle->givenUp_.clear();
        idle->failures_.clear();
    }
    return idle;
}

bool ParanoiaReader::seek(int32_t sector) {
    position_ = sector;
    cursorAtPosition_ = cdio_paranoia_seek(paranoia_.get(), sector, SEEK_SET) >= 0;
    return cursorAtPosition_;
}

ParanoiaReader::ParanoiaReader(CddaHandle drive, ParanoiaHandle paranoia)
    : drive_(std::move(drive))
    , paranoia_(std::move(paranoia)) {}

ParanoiaReader::~ParanoiaReader() {
    paranoia_.reset();
    g_guarded.erase(drive_.get());
    if (g_reading == this) {
        g_reading = nullptr;
    }
}

void ParanoiaReader::configure(const DriveParameters& parameters) {
    correcting_ = parameters.jitterCorrectionOn();
    cdio_paranoia_modeset(paranoia_.get(),
                          correcting_ ? paranoiaCorrectionMode() : PARANOIA_MODE_DISABLE);
    retries_ = parameters.readRetries;
    allowedFailures_ = std::max(1, correcting_ ? retries_ : 1);
}

void ParanoiaReader::noteRepair(long wordPosition) {
    repairs_.insert(static_cast<int32_t>(wordPosition / kWordsPerSector));
}

void ParanoiaReader::noteSkip(long wordPosition) {
    lost_.insert(static_cast<int32_t>(wordPosition / kWordsPerSector));
}

long ParanoiaReader::guardedRead(void* buffer, int32_t firstSector, long sectors,
                                 const SectorReader& read) {
    auto* bytes = static_cast<uint8_t*>(buffer);
    if (aborted() && sectors > 0) {
        // Whatever paranoia makes of this, the read in progress is not
        // delivered; it only has to come back at once.
        if (bytes != nullptr) {
            std::memset(bytes, 0, static_cast<size_t>(sectors) * CD_SECTOR_BYTES);
        }
        return sectors;
    }
    if (sectors <= 0 || bytes == nullptr) {
        // Paranoia's probes for readability carry no buffer.
        return read(buffer, firstSector, sectors);
    }
    // Sectors given up before are not asked for again: they stand as
    // silence each time, so that a stretch known to fail costs no further
    // reads and paranoia, comparing reads, always sees the same answer.
    // The drive reads the runs between them.
    const int32_t end = firstSector + static_cast<int32_t>(sectors);
    int32_t sector = firstSector;
    while (sector < end) {
        uint8_t* const at = bytes + static_cast<size_t>(sector - firstSector) * CD_SECTOR_BYTES;
        if (givenUp_.contains(sector)) {
            std::memset(at, 0, CD_SECTOR_BYTES);
            ++sector;
            continue;
        }
        const auto nextGivenUp = givenUp_.lower_bound(sector);
        const int32_t runEnd = nextGivenUp == givenUp_.end() ? end : std::min(end, *nextGivenUp);
        const int32_t got = readRun(at, sector, runEnd - sector, read);
        sector += got;
        if (sector < runEnd) {
            break;
        }
    }
    return sector - firstSector;
}

int32_t ParanoiaReader::readRun(uint8_t* bytes, int32_t firstSector, int32_t sectors,
                                const SectorReader& read) {
    // Some image drivers answer success for a read past the end of their
    // data file and leave the buffer as it was, or fill a sector only in
    // part: a sector that still ends in the pattern put there before was
    // not read. Only the ends are marked, so that the guard costs no pass
    // over the audio.
    constexpr size_t kTail = 8;
    const uint8_t* const tail = unreadPattern().data() + CD_SECTOR_BYTES - kTail;
    for (int32_t i = 0; i < sectors; ++i) {
        std::memcpy(bytes + static_cast<size_t>(i + 1) * CD_SECTOR_BYTES - kTail, tail, kTail);
    }
    auto got =
        static_cast<int32_t>(std::clamp(read(bytes, firstSector, sectors), 0L, long{sectors}));
    for (int32_t i = 0; i < got; ++i) {
        if (std::memcmp(bytes + static_cast<size_t>(i + 1) * CD_SECTOR_BYTES - kTail, tail,
                        kTail) == 0) {
            got = i;
            break;
        }
    }
    for (int32_t i = 0; i < got; ++i) {
        failures_.erase(firstSector + i);
    }
    if (got == sectors) {
        return got;
    }
    // A read that fails from its first sector on, right after a sector that
    // failed or was given up, continues a stretch known to fail: it is given
    // up at once. Only the first sectors of a stretch take all the retries;
    // paranoia, which reads far ahead and again, would otherwise read the
    // whole stretch as often as the retries allow.
    const int32_t before = firstSector + got - 1;
    bool giveUp = givenUp_.contains(before) || failures_.contains(before);
    for (int32_t i = got; i < sectors; ++i) {
        giveUp = ++failures_[firstSector + i] >= allowedFailures_ || giveUp;
    }
    if (!giveUp) {
        return got;
    }
    for (int32_t i = got; i < sectors; ++i) {
        std::fill_n(bytes + static_cast<size_t>(i) * CD_SECTOR_BYTES, CD_SECTOR_BYTES, uint8_t{0});
        const int32_t sector = firstSector + i;
        failures_.erase(sector);
        givenUp_.insert(sector);
        lost_.insert(sector);
    }
    return sectors;
}

std::vector<int32_t> ParanoiaReader::takeLost(int32_t firstSector, int32_t lastSector) {
    // Sectors before the chunk were delivered already; those after it wait.
    std::vector<int32_t> lost;
    const auto end = lost_.upper_bound(lastSector);
    for (auto it = lost_.lower_bound(firstSector); it != end; ++it) {
        lost.push_back(*it);
        repairs_.erase(*it);
    }
    lost_.erase(lost_.begin(), end);
    return lost;
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

ChunkRead ParanoiaReader::read(int32_t sectors, std::span<uint8_t> buffer,
                               const StopRequest& stop) {
    ChunkRead result;
    const int32_t chunkFirst = position_;
    g_reading = this;
    stop_ = &stop;
    for (int32_t i = 0; i < sectors; ++i) {
        if (aborted()) {
            break;
        }
        const int16_t* samples =
            cdio_paranoia_read_limited(paranoia_.get(), paranoiaCallback, retries_);
        if (aborted()) {
            // What the guard made up for the abort is not audio, and paranoia
            // may hold more of it beyond this sector.
            cursorAtPosition_ = false;
            break;
        }
        if (samples == nullptr) {
            // Paranoia gave up (no medium, driver failure): the rest of the
            // chunk is passed over so that the range still comes to its end.
            for (int32_t sector = position_; sector < chunkFirst + sectors; ++sector) {
                lost_.insert(sector);
            }
            seek(position_ + sectors - i);
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
    stop_ = nullptr;
    if (position_ > chunkFirst) {
        result.lostSectors = takeLost(chunkFirst, position_ - 1);
        result.repaired = takeRepairs(chunkFirst, position_ - 1);
    }
    return result;
}

} // namespace cdlib
