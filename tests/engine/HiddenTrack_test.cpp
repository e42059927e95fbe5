// SPDX-License-Identifier: GPL-3.0-or-later
// Audio before track 1: a disc whose track 1 starts at 00:30:00 with audio
// before it lists that audio as track 0 and rips it like any track; a
// silent pregap, or a track 1 at the disc's first sector, lists none. The
// track table, and with it the disc's ids, stays the disc's.
#include "EngineTestSupport.h"
#include "TestImages.h"

#include <fstream>

namespace enginetest {
namespace {

using cdlib::testing::imageAudio;
using cdlib::testing::ImageCodes;
using cdlib::testing::writeImage;

struct Case {
    const char* name;
    int32_t pregap;
    bool silent;
    bool listed;
};

const Case kCases[] = {
    {"audio before INDEX 01 at 00:30:00", 30 * 75, false, true},
    {"a silent pregap", 30 * 75, true, false},
    {"track 1 at the first sector", 0, false, false},
};

class HiddenTrackTest : public EngineTest, public ::testing::WithParamInterface<Case> {};

TEST_P(HiddenTrackTest, AudioBeforeTrackOneIsTrackZero) {
    const Case& test = GetParam();
    ImageCodes codes;
    codes.tracks = {{"", test.pregap}};
    const auto image = writeImage(folder_, "disc", {{test.pregap + 300, false}, {200, false}},
                                  cdlib::testing::ImageFormat::Cue, {}, codes);
    if (test.silent) {
        std::fstream bin(image.bin, std::ios::binary | std::ios::in | std::ios::out);
        const std::vector<char> silence(static_cast<std::size_t>(test.pregap) * 2352, 0);
        bin.write(silence.data(), static_cast<std::streamsize>(silence.size()));
    }
    std::ofstream(folder_ / "Varrow.INI")
        << "[CDLIB]\nIMAGE1=" << image.descriptor.string() << "\n";
    TCDRIP engine;
    engine.setCDRomNum(0);
    ASSERT_EQ(engine.Tracks().size(), 2u);
    EXPECT_EQ(engine.Tracks()[0].Track.StartSector, test.pregap);
    ASSERT_EQ(engine.HiddenTrack().has_value(), test.listed);
    if (!test.listed) {
        EXPECT_EQ(engine.TrackByNumber(0), nullptr);
        EXPECT_THROW(engine.RipTrack(0, (folder_ / "00.wav").string()), ECDRIPError);
        return;
    }
    EXPECT_EQ(engine.HiddenTrack()->Number, 0);
    EXPECT_EQ(engine.HiddenTrack()->StartSector, 0);
    EXPECT_EQ(engine.HiddenTrack()->EndSector, test.pregap - 1);
    engine.setWriteWAV(false);
    engine.RipTrack(0, (folder_ / "00.pcm").string());
    EXPECT_TRUE(readFile(folder_ / "00.pcm") == imageAudio(0, test.pregap - 1));
}

INSTANTIATE_TEST_SUITE_P(Discs, HiddenTrackTest, ::testing::ValuesIn(kCases));

} // namespace
} // namespace enginetest
