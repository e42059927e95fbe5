// Tables of contents to MusicBrainz disc IDs: the published vectors, discs
// with data tracks before and after the audio, and tables that cannot
// identify a disc.
#include "MusicBrainzDiscId.h"

#include <gtest/gtest.h>

namespace {

using online::DiscToc;
using online::MusicBrainzDiscId;
using online::TocTrack;

// Audio tracks 1.. starting at the given sectors (lead-in not counted).
DiscToc audioDisc(std::vector<int32_t> starts, int32_t leadOut) {
    DiscToc toc;
    for (std::size_t i = 0; i < starts.size(); ++i) {
        toc.tracks.push_back({static_cast<int>(i + 1), starts[i], false});
    }
    toc.leadOut = leadOut;
    return toc;
}

DiscToc withDataTrack(DiscToc toc, std::size_t at, int32_t start, int32_t leadOut) {
    toc.tracks.insert(toc.tracks.begin() + static_cast<std::ptrdiff_t>(at), {0, start, true});
    for (std::size_t i = 0; i < toc.tracks.size(); ++i) {
        toc.tracks[i].number = static_cast<int>(i + 1);
    }
    toc.leadOut = leadOut;
    return toc;
}

// The table of offsets MusicBrainz and libdiscid publish, lead-in included.
std::vector<int32_t> lessLeadIn(std::vector<int32_t> offsets) {
    for (int32_t& offset : offsets) {
        offset -= 150;
    }
    return offsets;
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
        DiscIdCase{"LibdiscidsOwnVector", audioDisc(lessLeadIn(kLibdiscidVector), 303602 - 150),
                   "xUp1F2NkfP8s8jaeFn_Av3jNEI4-",
                   "1+22+303602+150+9700+25887+39297+53795+63735+77517+94877+107270+123552+"
                   "135522+148422+161197+174790+192022+205545+218010+228700+239590+255470+"
                   "266932+288750"},
        DiscIdCase{"TheCalculationPagesSixTracks",
                   audioDisc({0, 15213, 32164, 46442, 63264, 80339}, 95312),
                   "49HHV7Eb8UKF3aQiNmu1GR8vKTY-", "1+6+95462+150+15363+32314+46592+63414+80489"},
        DiscIdCase{"OneTrack", audioDisc({0}, 279037), "8yz4363CdyKqNa45C30lZWon5jE-",
                   "1+1+279187+150"},
        // The lead-out is where the audio session ends, 11,400 sectors
        // before the data track, not the disc's own.
        DiscIdCase{"EnhancedCdEndsAtItsAudioSession",
                   withDataTrack(audioDisc(lessLeadIn(kEnhancedAudio), 0), 15, 258725 - 150 + 11400,
                                 330000),
                   "TqvKjMu7dMliSfmVEBtrL7sBSno-",
                   "1+15+258725+150+17510+33275+45910+57805+78310+94650+109580+132010+149160+"
                   "165115+177710+203325+215555+235590"},
        // A data track at the start stays in: MusicBrainz numbers from 1.
        DiscIdCase{"MixedModeKeepsItsDataTrack",
                   withDataTrack(audioDisc({20000, 60000}, 0), 0, 0, 150000),
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

DiscToc renumbered(DiscToc toc, std::size_t index, int number) {
    toc.tracks[index].number = number;
    return toc;
}

INSTANTIATE_TEST_SUITE_P(
    MusicBrainz, UnusableTables,
    ::testing::Values(
        UnusableCase{"NoTracks", audioDisc({}, 1000), "no tracks"},
        UnusableCase{"OnlyData", withDataTrack(DiscToc{}, 0, 0, 5000), "no audio"},
        UnusableCase{"NotFromOne", renumbered(audioDisc({0, 100}, 500), 0, 0), "track numbers"},
        UnusableCase{"Gap", renumbered(audioDisc({0, 100}, 500), 1, 3), "track numbers"},
        UnusableCase{"Backwards", audioDisc({0, 300, 200}, 500), "track 3 does not start"},
        UnusableCase{"LeadOutTooSoon", audioDisc({0, 300}, 300), "lead-out"},
        UnusableCase{"DataSessionTooSoon", withDataTrack(audioDisc({0, 300}, 0), 2, 5000, 9000),
                     "too soon"},
        // libdiscid takes no disc longer than a CD can be.
        UnusableCase{"LongerThanAnyCd", audioDisc({0}, 500000), "too long"}),
    [](const auto& info) { return info.param.name; });

} // namespace
