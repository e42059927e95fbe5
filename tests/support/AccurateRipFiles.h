// SPDX-License-Identifier: GPL-3.0-or-later
// Database files of the AccurateRip database, made for a test's server from
// entries a test chooses. Header-only: tests that include it link the
// online layer themselves.
#pragma once

#include "AccurateRipFile.h"

#include <string>
#include <vector>

namespace varrow::testing {

// The file's bytes for `entries`, as the database serves them.
inline std::string accurateRipFileBytes(const std::vector<online::AccurateRipEntry>& entries) {
    std::string bytes;
    const auto put32 = [&bytes](uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8) {
            bytes += static_cast<char>((value >> shift) & 0xff);
        }
    };
    for (const online::AccurateRipEntry& entry : entries) {
        bytes += static_cast<char>(entry.tracks.size());
        put32(entry.id1);
        put32(entry.id2);
        put32(entry.cddb);
        for (const online::AccurateRipTrack& track : entry.tracks) {
            bytes += static_cast<char>(track.confidence);
            put32(track.checksum);
            put32(track.frame450Checksum);
        }
    }
    return bytes;
}

} // namespace varrow::testing
