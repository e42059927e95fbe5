// SPDX-License-Identifier: GPL-3.0-or-later
// A ripped track's AccurateRip checksums against the database's entries
// for its disc. An entry may hold v1 or v2 checksums, so both are compared;
// a track's confidence is the sum over the entries whose checksum it
// matches. Entries with confidence 0 hold no checksum for the track.
#pragma once

#include "AccurateRipDisc.h"
#include "AccurateRipFile.h"

#include <cstdint>
#include <vector>

namespace online {

enum class AccurateRipVerdict {
    MatchedV2,    // some entry holds the track's v2 checksum
    MatchedV1,    // only the v1 checksum is in the database
    NotMatched,   // the database has checksums for the track, none of them this
    NotInDatabase // no entry has a checksum for the track (or none for the disc)
};

struct AccurateRipTrackResult {
    AccurateRipVerdict verdict = AccurateRipVerdict::NotInDatabase;
    // Matched: the sum of the matching entries' confidences. Not matched:
    // the highest confidence the database has for the track.
    int confidence = 0;
};

// `audioTrack` counts the disc's audio tracks from 0; `entries` are the
// database's for `disc` (none when the disc is not in it).
AccurateRipTrackResult matchTrack(const AccurateRipDisc& disc,
                                  const std::vector<AccurateRipEntry>& entries, int audioTrack,
                                  uint32_t v1, uint32_t v2);

struct Frame450Checksum {
    uint32_t checksum = 0;
    int confidence = 0;
};

// The sector-450 checksums the database holds for an audio track, one per
// entry that has the track: what finding a drive's read offset compares.
std::vector<Frame450Checksum> frame450Checksums(const AccurateRipDisc& disc,
                                                const std::vector<AccurateRipEntry>& entries,
                                                int audioTrack);

} // namespace online
