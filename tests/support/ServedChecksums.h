// SPDX-License-Identifier: GPL-3.0-or-later
// A disc's file in the AccurateRip database, made from its tracks' audio as
// it is (no drive's offset in it) and served by a test's local server where
// the database keeps it: what finding a drive's offset compares with.
// Header-only: tests that include it link the engine.
#pragma once

#include "AccurateRipDisc.h"
#include "AccurateRipFiles.h"
#include "LocalHttpServer.h"
#include "TrackChecksums.h"

#include <cstdint>
#include <vector>

namespace varrow::testing {

// The disc of audio tracks that follow each other from sector 0, tracks[i]
// holding track i + 1's bytes.
inline online::DiscToc tocOfTracks(const std::vector<std::vector<uint8_t>>& tracks) {
    online::DiscToc toc;
    int32_t start = 0;
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        toc.tracks.push_back({static_cast<int>(i + 1), start, true, 1});
        start += static_cast<int32_t>(tracks[i].size() / 2352);
    }
    toc.leadOut = start;
    return toc;
}

// Serves one entry of `confidence` rips for the disc of `tracks`.
inline void serveChecksums(LocalHttpServer& server, const std::vector<std::vector<uint8_t>>& tracks,
                           int confidence) {
    const online::AccurateRipDisc disc = online::accurateRipDisc(tocOfTracks(tracks));
    online::AccurateRipEntry entry{disc.id1, disc.id2, disc.cddb, {}};
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        TrackChecksums sums(static_cast<int32_t>(tracks[i].size() / 2352), i == 0,
                            i + 1 == tracks.size());
        sums.add(tracks[i]);
        entry.tracks.push_back(
            {confidence, sums.accurateRipV2(), sums.frame450Checksum().value_or(0)});
    }
    server.serve("/" + disc.urlPath(), httpAnswer(200, accurateRipFileBytes({entry})));
}

} // namespace varrow::testing
