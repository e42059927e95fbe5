// SPDX-License-Identifier: GPL-3.0-or-later
// Encodes generated audio the way the engine does, writes the file, and
// checks it from outside: frame headers, the tag frame, and what ffmpeg
// decodes from it.
#include "LameCoder.h"
#include "Mp3TestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <set>

namespace {

using namespace varrow::testing;

constexpr double kLeftHz = 440.0;
constexpr double kRightHz = 1500.0;
constexpr double kSeconds = 3.0;
constexpr std::size_t kFrameSamples = 1152;
constexpr std::size_t kEncoderDelay = 576;

class EncodingTest : public ::testing::Test {
protected:
    // Encodes, writes `name`, checks every frame is MPEG-1 layer III at
    // 44.1 kHz and decodes the file.
    DecodedAudio encodeAndDecode(const std::string& name, uint8_t monoMix) {
        encoded_ = encodeStereo(coder_, tones_, monoMix);
        frames_ = splitFrames(encoded_.bytes);
        EXPECT_FALSE(frames_.empty());
        for (const FrameHeader& frame : frames_) {
            EXPECT_EQ(frame.mpegVersion, 1);
            EXPECT_EQ(frame.layer, 3);
            EXPECT_EQ(frame.sampleRate, 44100U);
        }
        const auto file = dir_.path() / name;
        writeFile(file, encoded_.bytes);
        const int channels = frames_.empty() || frames_[0].channelMode == 3 ? 1 : 2;
        return decodeWithFfmpeg(file, channels, dir_);
    }

    void expectEveryFrame(int channelMode, bool crc) {
        for (const FrameHeader& frame : frames_) {
            EXPECT_EQ(frame.channelMode, channelMode);
            EXPECT_EQ(frame.crc, crc);
        }
    }

    // A decoder hands back the input plus at most the encoder's delay and
    // the padding of the last frame.
    void expectDuration(const DecodedAudio& audio) const {
        const auto decoded = static_cast<long>(audio.frames());
        const auto input = static_cast<long>(encoded_.stereoPairsEncoded);
        EXPECT_LE(std::labs(decoded - input), static_cast<long>(kFrameSamples + kEncoderDelay))
            << "decoded " << decoded << " samples of " << input;
    }

    TLameCoder coder_;
    TempDir dir_;
    const std::vector<int16_t> tones_ = stereoTones(kLeftHz, kRightHz, kSeconds);
    EncodedStream encoded_;
    std::vector<FrameHeader> frames_;
};

TEST_F(EncodingTest, ConstantBitrateJointStereoKeepsEachChannelsTone) {
    coder_.setMode(JSTEREO);
    const DecodedAudio audio = encodeAndDecode("cbr.mp3", MONOMIX_NONE);
    expectEveryFrame(1, true);
    for (const FrameHeader& frame : frames_) {
        EXPECT_EQ(frame.bitrateKbps, 128U);
        EXPECT_FALSE(frame.privateBit || frame.copyright || frame.original);
    }
    // Without WriteVBRHeader there is no tag frame: the stream is all audio.
    EXPECT_TRUE(encoded_.tagFrame.empty());
    ASSERT_FALSE(frames_.empty());
    const std::vector<uint8_t> firstFrame(encoded_.bytes.begin(),
                                          encoded_.bytes.begin() + frames_[0].length);
    EXPECT_FALSE(findXingTag(firstFrame).has_value());
    expectDuration(audio);
    ASSERT_EQ(audio.channels, 2);
    EXPECT_GT(tonePower(audio, 0, kLeftHz), 100 * tonePower(audio, 0, kRightHz));
    EXPECT_GT(tonePower(audio, 1, kRightHz), 100 * tonePower(audio, 1, kLeftHz));
}

TEST_F(EncodingTest, VariableBitrateFileStartsWithATagThatCountsItsFrames) {
    coder_.setMode(JSTEREO);
    coder_.setEnableVBR(true);
    const DecodedAudio audio = encodeAndDecode("vbr.mp3", MONOMIX_NONE);
    expectEveryFrame(1, true);

    // The stream's first emitted frame is a placeholder of exactly the tag's
    // size, so writing the tag over it leaves every later frame in place.
    ASSERT_FALSE(encoded_.tagFrame.empty());
    const auto placeholder =
        parseFrameHeader(encoded_.emittedFirstTag.data(), encoded_.emittedFirstTag.size());
    ASSERT_TRUE(placeholder.has_value());
    EXPECT_EQ(placeholder->length, encoded_.tagFrame.size());
    EXPECT_FALSE(findXingTag(encoded_.emittedFirstTag).has_value());

    ASSERT_GE(frames_.size(), 2U);
    EXPECT_EQ(frames_[0].length, encoded_.tagFrame.size());
    const auto tag = findXingTag(encoded_.tagFrame);
    ASSERT_TRUE(tag.has_value());
    EXPECT_EQ(tag->magic, "Xing");
    ASSERT_TRUE(tag->frames.has_value());
    EXPECT_EQ(*tag->frames, frames_.size() - 1);

    std::set<uint32_t> bitrates;
    for (std::size_t i = 1; i < frames_.size(); ++i) {
        bitrates.insert(frames_[i].bitrateKbps);
        EXPECT_GE(frames_[i].bitrateKbps, 128U);
        EXPECT_LE(frames_[i].bitrateKbps, 320U);
    }
    EXPECT_GT(bitrates.size(), 1U);
    expectDuration(audio);
    ASSERT_EQ(audio.channels, 2);
    EXPECT_GT(tonePower(audio, 0, kLeftHz), 100 * tonePower(audio, 0, kRightHz));
}

TEST_F(EncodingTest, MonoFromStereoCarriesTheChosenChannel) {
    coder_.setMode(MONO);
    const DecodedAudio left = encodeAndDecode("left.mp3", MONOMIX_LEFT);
    expectEveryFrame(3, true);
    // A MONO stream's chunk of 1152 values is 576 stereo pairs, and each
    // pair becomes one mono sample.
    EXPECT_EQ(encoded_.stereoPairsEncoded, tones_.size() / 1152 * 576);
    expectDuration(left);
    ASSERT_EQ(left.channels, 1);
    EXPECT_GT(tonePower(left, 0, kLeftHz), 100 * tonePower(left, 0, kRightHz));

    const DecodedAudio right = encodeAndDecode("right.mp3", MONOMIX_RIGHT);
    EXPECT_GT(tonePower(right, 0, kRightHz), 100 * tonePower(right, 0, kLeftHz));

    const DecodedAudio mean = encodeAndDecode("mean.mp3", MONOMIX_MEAN);
    const double leftPower = tonePower(mean, 0, kLeftHz);
    const double rightPower = tonePower(mean, 0, kRightHz);
    EXPECT_LT(std::max(leftPower, rightPower), 2 * std::min(leftPower, rightPower));
}

TEST_F(EncodingTest, DualChannelCodesTheChannelsApart) {
    coder_.setMode(DUALCHANNEL);
    const DecodedAudio audio = encodeAndDecode("dual.mp3", MONOMIX_NONE);
    expectEveryFrame(2, true);
    EXPECT_GT(tonePower(audio, 0, kLeftHz), 100 * tonePower(audio, 0, kRightHz));
    EXPECT_GT(tonePower(audio, 1, kRightHz), 100 * tonePower(audio, 1, kLeftHz));
}

TEST_F(EncodingTest, FrameFlagsFollowTheSettings) {
    coder_.setCRC(false);
    coder_.setPrivate(true);
    coder_.setCopyright(true);
    coder_.setOriginal(true);
    encodeAndDecode("flags.mp3", MONOMIX_NONE);
    expectEveryFrame(0, false);
    for (const FrameHeader& frame : frames_) {
        EXPECT_TRUE(frame.privateBit && frame.copyright && frame.original);
        EXPECT_EQ(frame.emphasis, 0) << "CD audio carries no emphasis";
    }
}

TEST(EncodingPresets, VoiceLeavesOutWhatLiesAboveSpeech) {
    TempDir dir;
    const std::vector<int16_t> noise = stereoNoise(2.0);
    auto highBandPower = [&](MPEG_QUALITY quality, const std::string& name) {
        TLameCoder coder;
        coder.setQuality(quality);
        const EncodedStream encoded = encodeStereo(coder, noise, MONOMIX_NONE);
        writeFile(dir.path() / name, encoded.bytes);
        const DecodedAudio audio = decodeWithFfmpeg(dir.path() / name, 2, dir);
        return tonePower(audio, 0, 14000.0);
    };
    EXPECT_GT(highBandPower(NORMAL_QUALITY, "normal.mp3"),
              100 * highBandPower(VOICE_QUALITY, "voice.mp3"));
}

TEST(EncodingPresets, LowAndHighChooseTheAlgorithmQuality) {
    const std::vector<int16_t> tones = stereoTones(440.0, 660.0, 0.5);
    // The tag's quality indicator falls by one for each step towards the
    // fastest algorithm: LOW is LAME's 7, HIGH its 2.
    auto indicator = [&tones](MPEG_QUALITY quality) -> int64_t {
        TLameCoder coder;
        coder.setEnableVBR(false);
        coder.setWriteVBRHeader(true);
        coder.setQuality(quality);
        const EncodedStream encoded = encodeStereo(coder, tones, MONOMIX_NONE);
        const auto tag = findXingTag(encoded.tagFrame);
        EXPECT_TRUE(tag.has_value() && tag->quality.has_value());
        return tag && tag->quality ? int64_t{*tag->quality} : -1000;
    };
    const int64_t low = indicator(LOW_QUALITY);
    const int64_t high = indicator(HIGH_QUALITY);
    EXPECT_EQ(high - low, 5);
    EXPECT_EQ(indicator(NORMAL_QUALITY) - low, 4);
}

} // namespace
