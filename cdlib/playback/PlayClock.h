// SPDX-License-Identifier: GPL-3.0-or-later
// Analogue playback for drives that have no analogue path (images, virtual
// drives): a position that moves through the played section as a clock
// advances, 75 sectors a second, so that everything above the library
// behaves as with a real drive.
#pragma once

#include "drives/Drive.h"

#include <chrono>
#include <cstdint>
#include <vector>

namespace cdlib {

class PlayClock final {
public:
    void play(int32_t firstSector, int32_t lastSector);
    void pause(bool paused);
    void stop();
    // Moves the position on while playing and not paused; playing ends on
    // the last sector of the section.
    void advance(int64_t sectors);
    void setPosition(int32_t sector) { position_ = sector; }

    bool playing() const { return playing_; }
    bool paused() const { return paused_; }
    int32_t from() const { return from_; }
    int32_t to() const { return to_; }
    int32_t position() const { return position_; }

    // The position on the disc and within the track that holds it.
    PlayPosition positionIn(const std::vector<TTocEntry>& toc) const;

private:
    bool playing_ = false;
    bool paused_ = false;
    int32_t from_ = 0;
    int32_t to_ = 0;
    int32_t position_ = 0;
};

// The position of `sector` on the disc and within the track that holds it;
// nothing for sectors up to 0.
PlayPosition positionOnDisc(int32_t sector, const std::vector<TTocEntry>& toc);

// Feeds a PlayClock from the wall clock.
class WallClockFeed final {
public:
    // Advances `clock` by the time it played since the last call; time
    // spent paused or stopped does not count.
    void update(PlayClock& clock);
    // Starts counting afresh, as when playing starts.
    void restart();

private:
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
    int64_t elapsedMicroseconds_ = 0;
    int64_t sectorsGiven_ = 0;
};

} // namespace cdlib
