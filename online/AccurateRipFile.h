// SPDX-License-Identifier: GPL-3.0-or-later
// The AccurateRip database's file for one disc: one entry per pressing (or
// per way of ripping it) that was submitted, each with the disc's ids and,
// for every track, how many rips agreed (the confidence, at most 200), the
// track's checksum (v1 or v2) and the checksum of the track's sector 450
// (for finding a drive's read offset).
//
// Layout, little-endian: entries one after another, each a track count
// (u8), id1, id2 and the CDDB id (u32 each), then per track its confidence
// (u8), checksum (u32) and sector-450 checksum (u32).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace online {

struct AccurateRipTrack {
    int confidence = 0;
    uint32_t checksum = 0;
    uint32_t frame450Checksum = 0;
};

struct AccurateRipEntry {
    uint32_t id1 = 0;
    uint32_t id2 = 0;
    uint32_t cddb = 0;
    std::vector<AccurateRipTrack> tracks;
};

struct AccurateRipFile {
    std::vector<AccurateRipEntry> entries;
    // Why the bytes are not a database file for the disc ("entry 2 is cut
    // short"); empty when every byte was read. A damaged file yields no
    // entries: half a file is not an answer to trust.
    std::string problem;

    bool valid() const { return problem.empty(); }
};

// Reads the file of a disc of `trackCount` audio tracks: every entry must
// hold that many tracks, and the bytes must end where an entry ends.
AccurateRipFile parseAccurateRipFile(std::string_view bytes, int trackCount);

} // namespace online
