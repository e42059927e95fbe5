// SPDX-License-Identifier: GPL-3.0-or-later
#include "AccurateRipMatch.h"

#include <algorithm>

namespace online {

namespace {

// The entries' places for the track that hold a checksum, in order.
template <typename Visit>
void forEachKnownChecksum(const AccurateRipDisc& disc, const std::vector<AccurateRipEntry>& entries,
                          int audioTrack, Visit visit) {
    const std::optional<int> index = disc.entryIndex(audioTrack);
    if (!index) {
        return;
    }
    const auto place = static_cast<std::size_t>(*index);
    for (const AccurateRipEntry& entry : entries) {
        if (place < entry.tracks.size() && entry.tracks[place].confidence > 0) {
            visit(entry.tracks[place]);
        }
    }
}

} // namespace

AccurateRipTrackResult matchTrack(const AccurateRipDisc& disc,
                                  const std::vector<AccurateRipEntry>& entries, int audioTrack,
                                  uint32_t v1, uint32_t v2) {
    bool known = false;
    bool v2Matched = false;
    int matched = 0;
    int best = 0;
    forEachKnownChecksum(disc, entries, audioTrack, [&](const AccurateRipTrack& track) {
        known = true;
        best = std::max(best, track.confidence);
        if (track.checksum == v2 || track.checksum == v1) {
            matched += track.confidence;
            v2Matched = v2Matched || track.checksum == v2;
        }
    });
    if (!known) {
        return {};
    }
    if (matched == 0) {
        return {AccurateRipVerdict::NotMatched, best};
    }
    return {v2Matched ? AccurateRipVerdict::MatchedV2 : AccurateRipVerdict::MatchedV1, matched};
}

std::vector<Frame450Checksum> frame450Checksums(const AccurateRipDisc& disc,
                                                const std::vector<AccurateRipEntry>& entries,
                                                int audioTrack) {
    std::vector<Frame450Checksum> checksums;
    forEachKnownChecksum(disc, entries, audioTrack, [&](const AccurateRipTrack& track) {
        checksums.push_back({track.frame450Checksum, track.confidence});
    });
    return checksums;
}

} // namespace online
