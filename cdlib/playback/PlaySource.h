// SPDX-License-Identifier: GPL-3.0-or-later
// What digital playback reads a section from: a disc image or a drive,
// through a handle of the player's own.
#pragma once

#include <cstdint>
#include <span>

namespace cdlib {

// Reads the sectors to be played, for the player thread only.
class PlaySource {
public:
    PlaySource() = default;
    PlaySource(const PlaySource&) = delete;
    PlaySource& operator=(const PlaySource&) = delete;
    virtual ~PlaySource() = default;

    // Reads `count` sectors from `firstSector` into `buffer` (count * 2352
    // bytes). False when they cannot be read; the player then plays silence
    // for them and goes on.
    virtual bool read(int32_t firstSector, int32_t count, std::span<uint8_t> buffer) = 0;
};

} // namespace cdlib
