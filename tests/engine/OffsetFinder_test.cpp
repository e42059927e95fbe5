// SPDX-License-Identifier: GPL-3.0-or-later
// Finding a drive's read offset: a drive that delivers a disc's audio
// shifted by its offset, a database that holds the disc's sector-450
// checksums (computed by the track checksums from the unshifted audio), and
// the offset the search reports, or why it reports none.
#include "OffsetFinder.h"
#include "TrackChecksums.h"

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
    const char* name;
    int32_t driveOffset;
    std::function<online::AccurateRipAnswer()> answer;
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

online::AccurateRipAnswer withTrackChanged(std::size_t track) {
    online::AccurateRipEntry entry = trueEntry(7);
    entry.tracks[track].frame450Checksum ^= 0x5a5a;
    return found({entry});
}

online::AccurateRipAnswer otherPressingToo() {
    online::AccurateRipEntry other = trueEntry(30);
    for (online::AccurateRipTrack& track : other.tracks) {
        track.frame450Checksum += 1;
    }
    return found({other, trueEntry(12), trueEntry(3)});
}

online::AccurateRipAnswer answerOf(online::AccurateRipAnswer::Kind kind) {
    online::AccurateRipAnswer answer;
    answer.kind = kind;
    answer.message = "Cannot look the disc up in the AccurateRip database: no server";
    return answer;
}

using K = TOffsetResult::TKind;
const Case kCases[] = {
    {"no offset", 0, [] { return found({trueEntry(5)}); }, true, K::Found, 0, 5, {1, 2}},
    {"+667", 667, [] { return found({trueEntry(5)}); }, true, K::Found, 667, 5, {1, 2}},
    {"-1164", -1164, [] { return found({trueEntry(5)}); }, true, K::Found, -1164, 5, {1, 2}},
    {"one sample", 1, [] { return found({trueEntry(5)}); }, true, K::Found, 1, 5, {1, 2}},
    {"+5000", 5000, [] { return found({trueEntry(5)}); }, true, K::Found, 5000, 5, {1, 2}},
    {"-5000", -5000, [] { return found({trueEntry(5)}); }, true, K::Found, -5000, 5, {1, 2}},
    {"beyond the range", 5001, [] { return found({trueEntry(5)}); }, true, K::NoMatch, 0, 0, {}},
    {"pressings add up where they match", 48, otherPressingToo, true, K::Found, 48, 15, {1, 2}},
    {"a track that disagrees is passed over",
     6,
     [] { return withTrackChanged(1); },
     true,
     K::Found,
     6,
     7,
     {1, 3}},
    {"one track matching is not enough",
     6,
     [] {
         online::AccurateRipEntry entry = trueEntry(7);
         entry.tracks[1].frame450Checksum ^= 1;
         entry.tracks[2].frame450Checksum ^= 1;
         return found({entry});
     },
     true,
     K::NoMatch,
     0,
     0,
     {}},
    {"disc not in the database",
     667,
     [] { return answerOf(online::AccurateRipAnswer::Kind::NotInDatabase); },
     true,
     K::NotInDatabase,
     0,
     0,
     {}},
    {"database unreachable",
     667,
     [] { return answerOf(online::AccurateRipAnswer::Kind::Unavailable); },
     true,
     K::Failed,
     0,
     0,
     {}},
    {"drive cannot read", 667, [] { return found({trueEntry(5)}); }, false, K::Failed, 0, 0, {}},
};

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

INSTANTIATE_TEST_SUITE_P(Drives, OffsetFinderTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             std::string name;
                             for (const char c : std::string(info.param.name)) {
                                 name += c == '+'                                      ? 'p'
                                         : c == '-'                                    ? 'm'
                                         : std::isalnum(static_cast<unsigned char>(c)) ? c
                                                                                       : '_';
                             }
                             return name;
                         });

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
