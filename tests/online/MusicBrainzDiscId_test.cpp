// SPDX-License-Identifier: GPL-3.0-or-later
// Tables of contents to MusicBrainz disc IDs: the published vectors, discs
// with data tracks before and after the audio, and tables that cannot
// identify a disc.
#include "MusicBrainzDiscId.h"

#include <gtest/gtest.h>

namespace {

using online::DiscToc;
using online::MusicBrainzDiscId;
using online::TocTrack;

// Audio tracks 1.. as MusicBrainz publishes a table: offsets and lead-out
// with the 150 sectors of the lead-in.
DiscToc published(std::vector<int32_t> offsets, int32_t leadOut) {
    DiscToc toc{{}, leadOut - 150};
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        toc.tracks.push_back({static_cast<int>(i + 1), offsets[i] - 150});
    }
    return toc;
}

// A data track after the audio opens a session of its own.
DiscToc withDataTrack(DiscToc toc, std::size_t at, int32_t start, int32_t leadOut) {
    const int session = at > 0 && at == toc.tracks.size() ? 2 : 1;
    toc.tracks.insert(toc.tracks.begin() + static_cast<std::ptrdiff_t>(at),
                      {0, start, false, session});
    for (std::size_t i = 0; i < toc.tracks.size(); ++i) {
        toc.tracks[i].number = static_cast<int>(i + 1);
    }
    toc.leadOut = leadOut;
    return toc;
}

const std::vector<int32_t> kLibdiscidVector = {
    150,    9700,   25887,  39297,  53795,  63735,  77517,  94877,  107270, 123552, 135522,
    148422, 161197, 174790, 192022, 205545, 218010, 228700, 239590, 255470, 266932, 288750};
// An Enhanced CD: 15 audio tracks, the data track in a second session.
const std::vector<int32_t> kEnhancedAudio = {150,    17510,  33275,  45910,  57805,
                                             78310,  94650,  109580, 132010, 149160,
                                             165115, 177710, 203325, 215555, 235590};

struct DiscIdCase {
    const char* name;
    DiscToc toc;
    std::string id;
    std::string tocParameter;
};

class DiscIds : public ::testing::TestWithParam<DiscIdCase> {};

TEST_P(DiscIds, ComeFromTheTable) {
    const DiscIdCase& c = GetParam();
    const MusicBrainzDiscId disc = MusicBrainzDiscId::of(c.toc);
    ASSERT_TRUE(disc.valid()) << disc.problem;
    EXPECT_EQ(disc.id, c.id);
    EXPECT_EQ(disc.tocParameter(), c.tocParameter);
    EXPECT_EQ(disc.submissionUrl, "https://musicbrainz.org/cdtoc/attach?id=" + c.id + "&tracks=" +
                                      std::to_string(disc.lastTrack) + "&toc=" + c.tocParameter);
}

INSTANTIATE_TEST_SUITE_P(
    MusicBrainz, DiscIds,
    ::testing::Values(
        DiscIdCase{"LibdiscidsOwnVector", published(kLibdiscidVector, 303602),
                   "xUp1F2NkfP8s8jaeFn_Av3jNEI4-",
                   "1+22+303602+150+9700+25887+39297+53795+63735+77517+94877+107270+123552+"
                   "135522+148422+161197+174790+192022+205545+218010+228700+239590+255470+"
                   "266932+288750"},
        DiscIdCase{"TheCalculationPagesSixTracks",
                   published({150, 15363, 32314, 46592, 63414, 80489}, 95462),
                   "49HHV7Eb8UKF3aQiNmu1GR8vKTY-", "1+6+95462+150+15363+32314+46592+63414+80489"},
        DiscIdCase{"OneTrack", published({150}, 279187), "8yz4363CdyKqNa45C30lZWon5jE-",
                   "1+1+279187+150"},
        // The lead-out is where the audio session ends, 11,400 sectors
        // before the data track, not the disc's own.
        DiscIdCase{"EnhancedCdEndsAtItsAudioSession",
                   withDataTrack(published(kEnhancedAudio, 0), 15, 258725 - 150 + 11400, 330000),
                   "TqvKjMu7dMliSfmVEBtrL7sBSno-",
                   "1+15+258725+150+17510+33275+45910+57805+78310+94650+109580+132010+149160+"
                   "165115+177710+203325+215555+235590"},
        // A data track at the start stays in: MusicBrainz numbers from 1.
        DiscIdCase{"MixedModeKeepsItsDataTrack",
                   withDataTrack(published({20150, 60150}, 0), 0, 0, 150000),
                   "T_Ub6D_9tyqyKYZ1Rw_aPwfy8fI-", "1+3+150150+150+20150+60150"}),
    [](const auto& info) { return info.param.name; });

struct UnusableCase {
    const char* name;
    DiscToc toc;
    const char* problem; // a piece of it
};

class UnusableTables : public ::testing::TestWithParam<UnusableCase> {};

TEST_P(UnusableTables, GiveNoIdAndSayWhy) {
    const UnusableCase& c = GetParam();
    const MusicBrainzDiscId disc = MusicBrainzDiscId::of(c.toc);
    EXPECT_FALSE(disc.valid());
    EXPECT_TRUE(disc.id.empty());
    EXPECT_NE(disc.problem.find(c.problem), std::string::npos) << disc.problem;
}

INSTANTIATE_TEST_SUITE_P(MusicBrainz, UnusableTables,
                         ::testing::Values(
                             // What a table of contents cannot be is its own table (the
                             // AccurateRip disc's test); here, that its problem is the ID's.
                             UnusableCase{"Backwards", published({150, 450, 350}, 650),
                                          "track 3 starts before track 2 ends"},
                             UnusableCase{"OnlyData", withDataTrack(DiscToc{}, 0, 0, 5000),
                                          "no audio"}),
                         [](const auto& info) { return info.param.name; });

} // namespace
