// SPDX-License-Identifier: GPL-3.0-or-later
// Finding a drive's read offset: a drive that delivers a disc's audio
// shifted by its offset, a database that holds the disc's sector-450
// checksums (computed by the track checksums from the unshifted audio), and
// the offset the search reports, or why it reports none.
#include "OffsetFinder.h"
#include "TrackChecksums.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int64_t kSamplesPerSector = 588;
const std::vector<int32_t> kTrackSectors = {500, 480, 470};

uint32_t discSample(int64_t index) {
    auto value = static_cast<uint32_t>(index) * 0x9E3779B1u;
    value ^= value >> 15;
    return value * 0x85EBCA77u;
}

// The disc's samples first..last (sector numbers), as a drive with read
// offset `offset` delivers them: sample k is the disc's sample k - offset,
// silence outside the disc.
std::vector<uint8_t> driveAudio(int32_t first, int32_t last, int32_t offset, int64_t discSamples) {
    std::vector<uint8_t> audio;
    for (int64_t k = first * kSamplesPerSector; k < (last + 1) * kSamplesPerSector; ++k) {
        const int64_t index = k - offset;
        const uint32_t sample = index >= 0 && index < discSamples ? discSample(index) : 0;
        for (int shift = 0; shift < 32; shift += 8) {
            audio.push_back(static_cast<uint8_t>(sample >> shift));
        }
    }
    return audio;
}

online::DiscToc discToc() {
    online::DiscToc toc;
    int32_t start = 0;
    for (std::size_t i = 0; i < kTrackSectors.size(); ++i) {
        toc.tracks.push_back({static_cast<int>(i + 1), start, true, 1});
        start += kTrackSectors[i];
    }
    toc.leadOut = start;
    return toc;
}

// One database entry of the disc as it is, with every track's confidence.
online::AccurateRipEntry trueEntry(int confidence) {
    const online::DiscToc toc = discToc();
    online::AccurateRipEntry entry;
    for (std::size_t i = 0; i < toc.tracks.size(); ++i) {
        const int32_t first = toc.tracks[i].start;
        const int32_t last = first + kTrackSectors[i] - 1;
        TrackChecksums sums(kTrackSectors[i], i == 0, i + 1 == toc.tracks.size());
        sums.add(driveAudio(first, last, 0, toc.leadOut * kSamplesPerSector));
        entry.tracks.push_back({confidence, sums.accurateRipV1(), *sums.frame450Checksum()});
    }
    return entry;
}

struct Case {
    std::string name;
    int32_t driveOffset;
    online::AccurateRipAnswer (*answer)();
    bool readable;
    TOffsetResult::TKind kind;
    int32_t offset;
    int confidence;
    std::vector<int> tracks;
};

online::AccurateRipAnswer found(std::vector<online::AccurateRipEntry> entries) {
    online::AccurateRipAnswer answer;
    answer.kind = online::AccurateRipAnswer::Kind::Found;
    answer.entries = std::move(entries);
    return answer;
}

online::AccurateRipAnswer theDisc() {
    return found({trueEntry(5)});
}

// The entry with the sector-450 checksums of `tracks` (0-based) changed.
template <std::size_t... tracks> online::AccurateRipAnswer tracksChanged() {
    online::AccurateRipEntry entry = trueEntry(7);
    ((entry.tracks[tracks].frame450Checksum ^= 0x5a5a), ...);
    return found({entry});
}

online::AccurateRipAnswer otherPressingToo() {
    online::AccurateRipEntry other = trueEntry(30);
    for (online::AccurateRipTrack& track : other.tracks) {
        track.frame450Checksum += 1;
    }
    return found({other, trueEntry(12), trueEntry(3)});
}

template <online::AccurateRipAnswer::Kind kind> online::AccurateRipAnswer answerOf() {
    online::AccurateRipAnswer answer;
    answer.kind = kind;
    answer.message = "Cannot look the disc up in the AccurateRip database: no server";
    return answer;
}

using K = TOffsetResult::TKind;
using A = online::AccurateRipAnswer::Kind;

std::vector<Case> cases() {
    // Every offset within the search's range, either way, is found; one beyond is not.
    std::vector<Case> all;
    for (const int32_t offset : {0, 1, 667, -1164, kMaxOffsetSearched, -kMaxOffsetSearched,
                                 kMaxOffsetSearched + 1, -kMaxOffsetSearched - 1}) {
        const bool inRange = std::abs(offset) <= kMaxOffsetSearched;
        all.push_back({(offset < 0 ? "Minus" : "Plus") + std::to_string(std::abs(offset)), offset,
                       theDisc, true, inRange ? K::Found : K::NoMatch, inRange ? offset : 0,
                       inRange ? 5 : 0, inRange ? std::vector<int>{1, 2} : std::vector<int>{}});
    }
    all.insert(
        all.end(),
        {{"PressingsAddUpWhereTheyMatch", 48, otherPressingToo, true, K::Found, 48, 15, {1, 2}},
         {"ATrackThatDisagreesIsPassedOver", 6, tracksChanged<1>, true, K::Found, 6, 7, {1, 3}},
         {"OneTrackMatchingIsNotEnough", 6, tracksChanged<1, 2>, true, K::NoMatch, 0, 0, {}},
         {"NotInDatabase", 667, answerOf<A::NotInDatabase>, true, K::NotInDatabase, 0, 0, {}},
         {"DatabaseUnreachable", 667, answerOf<A::Unavailable>, true, K::Failed, 0, 0, {}},
         {"DriveCannotRead", 667, theDisc, false, K::Failed, 0, 0, {}}});
    return all;
}

class OffsetFinderTest : public ::testing::TestWithParam<Case> {};

TEST_P(OffsetFinderTest, FindsTheShiftTheDatabaseConfirms) {
    const Case& test = GetParam();
    const online::DiscToc toc = discToc();
    std::vector<std::pair<int32_t, int32_t>> reads;
    std::vector<int> progress;
    TOffsetSearch search;
    search.LookUp = [&](const online::AccurateRipDisc& disc, std::stop_token) {
        EXPECT_EQ(disc.audioTrackCount, 3);
        return test.answer();
    };
    search.ReadSectors = [&](int32_t first, int32_t last, std::vector<uint8_t>& audio,
                             std::string& error) {
        reads.emplace_back(first, last);
        if (!test.readable) {
            error = "The drive could not read 1 of sectors 441 to 459";
            return false;
        }
        audio = driveAudio(first, last, test.driveOffset, toc.leadOut * kSamplesPerSector);
        return true;
    };
    search.Progress = [&](int percent) {
        progress.push_back(percent);
    };

    const TOffsetResult result = FindReadOffset(toc, search);
    EXPECT_EQ(result.Kind, test.kind) << OffsetResultText(result);
    EXPECT_EQ(result.Offset, test.offset);
    EXPECT_EQ(result.Confidence, test.confidence);
    EXPECT_EQ(result.Tracks, test.tracks);
    if (test.kind == K::Failed) {
        EXPECT_FALSE(result.Message.empty());
    }
    // Each track's sectors around its sector 450 are read once, no more.
    EXPECT_LE(reads.size(), kTrackSectors.size());
    for (const auto& [first, last] : reads) {
        EXPECT_LE(last - first + 1, 19);
    }
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
}

INSTANTIATE_TEST_SUITE_P(Drives, OffsetFinderTest, ::testing::ValuesIn(cases()),
                         [](const auto& info) { return info.param.name; });

TEST(OffsetFinderTest, ResultTextsSayTheOffsetSigned) {
    TOffsetResult result;
    result.Kind = K::Found;
    result.Offset = 667;
    result.Confidence = 12;
    result.Tracks = {1, 2};
    EXPECT_EQ(OffsetResultText(result),
              "Read offset: +667 (confidence 12, matched on tracks 1 and 2)");
    result.Offset = -1164;
    result.Tracks = {1, 2, 4};
    EXPECT_EQ(OffsetResultText(result),
              "Read offset: -1164 (confidence 12, matched on tracks 1, 2 and 4)");
}

} // namespace
