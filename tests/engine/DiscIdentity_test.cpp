// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's track table as the online services see it, pinned by the
// AccurateRip files the database keeps for known discs: an audio disc, an
// Enhanced CD (audio, then a data session) and a mixed-mode disc.
#include "AccurateRipDisc.h"
#include "DiscIdentity.h"
#include "EngineTestSupport.h"

namespace enginetest {
namespace {

using DiscIdentity = EngineTest;

// A virtual disc whose tracks start at `starts`, the tracks of `dataTracks`
// (1-based) holding data, as the library reports a disc.
cdlib::VirtualDisc discAt(const std::vector<int32_t>& starts, int32_t leadOut,
                          const std::vector<int>& dataTracks = {}) {
    std::vector<int32_t> sectors;
    for (std::size_t i = 0; i < starts.size(); ++i) {
        sectors.push_back((i + 1 < starts.size() ? starts[i + 1] : leadOut) - starts[i]);
    }
    return discOf(sectors, dataTracks, static_cast<uint32_t>(starts.front()));
}

TEST_F(DiscIdentity, TrackTablesGiveTheIdsTheDatabaseKnows) {
    const struct {
        const char* name;
        cdlib::VirtualDisc disc;
        const char* urlPath;
    } cases[] = {
        {"audio only", discAt({0, 22365}, 39615), "c/1/2/dBAR-002-0000f21c-00027ef8-05021002.bin"},
        // The library gives the data track where the audio session ends,
        // 11,400 sectors before the data track's own start (281585).
        {"Enhanced CD",
         discAt({0, 12617, 40337, 63075, 93260, 117965, 151715, 184190, 215110, 247305, 270185},
                333651, {11}),
         "9/1/4/dBAR-010-00164419-00b9f6e2-9e11600b.bin"},
        {"mixed mode",
         discAt({0,      66578,  76352,  85813,  93610,  103898, 115916, 124593, 134056, 142766,
                 151702, 160570, 169275, 178581, 188309, 196561, 206204, 214695, 223536, 225596,
                 226234, 232518, 239297, 239781, 244839, 254114, 259916, 261072, 261524},
                261826, {1}),
         "4/5/a/dBAR-028-00517a54-05a845d2-af0da31d.bin"},
        // Too short to follow a gap between sessions: one session.
        {"data after the audio, one session", discAt({0, 22365, 39615}, 40615, {3}),
         "4/0/6/dBAR-002-0000f604-00028ab0-0d021d03.bin"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int32_t drive = 0;
        addDrive(c.name, c.disc, &drive);
        TCDRIP engine;
        engine.setCDRomNum(drive);
        const online::DiscToc toc = OnlineToc(engine);
        ASSERT_EQ(toc.problem(), "");
        EXPECT_EQ(online::accurateRipDisc(toc).urlPath(), c.urlPath);
    }
}

} // namespace
} // namespace enginetest
