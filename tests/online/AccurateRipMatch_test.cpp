// SPDX-License-Identifier: GPL-3.0-or-later
// A track's checksums against the database's entries: which version
// matched, the confidence summed over the matching entries, the best
// confidence when none matches, and a disc or track the database lacks.
#include "AccurateRipMatch.h"

#include <gtest/gtest.h>

namespace {

using online::AccurateRipEntry;
using online::AccurateRipVerdict;

constexpr uint32_t kV1 = 0x11111111;
constexpr uint32_t kV2 = 0x22222222;
constexpr uint32_t kOther = 0x33333333;

// Entries of a three-track disc, each with one checksum for track 2.
std::vector<AccurateRipEntry>
entriesForTrack2(const std::vector<std::pair<uint32_t, int>>& checksums) {
    std::vector<AccurateRipEntry> entries;
    for (const auto& [checksum, confidence] : checksums) {
        AccurateRipEntry entry;
        entry.tracks = {{5, kOther, 0}, {confidence, checksum, 0x450u + checksum}, {5, kOther, 0}};
        entries.push_back(entry);
    }
    return entries;
}

online::AccurateRipDisc threeTrackDisc(bool dataTrackFirst) {
    online::AccurateRipDisc disc;
    disc.audioTrackCount = 3;
    disc.dataTrackFirst = dataTrackFirst;
    return disc;
}

TEST(AccurateRipMatch, TrackResults) {
    constexpr auto matchedV1 = AccurateRipVerdict::MatchedV1;
    constexpr auto matchedV2 = AccurateRipVerdict::MatchedV2;
    constexpr auto notMatched = AccurateRipVerdict::NotMatched;
    constexpr auto absent = AccurateRipVerdict::NotInDatabase;
    const struct {
        const char* name;
        std::vector<std::pair<uint32_t, int>> checksums;
        bool dataTrackFirst;
        int audioTrack;
        AccurateRipVerdict verdict;
        int confidence;
    } cases[] = {
        {"v2", {{kV2, 7}}, false, 1, matchedV2, 7},
        {"v1 only", {{kV1, 4}}, false, 1, matchedV1, 4},
        {"v1 and v2 entries add up", {{kV1, 4}, {kOther, 9}, {kV2, 7}}, false, 1, matchedV2, 11},
        {"not matched: the best confidence",
         {{kOther, 9}, {kOther + 1, 12}},
         false,
         1,
         notMatched,
         12},
        {"an entry without the track is no checksum",
         {{kV2, 0}, {kOther, 3}},
         false,
         1,
         notMatched,
         3},
        {"no entry has the track", {{kV2, 0}}, false, 1, absent, 0},
        {"disc not in the database", {}, false, 1, absent, 0},
        // A mixed-mode disc: the second entry place is the first audio track's.
        {"mixed mode, first audio track", {{kV2, 6}}, true, 0, matchedV2, 6},
        {"mixed mode, last audio track", {{kV2, 6}}, true, 2, absent, 0},
        {"a track beyond the disc", {{kV2, 6}}, false, 3, absent, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const online::AccurateRipTrackResult result =
            online::matchTrack(threeTrackDisc(c.dataTrackFirst), entriesForTrack2(c.checksums),
                               c.audioTrack, kV1, kV2);
        EXPECT_EQ(result.verdict, c.verdict);
        EXPECT_EQ(result.confidence, c.confidence);
    }
}

} // namespace
