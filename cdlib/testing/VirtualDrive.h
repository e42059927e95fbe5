// SPDX-License-Identifier: GPL-3.0-or-later
// In-process virtual drives: a disc of chosen audio and data tracks with
// deterministic audio, and a script of faults. Tests build them so that
// everything above the CD library runs without hardware. Virtual drives are
// listed after the physical drives and the disc images.
#pragma once

#include "drives/CdText.h"
#include "drives/DiscInfo.h"
#include "playback/PlayClock.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace cdlib {

struct VirtualTrack {
    int32_t sectors = 0; // length in sectors
    bool data = false;   // control bit value 4 set
};

struct VirtualDisc {
    std::vector<VirtualTrack> tracks;
    uint32_t firstSector = 0; // start sector of the first track
    // Tracks are numbered from 1, as the table numbers them.
    CdText text;
    // Catalogue number, ISRCs, flags and pregaps, as a drive would report
    // them: the library checks them as it checks any drive's.
    DiscInfo info;
    // Writes the 2352 bytes of audio sector `sector`; unset, the disc holds
    // VirtualDrive::audioSector. Called on the range's reader thread.
    std::function<void(int32_t sector, std::span<uint8_t> bytes)> audio;
    // The drive reads sectors before the first and past the lead-out (its
    // lead-in and lead-out) as it reads the disc's.
    bool readsOutsideDisc = false;
};

// Faults the drive plays out. Chunk indexes count the CR_RipChunk calls of
// the open range from 0.
struct VirtualFaults {
    // A chunk that covers one of these sectors comes back with result 3 and
    // that sector as first and last jitter position; its audio is still exact.
    std::set<int32_t> jitterSectors;
    // Sectors that only jitter correction reads right: without it their
    // samples come back out of place, as from a drive that lost its
    // position, and nothing is reported; with it they come back exact,
    // reported as jitter errors.
    std::set<int32_t> unstableSectors;
    // Chunks that deliver nothing (result 1, zero bytes); their sectors are
    // lost, reading goes on after them.
    std::set<int> emptyChunks;
    // Chunks that deliver fewer bytes than usual: chunk index -> bytes. The
    // chunk delivers its first bytes (never more than the chunk size); the
    // rest of its sectors are lost.
    std::map<int, int32_t> shortChunks;
    // The medium disappears when reading reaches this sector: from then on
    // every chunk returns 1 with zero bytes, its sectors lost, until the
    // range ends with 4 (at its end, or when the library gives up after a
    // long stretch of lost sectors); the drive reports no disc.
    std::optional<int32_t> mediumLostAtSector;
    // Sectors that cannot be read: a chunk that covers them delivers
    // silence in their place and reports them lost.
    std::set<int32_t> unreadableSectors;
    // Chunks whose read hangs until the abort indicator is set (at most ten
    // seconds, then its sectors are lost); an abort ends the read at once.
    std::set<int> stallingChunks;
    // Operations, by their CR_ name ("CR_ReadToc", "CR_OpenRipper", ...), that
    // answer 1 on this drive while it is the active drive. Operations without
    // a status answer 1 as their number (CR_GetNumTocEntries,
    // CR_GetPercentCompleted, ...), an empty entry (CR_GetTocEntry), zeros
    // (CR_GetPlayPosition) or do nothing (CR_SaveSettings, CR_SetPlayPosition,
    // CR_SetTransportLayer). "CR_Init" fails CR_Init while the drive is
    // listed at all.
    std::set<std::string> failing;
    // Operations that throw std::runtime_error on this drive.
    std::set<std::string> throwing;
    // The transport layer stays where it is whatever CR_SetTransportLayer asks.
    bool transportLayerFixed = false;
    // CR_GetNumTocEntries answers this instead of the disc's track count.
    std::optional<int32_t> tocEntriesOverride;
    // Reading goes no faster than this many times real time (75 sectors a
    // second), paced by the clock like a spinning disc: a reader that falls
    // behind makes up no more than a drive's buffer would. Unset, reading
    // goes as fast as it can.
    std::optional<double> simulatedSpeed;
};

class VirtualDrive final {
public:
    VirtualDrive(std::string id, std::optional<VirtualDisc> disc);
    VirtualDrive(const VirtualDrive&) = delete;
    VirtualDrive& operator=(const VirtualDrive&) = delete;

    const std::string& id() const { return id_; }
    const std::optional<VirtualDisc>& disc() const { return disc_; }

    // Changing the medium posts CR_DEVICE_ARRIVAL / CR_DEVICE_REMOVE_COMPLETE.
    // Inserting a disc also closes the tray.
    void insertDisc(VirtualDisc disc);
    void ejectDisc();

    VirtualFaults& faults() { return faults_; }

    // The play position follows a clock that only the test moves.
    void advancePlayClock(int32_t sectors);

    // What the library did with the drive, for tests to read.
    bool locked() const { return locked_; }
    bool trayOpen() const { return trayOpen_; }
    bool playing() const { return clock_.playing(); }
    bool paused() const { return clock_.paused(); }
    int32_t playFrom() const { return clock_.from(); }
    int32_t playTo() const { return clock_.to(); }
    int32_t playPosition() const { return clock_.position(); }
    int32_t speed() const { return speed_; }
    // Reads whose chunk the library handed to its caller; reads ahead that
    // an abort or a close dropped do not count.
    int chunksRead() const { return chunksRead_; }
    // Every read the drive made, also those read ahead and never handed on.
    int readsMade() const { return readsMade_; }

    // The deterministic content of audio sector `sector`: 2352 bytes of
    // 16-bit stereo PCM, left and right different, no two sectors alike.
    static std::vector<uint8_t> audioSector(int32_t sector);

private:
    friend class VirtualDriveBackend;

    std::string id_;
    std::optional<VirtualDisc> disc_;
    VirtualFaults faults_;
    bool locked_ = false;
    bool trayOpen_ = false;
    PlayClock clock_;
    int32_t speed_ = 0;
    int chunksRead_ = 0;
    std::atomic<int> readsMade_ = 0;
};

// Adds a drive after every drive already listed; returns its drive number.
int addVirtualDrive(std::shared_ptr<VirtualDrive> drive);

// Returns the library to its state before the first CR_Init: no virtual
// drives, no open range, default transport layer, no device-change handler,
// none of the settings of TestHooks.h, and physical drives and images
// enumerated afresh at the next CR_Init. setHostDrivesEnabled stays as it
// was set.
void resetLibrary();

// Tests switch off the enumeration of the machine's physical drives (and of
// VARROW_CD_IMAGES) so that a developer's own CD drive cannot change results.
void setHostDrivesEnabled(bool enabled);

} // namespace cdlib
