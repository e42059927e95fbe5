// SPDX-License-Identifier: GPL-3.0-or-later
// The tags of MP3 files, read back by ffprobe and from the file's last 128
// bytes, and the exact length a VBR file keeps with its tag frame placed
// after the ID3v2 tag.
#include "EngineTestSupport.h"
#include "Id3Tags.h"
#include "LameCoder.h"
#include "Mp3Tags.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <utility>

namespace enginetest {
namespace {

using varrow::testing::ffprobeTags;
using varrow::testing::readId3v1;

constexpr int32_t kSectors = 150;
constexpr int32_t kSectorsPerRead = 10;
constexpr std::size_t kFramesPerSector = 588;

// 40 characters: Polish and a dash are outside Latin-1, é is inside it.
const std::string kTitle = "Żółw — café at the end of the tram line.";
// Cut at 30 bytes, with '?' for what Latin-1 lacks.
const std::string kTitleV1 = "?\xF3?w ? caf\xE9 at the end of the ";
const std::string kPerformer = "Bj\xC3\xB6rk"; // Latin-1 holds it

struct TagCase {
    const char* name;
    bool vbr;
    TLameMode mode;
    int abortAfterChunks; // 0: the whole track
};

class TaggedMp3 : public EngineTest, public ::testing::WithParamInterface<TagCase> {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (std::system("ffprobe -version >/dev/null 2>&1") != 0) {
            GTEST_SKIP() << "ffmpeg is not installed";
        }
        std::ofstream(settingsFilePath())
            << "[CDLIB DRIVE TAGS 1.0]\nSECTORSPERREAD=" << kSectorsPerRead << "\n";
        int32_t number = 0;
        addDrive("TAGS 1.0", discOf({kSectors, kSectors}), &number);
        engine_.setCoder(&coder_);
        engine_.setCDRomNum(number);
        engine_.setEncode(true);
    }

    TLameCoder coder_;
    TCDRIP engine_;
};

TEST_P(TaggedMp3, CarriesEveryFieldAndItsLength) {
    const TagCase& test = GetParam();
    coder_.setMode(test.mode);
    coder_.setEnableVBR(test.vbr);
    int chunks = 0;
    engine_.OnProgress = [&](TCDRIP& sender, uint16_t, int64_t, long double) {
        if (++chunks == test.abortAfterChunks) {
            sender.AbortRip();
        }
    };
    TTrackTags tags;
    tags.Title = kTitle;
    tags.Performer = kPerformer;
    tags.Album = "Morning Tram";
    tags.TrackNumber = 2;
    tags.TrackCount = 12;
    engine_.setTrackTags(tags);
    const std::filesystem::path mp3 = folder_ / "tagged.mp3";
    engine_.RipTrack(2, mp3.string());
    ASSERT_TRUE(hooks_.messages.empty()) << hooks_.messages.front();
    ASSERT_TRUE(std::filesystem::exists(mp3));

    const std::map<std::string, std::string> expected{{"title", kTitle},
                                                      {"artist", kPerformer},
                                                      {"album", "Morning Tram"},
                                                      {"track", "2/12"},
                                                      {"encoder", "Varrow " VARROW_VERSION}};
    EXPECT_EQ(ffprobeTags(mp3), expected);

    // Version 2.3; the title in UTF-16 with a byte-order mark.
    const std::vector<uint8_t> bytes = readFile(mp3);
    ASSERT_GT(bytes.size(), 10u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "ID3\x03");
    const std::string frameId = "TIT2";
    const auto frame = std::search(bytes.begin(), bytes.end(), frameId.begin(), frameId.end());
    ASSERT_LT(frame + 13, bytes.end());
    EXPECT_EQ(frame[10], 1);
    EXPECT_TRUE((frame[11] == 0xFF && frame[12] == 0xFE) ||
                (frame[11] == 0xFE && frame[12] == 0xFF));

    const auto v1 = readId3v1(mp3);
    EXPECT_TRUE(v1.present);
    EXPECT_EQ(v1.title, kTitleV1);
    EXPECT_EQ(v1.artist, "Bj\xF6rk");
    EXPECT_EQ(v1.album, "Morning Tram");
    EXPECT_EQ(v1.track, 2);

    const int32_t sectors =
        test.abortAfterChunks > 0 ? test.abortAfterChunks * kSectorsPerRead : kSectors;
    // Mono is decoded to two equal channels: one frame per sample either way.
    const std::filesystem::path raw = folder_ / "decoded.raw";
    const std::string decode =
        "ffmpeg -v error -y -i '" + mp3.string() + "' -f s16le -ac 2 '" + raw.string() + "'";
    ASSERT_EQ(std::system(decode.c_str()), 0) << decode;
    const std::size_t frames = readFile(raw).size() / 4;
    if (test.vbr) {
        // The VBR/info frame still tells the decoder the encoder's delay
        // and padding: exactly the track comes out.
        EXPECT_EQ(frames, sectors * kFramesPerSector);
        // Its music length counts the audio frames alone, tags outside.
        const std::size_t audioStart =
            10 + (std::size_t{bytes[6]} << 21 | std::size_t{bytes[7]} << 14 |
                  std::size_t{bytes[8]} << 7 | bytes[9]);
        const std::string lame = "LAME";
        const auto lameTag = std::search(bytes.begin() + static_cast<std::ptrdiff_t>(audioStart),
                                         bytes.end(), lame.begin(), lame.end());
        ASSERT_LT(lameTag + 32, bytes.end());
        const std::size_t musicLength = std::size_t{lameTag[28]} << 24 |
                                        std::size_t{lameTag[29]} << 16 |
                                        std::size_t{lameTag[30]} << 8 | lameTag[31];
        EXPECT_EQ(musicLength, bytes.size() - audioStart - 128);
    } else {
        EXPECT_GE(frames, sectors * kFramesPerSector);
        EXPECT_LE(frames, sectors * kFramesPerSector + 4 * 1152);
    }

    // The tags went with that extraction: the next one has none.
    engine_.RipTrack(1, (folder_ / "untagged.mp3").string());
    const std::vector<uint8_t> untagged = readFile(folder_ / "untagged.mp3");
    ASSERT_GT(untagged.size(), 3u);
    EXPECT_NE(std::string(untagged.begin(), untagged.begin() + 3), "ID3");
    EXPECT_FALSE(readId3v1(folder_ / "untagged.mp3").present);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, TaggedMp3,
    ::testing::Values(TagCase{"Cbr", false, STEREO, 0}, TagCase{"Vbr", true, JSTEREO, 0},
                      TagCase{"MonoVbr", true, MONO, 0}, TagCase{"MonoCbr", false, MONO, 0},
                      TagCase{"AbortedVbr", true, JSTEREO, 3}),
    [](const ::testing::TestParamInfo<TagCase>& info) { return std::string(info.param.name); });

// Old players get one '?' per character Latin-1 lacks, and per byte that
// is no UTF-8, never a stray byte of a longer sequence.
TEST(Id3v1Text, ReplacesWhatLatin1LacksOneForOne) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"AC/DC", "AC/DC"},
        {"caf\xC3\xA9 \xC3\xBF", "caf\xE9 \xFF"},
        {"\xC5\x81\xC3\xB3w \xC5\xBA", "?\xF3w ?"},
        {"\xE2\x80\x94|\xF0\x9F\x8E\xB5|", "?|?|"},
        {"\xFFz\xC3", "?z?"},
        {"\xE2\x82x\xC0\xAF", "?x??"},
    };
    for (const auto& [utf8, latin1] : cases) {
        EXPECT_EQ(latin1Replacing(utf8), latin1) << utf8;
    }
}

} // namespace
} // namespace enginetest
