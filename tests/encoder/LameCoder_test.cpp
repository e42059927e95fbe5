// SPDX-License-Identifier: GPL-3.0-or-later
#include "LameCoder.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

// From lame.h, whose mode names clash with the coder's.
extern "C" const char* get_lame_short_version();

namespace {

TEST(LameCoderSettings, NewCoderHasTheDocumentedDefaultsAndConfiguration) {
    const TLameCoder coder;
    EXPECT_EQ(coder.SampleRate(), 44100U);
    EXPECT_EQ(coder.Bitrate(), 128U);
    EXPECT_EQ(coder.MaxBitrate(), 320U);
    EXPECT_EQ(coder.Quality(), NORMAL_QUALITY);
    EXPECT_FALSE(coder.Private());
    EXPECT_TRUE(coder.CRC());
    EXPECT_EQ(coder.Mode(), STEREO);
    EXPECT_FALSE(coder.Copyright());
    EXPECT_FALSE(coder.Original());
    EXPECT_FALSE(coder.WriteVBRHeader());
    EXPECT_FALSE(coder.EnableVBR());
    EXPECT_EQ(coder.VBRQuality(), 4);
    EXPECT_EQ(coder.DefaultExt(), ".mp3");
    EXPECT_TRUE(coder.InputFiles().empty());
    EXPECT_TRUE(coder.OutputFiles().empty());
    EXPECT_EQ(coder.ChunkSamples(), 0U);

    const BE_CONFIG config = coder.BuildConfig();
    const auto& lhv1 = config.format.LHV1;
    EXPECT_EQ(config.dwConfig, BE_CONFIG_LAME);
    EXPECT_EQ(lhv1.dwStructVersion, 1U);
    EXPECT_EQ(lhv1.dwStructSize, 331U);
    EXPECT_EQ(lhv1.dwSampleRate, 44100U);
    EXPECT_EQ(lhv1.dwReSampleRate, 0U);
    EXPECT_EQ(lhv1.nMode, BE_MP3_MODE_STEREO);
    EXPECT_EQ(lhv1.dwBitrate, 128U);
    EXPECT_EQ(lhv1.dwMaxBitrate, 320U);
    EXPECT_EQ(lhv1.nPreset, NORMAL_QUALITY);
    EXPECT_EQ(lhv1.dwMpegVersion, MPEG1);
    EXPECT_EQ(lhv1.bCRC, -1);
    EXPECT_EQ(lhv1.bPrivate, 0);
    EXPECT_EQ(lhv1.bWriteVBRHeader, 0);
    EXPECT_EQ(lhv1.nVBRQuality, 4);
    EXPECT_EQ(lhv1.dwVbrAbr_bps, 0U);
    EXPECT_EQ(lhv1.nQuality, 0U);
}

TEST(LameCoderSettings, BooleansCrossAsAllBitsSet) {
    TLameCoder coder;
    coder.setPrivate(true);
    coder.setCopyright(true);
    coder.setOriginal(true);
    coder.setCRC(false);
    const auto& lhv1 = coder.BuildConfig().format.LHV1;
    EXPECT_EQ(lhv1.bPrivate, -1);
    EXPECT_EQ(lhv1.bCopyright, -1);
    EXPECT_EQ(lhv1.bOriginal, -1);
    EXPECT_EQ(lhv1.bCRC, 0);
}

TEST(LameCoderSettings, EnableVBRDrivesWriteVBRHeader) {
    TLameCoder coder;
    coder.setEnableVBR(true);
    EXPECT_TRUE(coder.EnableVBR());
    EXPECT_TRUE(coder.WriteVBRHeader());
    EXPECT_EQ(coder.BuildConfig().format.LHV1.bEnableVBR, -1);
    EXPECT_EQ(coder.BuildConfig().format.LHV1.bWriteVBRHeader, -1);

    coder.setEnableVBR(false);
    EXPECT_FALSE(coder.EnableVBR());
    EXPECT_FALSE(coder.WriteVBRHeader());

    coder.setWriteVBRHeader(true);
    EXPECT_TRUE(coder.WriteVBRHeader());
    EXPECT_FALSE(coder.EnableVBR());
}

TEST(LameCoderSettings, ModeAcceptsOnlyTheFourModes) {
    TLameCoder coder;
    coder.setMode(MONO);
    coder.setMode(7);
    EXPECT_EQ(coder.Mode(), MONO);
    coder.setMode(-1);
    EXPECT_EQ(coder.Mode(), MONO);
    coder.setMode(JSTEREO);
    EXPECT_EQ(coder.Mode(), JSTEREO);
    EXPECT_EQ(coder.BuildConfig().format.LHV1.nMode, BE_MP3_MODE_JSTEREO);
}

TEST(LameCoderSettings, AssignCopiesTheEncodingSettingsOnly) {
    TLameCoder source;
    source.setSampleRate(22050);
    source.setMode(MONO);
    source.setBitrate(64);
    source.setMaxBitrate(192);
    source.setQuality(HIGH_QUALITY);
    source.setPrivate(true);
    source.setCRC(false);
    source.setCopyright(true);
    source.setOriginal(true);
    source.setEnableVBR(true);
    source.setVBRQuality(2);
    source.setDefaultExt(".mpa");
    source.setMp3FileName("song.mp3");
    source.setInputFiles({"a.wav"});

    TLameCoder target;
    target.Assign(source);
    EXPECT_EQ(target.SampleRate(), 22050U);
    EXPECT_EQ(target.Mode(), MONO);
    EXPECT_EQ(target.Bitrate(), 64U);
    EXPECT_EQ(target.MaxBitrate(), 192U);
    EXPECT_EQ(target.Quality(), HIGH_QUALITY);
    EXPECT_TRUE(target.Private());
    EXPECT_FALSE(target.CRC());
    EXPECT_TRUE(target.Copyright());
    EXPECT_TRUE(target.Original());
    EXPECT_TRUE(target.WriteVBRHeader());
    EXPECT_TRUE(target.EnableVBR());
    EXPECT_EQ(target.VBRQuality(), 2);
    EXPECT_EQ(target.DefaultExt(), ".mp3");
    EXPECT_TRUE(target.Mp3FileName().empty());
    EXPECT_TRUE(target.InputFiles().empty());
}

TEST(LameCoderSettings, VersionIsTheLibrarysAndAssignCopiesItsNumbers) {
    const TLameCoder coder;
    const TLameVersion& version = coder.LameVersion();
    const std::string expected =
        std::to_string(version.MajorVersion()) + "." + std::to_string(version.MinorVersion());
    EXPECT_EQ(expected, get_lame_short_version());
    EXPECT_EQ(version.DLLMajorVersion(), 1);

    TLameVersion copy;
    copy.Assign(version);
    EXPECT_EQ(copy.MajorVersion(), version.MajorVersion());
    EXPECT_EQ(copy.MinorVersion(), version.MinorVersion());
    EXPECT_EQ(copy.DLLMajorVersion(), version.DLLMajorVersion());
    EXPECT_EQ(copy.DLLMinorVersion(), version.DLLMinorVersion());
}

TEST(LameCoderFileLists, OutputNamesFollowTheInputsWithTheDefaultExtension) {
    TLameCoder coder;
    coder.setInputFiles({"a.wav", "b", "/music/disc.1/c.d.wav"});
    EXPECT_EQ(coder.InputFiles(),
              (std::vector<std::string>{"a.wav", "b", "/music/disc.1/c.d.wav"}));
    EXPECT_EQ(coder.OutputFiles(),
              (std::vector<std::string>{"a.mp3", "b.mp3", "/music/disc.1/c.d.mp3"}));

    coder.setInputFiles({"x.wav"});
    EXPECT_EQ(coder.OutputFiles(), (std::vector<std::string>{"x.mp3"}));

    coder.setOutputFiles({"elsewhere.mp3", "other.mp3"});
    EXPECT_EQ(coder.OutputFiles(), (std::vector<std::string>{"elsewhere.mp3", "other.mp3"}));
    EXPECT_EQ(coder.InputFiles(), (std::vector<std::string>{"x.wav"}));
}

// Runs the downmix over a chunk followed by guard values that must survive.
std::vector<int16_t> downmixed(std::vector<int16_t> chunk, uint8_t monoMix) {
    const auto chunkSamples = static_cast<uint32_t>(chunk.size());
    chunk.insert(chunk.end(), {1234, -1234});
    TLameCoder::DownmixToMono(chunk.data(), chunkSamples, monoMix);
    EXPECT_EQ(chunk[chunkSamples], 1234);
    EXPECT_EQ(chunk[chunkSamples + 1], -1234);
    chunk.resize(chunkSamples / 2);
    return chunk;
}

TEST(LameCoderDownmix, MeanRoundsHalfToEvenAndReachesTheExtremes) {
    const std::vector<int16_t> pairs{1,      0,      3,     0,     -1,  0,    -3, 0,
                                     -32768, -32768, 32767, 32767, 100, -100, 5,  4,
                                     -32768, 32767,  32767, 32766, -5,  -4,   7,  0};
    const std::vector<int16_t> expected{0, 2, 0, -2, -32768, 32767, 0, 4, 0, 32766, -4, 4};
    EXPECT_EQ(downmixed(pairs, MONOMIX_MEAN), expected);
    // Any value above 3 also means the mean.
    EXPECT_EQ(downmixed(pairs, 9), expected);
}

TEST(LameCoderDownmix, LeftOrRightPicksOneValueOfEachPair) {
    EXPECT_EQ(downmixed({5, 9, 6, 10}, MONOMIX_LEFT), (std::vector<int16_t>{5, 6}));
    EXPECT_EQ(downmixed({5, 9, 6, 10}, MONOMIX_RIGHT), (std::vector<int16_t>{9, 10}));
}

TEST(LameCoderDownmix, NoneLeavesTheChunkAlone) {
    std::vector<int16_t> chunk{5, 9, 6, 10};
    TLameCoder::DownmixToMono(chunk.data(), 4, MONOMIX_NONE);
    EXPECT_EQ(chunk, (std::vector<int16_t>{5, 9, 6, 10}));
}

TEST(LameCoderStream, StereoAndMonoStreamsReportTheirChunkAndBufferSizes) {
    TLameCoder coder;
    ASSERT_EQ(coder.InitStream(), 0U);
    EXPECT_EQ(coder.ChunkSamples(), 2304U);
    EXPECT_EQ(coder.OutputBufferSize(), 1440U + 7200U);

    coder.setMode(MONO);
    ASSERT_EQ(coder.InitStream(), 0U); // closes the stereo stream first
    EXPECT_EQ(coder.ChunkSamples(), 1152U);
    EXPECT_EQ(coder.OutputBufferSize(), 1440U + 7200U);

    // 22.05 kHz input is resampled to 32 kHz, so one chunk yields more output.
    coder.setSampleRate(22050);
    ASSERT_EQ(coder.InitStream(), 0U);
    EXPECT_EQ(coder.ChunkSamples(), 1152U);
    EXPECT_EQ(coder.OutputBufferSize(), (1672U * 5 + 3) / 4 + 7200U);
    EXPECT_EQ(coder.CloseStream(), 0U);
    EXPECT_EQ(coder.ChunkSamples(), 0U);
}

TEST(LameCoderStream, ChunkWithoutMonoMixIsEncodedUnchanged) {
    TLameCoder coder;
    ASSERT_EQ(coder.InitStream(), 0U);
    std::vector<int16_t> chunk(coder.ChunkSamples());
    for (std::size_t i = 0; i < chunk.size(); ++i) {
        chunk[i] = static_cast<int16_t>(i * 7);
    }
    const std::vector<int16_t> original = chunk;
    std::vector<uint8_t> output(coder.OutputBufferSize());
    uint32_t produced = 99;
    EXPECT_EQ(coder.EncodeChunk(chunk.data(), output.data(), MONOMIX_NONE, produced), 0U);
    EXPECT_EQ(chunk, original);
    EXPECT_LE(produced, coder.OutputBufferSize());
}

TEST(LameCoderStream, RefusedConfigurationLeavesNoStreamAndCloseIsHarmless) {
    TLameCoder coder;
    coder.setBitrate(7);
    EXPECT_NE(coder.InitStream(), 0U);
    EXPECT_EQ(coder.ChunkSamples(), 0U);
    EXPECT_EQ(coder.OutputBufferSize(), 0U);
    coder.CloseStream();
    coder.CloseStream();

    coder.setBitrate(128);
    coder.setSampleRate(12345);
    EXPECT_NE(coder.InitStream(), 0U);
    coder.CloseStream();

    // Nothing is left behind: encoding without a stream is refused.
    std::vector<int16_t> chunk(2304);
    std::vector<uint8_t> output(8640);
    uint32_t produced = 0;
    EXPECT_EQ(coder.EncodeChunk(chunk.data(), output.data(), MONOMIX_NONE, produced),
              BE_ERR_INVALID_HANDLE);
    EXPECT_EQ(produced, 0U);

    coder.setSampleRate(44100);
    EXPECT_EQ(coder.InitStream(), 0U);
}

TEST(LameCoderStream, TagFrameOutlivesCloseUntilTheNextStream) {
    TLameCoder coder;
    coder.setEnableVBR(true);
    ASSERT_EQ(coder.InitStream(), 0U);
    std::vector<uint8_t> output(coder.OutputBufferSize());
    uint32_t produced = 0;
    ASSERT_EQ(coder.DeinitStream(output.data(), produced), 0U);
    EXPECT_FALSE(coder.VBRTagFrame().empty());
    coder.CloseStream();
    EXPECT_FALSE(coder.VBRTagFrame().empty());

    coder.setEnableVBR(false);
    ASSERT_EQ(coder.InitStream(), 0U);
    EXPECT_TRUE(coder.VBRTagFrame().empty());
    ASSERT_EQ(coder.DeinitStream(output.data(), produced), 0U);
    EXPECT_TRUE(coder.VBRTagFrame().empty());
}

} // namespace
