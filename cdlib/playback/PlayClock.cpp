// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/PlayClock.h"

#include <algorithm>

namespace cdlib {

void PlayClock::play(int32_t firstSector, int32_t lastSector) {
    from_ = firstSector;
    to_ = lastSector;
    position_ = firstSector;
    playing_ = true;
    paused_ = false;
}

void PlayClock::pause(bool paused) {
    if (playing_) {
        paused_ = paused;
    }
}

void PlayClock::stop() {
    playing_ = false;
    paused_ = false;
}

void PlayClock::advance(int64_t sectors) {
    if (!playing_ || paused_ || sectors <= 0) {
        return;
    }
    const int64_t target = std::min<int64_t>(static_cast<int64_t>(position_) + sectors, to_);
    position_ = static_cast<int32_t>(target);
    if (position_ >= to_) {
        playing_ = false;
    }
}

PlayPosition PlayClock::positionIn(const std::vector<TTocEntry>& toc) const {
    return positionOnDisc(position_, toc);
}

PlayPosition positionOnDisc(int32_t sector, const std::vector<TTocEntry>& toc) {
    PlayPosition result;
    if (sector <= 0) {
        return result;
    }
    result.absolute = static_cast<uint32_t>(sector);
    uint32_t trackStart = 0;
    // Every entry but the lead-out starts a track.
    for (size_t i = 0; i + 1 < toc.size(); ++i) {
        if (toc[i].StartSector <= result.absolute) {
            trackStart = toc[i].StartSector;
        }
    }
    result.inTrack = result.absolute - trackStart;
    return result;
}

void WallClockFeed::update(PlayClock& clock) {
    const auto now = std::chrono::steady_clock::now();
    if (clock.playing() && !clock.paused()) {
        elapsedMicroseconds_ +=
            std::chrono::duration_cast<std::chrono::microseconds>(now - last_).count();
    }
    last_ = now;
    // Whole sectors of the time played so far, counted from the start so that
    // rounding never accumulates.
    const int64_t due = elapsedMicroseconds_ * CD_SECTORS_PER_SECOND / 1'000'000;
    clock.advance(due - sectorsGiven_);
    sectorsGiven_ = due;
}

void WallClockFeed::restart() {
    last_ = std::chrono::steady_clock::now();
    elapsedMicroseconds_ = 0;
    sectorsGiven_ = 0;
}

} // namespace cdlib
