// SPDX-License-Identifier: GPL-3.0-or-later
// A disc's table of contents as the online databases need it: each track's
// first sector, whether it holds audio, its session, and the disc's true
// lead-out. The engine builds it from what the drive reports; nothing here
// depends on the drive library's types.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace online {

// Between the end of a disc's first session and the first track of the
// next: the session's lead-out (6,750 sectors), the next lead-in (4,500)
// and the next track's pregap (150).
inline constexpr int32_t kSessionGapSectors = 11'400;

struct TocTrack {
    int number = 1;    // as the disc numbers it, 1 ... 99
    int32_t start = 0; // INDEX 01, in sectors from the disc's first (no 150 added)
    bool audio = true; // false for a data track
    int session = 1;   // 1 for single-session discs
};

struct DiscToc {
    std::vector<TocTrack> tracks;
    // The disc's lead-out: after its last session, on an Enhanced CD after
    // the data track.
    int32_t leadOut = 0;

    // Why the table cannot be a disc's ("track 3 starts before track 2
    // ends"), empty when it can: numbers consecutive from 1 to 99, starts
    // rising, every track at least one sector long, sessions not falling,
    // the lead-out within 100 minutes.
    std::string problem() const;

    // Indexes into `tracks` of the audio tracks, in order.
    std::vector<std::size_t> audioTracks() const;
    // Sectors of tracks[index]: up to the next track's start, or to the end
    // of its session when the next track opens a new session, or to the
    // lead-out.
    int32_t trackLength(std::size_t index) const;
    // Where the last audio track ends: the lead-out, or on a disc whose
    // audio is followed by another session, that session's first track
    // less the gap between sessions.
    int32_t audioEnd() const;
};

} // namespace online
