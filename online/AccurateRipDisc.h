// SPDX-License-Identifier: GPL-3.0-or-later
// A disc as the AccurateRip database knows it: its two AccurateRip ids and
// its CDDB id, computed from the table of contents, which name the file of
// the disc's checksums in the database.
//
// With a_1 ... a_n the audio tracks' first sectors (data tracks left out)
// and L the disc's true lead-out: id1 = sum of a_i + L, id2 = sum of
// max(a_i, 1) * i + L * (n + 1), both modulo 2^32. The CDDB id counts every
// track, data tracks too, and runs to the true lead-out. On an Enhanced CD
// (audio, then a data session) the true lead-out is the one after the data
// session: ids computed with the audio session's end instead (as
// libdiscid's freedb id is) name a file of another disc or none.
#pragma once

#include "DiscToc.h"

#include <cstdint>
#include <optional>
#include <string>

namespace online {

struct AccurateRipDisc {
    uint32_t id1 = 0;
    uint32_t id2 = 0;
    uint32_t cddb = 0;
    int audioTrackCount = 0;
    // Track 1 is data (a mixed-mode disc): the database's track entries
    // then start with one for the data track.
    bool dataTrackFirst = false;

    // "dBAR-<nnn>-<id1>-<id2>-<cddb>.bin", ids in 8 lower-case hex digits.
    std::string fileName() const;
    // "<id1's last hex digit>/<second last>/<third last>/" + fileName().
    std::string urlPath() const;
    // Where the checksums of audio track `audioTrack` (0 for the first
    // audio track) are in each of the database's entries. On a mixed-mode
    // disc the data track holds the first place, so the last audio track
    // has none.
    std::optional<int> entryIndex(int audioTrack) const;
};

// Raises std::invalid_argument when the table is not a disc's (its
// problem()) or has no audio track.
AccurateRipDisc accurateRipDisc(const DiscToc& toc);

// The CDDB (freedb) disc id over every track, with the true lead-out.
uint32_t cddbDiscId(const DiscToc& toc);

} // namespace online
