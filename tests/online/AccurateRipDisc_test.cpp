// SPDX-License-Identifier: GPL-3.0-or-later
// A disc's AccurateRip ids and its database file's path from its table of
// contents, pinned to discs whose ids the database is known to use: a plain
// audio disc, an Enhanced CD (audio, then a data session) and a mixed-mode
// disc (data track 1).
#include "AccurateRipDisc.h"

#include <gtest/gtest.h>

namespace {

using online::DiscToc;
using online::TocTrack;

// Audio tracks at `starts` (minus `offset`: 150 for addresses), in session 1.
DiscToc audioDisc(std::vector<int32_t> starts, int32_t leadOut, int32_t offset = 0) {
    DiscToc toc;
    for (std::size_t i = 0; i < starts.size(); ++i) {
        toc.tracks.push_back({static_cast<int>(i + 1), starts[i] - offset, true, 1});
    }
    toc.leadOut = leadOut - offset;
    return toc;
}

// "Liquid": ten audio tracks, then a data track in a second session.
DiscToc enhancedCd() {
    DiscToc toc =
        audioDisc({0, 12617, 40337, 63075, 93260, 117965, 151715, 184190, 215110, 247305}, 333651);
    toc.tracks.push_back({11, 281585, false, 2});
    return toc;
}

// A game disc: its data track first, then 28 audio tracks, one session.
DiscToc mixedModeDisc() {
    DiscToc toc =
        audioDisc({150,    66728,  76502,  85963,  93760,  104048, 116066, 124743, 134206, 142916,
                   151852, 160720, 169425, 178731, 188459, 196711, 206354, 214845, 223686, 225746,
                   226384, 232668, 239447, 239931, 244989, 254264, 260066, 261222, 261674},
                  261976, 150);
    toc.tracks.front().audio = false;
    return toc;
}

TEST(AccurateRipDisc, IdsAndFilesOfKnownDiscs) {
    DiscToc audioSessionOnly = enhancedCd();
    audioSessionOnly.tracks.pop_back();
    audioSessionOnly.leadOut = 281585 - online::kSessionGapSectors;
    const struct {
        const char* name;
        DiscToc toc;
        const char* urlPath;
        int32_t audioEnd;
    } cases[] = {
        {"two audio tracks", audioDisc({0, 22365}, 39615),
         "c/1/2/dBAR-002-0000f21c-00027ef8-05021002.bin", 39615},
        {"Enhanced CD", enhancedCd(), "9/1/4/dBAR-010-00164419-00b9f6e2-9e11600b.bin", 270185},
        // The ids that a reader of the audio session alone computes: the
        // database holds no checksums for the disc under them.
        {"Enhanced CD, audio session only", audioSessionOnly,
         "f/2/c/dBAR-010-00154c2f-00af4fd4-890e120a.bin", 270185},
        {"mixed mode", mixedModeDisc(), "4/5/a/dBAR-028-00517a54-05a845d2-af0da31d.bin", 261826},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(c.toc.problem(), "");
        const online::AccurateRipDisc disc = online::accurateRipDisc(c.toc);
        EXPECT_EQ(disc.urlPath(), c.urlPath);
        // The last audio track ends where the audio does, before a later session.
        const std::size_t last = c.toc.audioTracks().back();
        EXPECT_EQ(c.toc.audioEnd(), c.audioEnd);
        EXPECT_EQ(c.toc.tracks[last].start + c.toc.trackLength(last), c.audioEnd);
    }
}

// On a mixed-mode disc the data track holds the entries' first place, and
// the last audio track has none.
TEST(AccurateRipDisc, AudioTracksFindTheirPlaceInTheEntries) {
    const online::AccurateRipDisc plain = online::accurateRipDisc(enhancedCd());
    const online::AccurateRipDisc mixed = online::accurateRipDisc(mixedModeDisc());
    const struct {
        const online::AccurateRipDisc& disc;
        int audioTrack;
        std::optional<int> index;
    } cases[] = {
        {plain, 0, 0}, {plain, 9, 9},   {plain, 10, std::nullopt}, {plain, -1, std::nullopt},
        {mixed, 0, 1}, {mixed, 26, 27}, {mixed, 27, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.disc.entryIndex(c.audioTrack), c.index) << c.audioTrack;
    }
}

TEST(AccurateRipDisc, ATableThatIsNoDiscIsRefusedWithItsProblem) {
    const auto changed = [](auto change) {
        DiscToc toc = audioDisc({0, 22365, 30000}, 39615);
        change(toc);
        return toc;
    };
    const struct {
        DiscToc toc;
        const char* problem;
    } cases[] = {
        {DiscToc{}, "the disc has no tracks"},
        {changed([](DiscToc& t) { t.tracks[1].start = 0; }), "track 2 starts before track 1 ends"},
        {changed([](DiscToc& t) { t.tracks[2].number = 4; }), "track 4 does not follow track 2"},
        {changed([](DiscToc& t) { t.leadOut = 30000; }),
         "the lead-out is not after the last track"},
        {changed([](DiscToc& t) { t.tracks[1].session = 0; }), "track 2 is in session 0"},
        // A second session must leave room for the gap between sessions.
        {changed([](DiscToc& t) { t.tracks[2].session = 2; }),
         "track 3 starts before track 2 ends"},
        {changed([](DiscToc& t) { t.tracks[0].number = 98; }), "track numbers run outside 1 to 99"},
        {changed([](DiscToc& t) { t.tracks[0].number = 0; }), "track numbers run outside 1 to 99"},
        {changed([](DiscToc& t) { t.leadOut = 500000; }), "the lead-out is beyond 100 minutes"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.toc.problem(), c.problem);
        EXPECT_THROW(online::accurateRipDisc(c.toc), std::invalid_argument) << c.problem;
    }
    DiscToc dataOnly = audioDisc({0}, 1000);
    dataOnly.tracks[0].audio = false;
    EXPECT_THROW(online::accurateRipDisc(dataOnly), std::invalid_argument);
}

} // namespace
