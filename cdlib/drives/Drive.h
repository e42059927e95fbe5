// SPDX-License-Identifier: GPL-3.0-or-later
// The one interface behind every drive of the library: physical drives,
// disc images, and drives a caller adds itself (the tests' virtual drives). The CR_* functions pick
// the active drive and call it; range bookkeeping, output formats and jitter
// counting live above this interface (Ripper), so every kind of drive only
// delivers raw CD audio sectors.
#pragma once

#include "CdRip_dll.h"
#include "drives/CdText.h"
#include "drives/DiscInfo.h"
#include "drives/DriveParameters.h"
#include "playback/PlaySource.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cdlib {

enum class DriveKind : int32_t { Physical = 0, Image = 1, Virtual = 2 };

// Sectors of one repair, inclusive.
struct SectorSpan {
    int32_t first = 0;
    int32_t last = 0;

    void include(const SectorSpan& other) {
        first = std::min(first, other.first);
        last = std::max(last, other.last);
    }
};

// What one read of a drive produced.
struct ChunkRead {
    // How far the read position moved; the sectors of a failed read are
    // passed over as well, so that a bad spot cannot stall a range.
    int32_t sectorsConsumed = 0;
    // Raw 16-bit stereo 44100 Hz bytes written to the buffer.
    int32_t rawBytes = 0;
    // False: nothing of this read can be used (the chunk answers 1), and
    // every sector it consumed is lost.
    bool usable = true;
    // Sectors that jitter correction repaired in this read.
    std::optional<SectorSpan> repaired;
    // Sectors of a usable read that could not be read at all: the drive
    // stands silence (or whatever it made up) in for them.
    std::vector<int32_t> lostSectors;
    // A drive that delivers less than it read caps the chunk here, in bytes
    // of the output format.
    std::optional<int32_t> deliverAtMost;

    // A read whose sectors are lost: the range moves past them.
    static ChunkRead lost(int32_t sectors) {
        ChunkRead read;
        read.usable = false;
        read.sectorsConsumed = sectors;
        return read;
    }
};

// The caller's abort indicator: a plain int32_t that programs set from a
// signal handler or another thread at any time. The library only polls it,
// on the caller's thread and on an open range's reader thread, for as long
// as the range is open; null is never set.
inline bool abortRequested(const int32_t* indicator) {
    return indicator != nullptr && *static_cast<const volatile int32_t*>(indicator) != 0;
}

// What ends a read early: the library's stop flag, which any thread may set,
// or the caller's abort indicator of the moment (the caller may hand the
// library its indicator while the read runs).
class StopRequest {
public:
    StopRequest(const std::atomic<bool>& flag, const std::atomic<const int32_t*>& indicator)
        : flag_(flag)
        , indicator_(indicator) {}

    bool requested() const { return flag_ || abortRequested(indicator_.load()); }

private:
    const std::atomic<bool>& flag_;
    const std::atomic<const int32_t*>& indicator_;
};

// A drive's answer to a play position query, in sectors.
struct PlayPosition {
    uint32_t inTrack = 0;
    uint32_t absolute = 0;
};

class Drive {
public:
    Drive() = default;
    Drive(const Drive&) = delete;
    Drive& operator=(const Drive&) = delete;
    virtual ~Drive() = default;

    virtual DriveKind kind() const = 0;
    // The identification text of the parameter record (at most 255 bytes).
    virtual std::string identification() const = 0;
    // What tells two drives apart across enumerations: a device or image path.
    virtual std::string location() const = 0;

    // The table of contents: entries 0..N-1 the tracks, entry N the lead-out.
    virtual std::optional<std::vector<TTocEntry>> readToc() = 0;
    // The CD-Text of the disc whose table readToc read last; empty when it
    // carries none.
    virtual CdText cdText() { return {}; }
    // What the disc whose table readToc read last carries beside it: its
    // catalogue number, ISRCs, track flags and pregaps; empty when nothing.
    virtual DiscInfo discInfo() { return {}; }

    // Takes parameters as they are applied; false when the drive rejects them.
    virtual bool applyParameters(const DriveParameters& /*parameters*/) { return true; }

    // Reading: openRange, any number of readChunk, closeRange.
    virtual bool openRange(int32_t firstSector, int32_t lastSector,
                           const DriveParameters& parameters) = 0;
    // Reads up to `sectors` sectors at the read position into `buffer`
    // (room for `sectors` * 2352 bytes). Returns in bounded time whatever
    // the medium does: what cannot be read is reported lost. A stop
    // request, also one made while the read runs, ends the read early; what
    // was read so far is delivered. Called on the range's reader thread.
    virtual ChunkRead readChunk(int32_t sectors, std::span<uint8_t> buffer,
                                const StopRequest& stop) = 0;
    // Reads wait on a device (a spinning disc, a simulated one): a range
    // then reads ahead on a thread of its own while the caller works.
    virtual bool readsWaitOnDevice() const { return true; }
    virtual void closeRange() = 0;
    // Sectors before the disc's first (its lead-in) or past its lead-out,
    // which a read offset may reach: a drive that can read there says so,
    // and reads them into `buffer` while a range is open; false when it
    // could not. Disc images hold nothing there.
    virtual bool readsOutsideDisc() const { return false; }
    virtual bool readOutsideDisc(int32_t /*firstSector*/, int32_t /*sectors*/,
                                 std::span<uint8_t> /*buffer*/) {
        return false;
    }

    virtual bool play(int32_t firstSector, int32_t lastSector) = 0;
    virtual bool pause(bool paused) = 0;
    virtual bool stop() = 0;
    virtual PlayPosition playPosition() = 0;
    virtual void setPlayPosition(uint32_t sector) = 0;
    // What digital playback reads this drive's sections from: a handle of
    // its own, for the player's thread. Null when the drive cannot be played
    // that way.
    virtual std::unique_ptr<PlaySource> playSource() { return nullptr; }
    virtual bool lock(bool locked) = 0;
    virtual bool eject(bool open) = 0;

    // The library's transport layer changed: drives that talk to hardware
    // reopen their device with the new access mode.
    virtual void transportLayerChanged(int32_t /*layer*/) {}

    // Why the drive has no readable disc when it knows (an image that cannot
    // be parsed, a data file that is missing); empty otherwise.
    virtual std::string problem() const { return {}; }
    // What the drive did on its own to read its disc that its user should
    // know (a data file read in place of a missing one); empty otherwise.
    virtual std::string notice() const { return {}; }
    // The drive is no longer the active one: it may let go of what it holds
    // open (an image's files) until it is used again.
    virtual void release() {}
};

// Hands a medium change (CR_DEVICE_ARRIVAL, CR_DEVICE_REMOVE_COMPLETE) to the
// handler of CR_SetDeviceChangeHandler, if one is set.
void postDeviceChange(uint32_t event);

} // namespace cdlib
