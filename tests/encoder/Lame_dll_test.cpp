// SPDX-License-Identifier: GPL-3.0-or-later
#include "Lame_dll.h"
#include "Mp3TestSupport.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

BE_CONFIG cbrConfig(uint32_t rate = 44100, uint32_t bitrate = 128) {
    BE_CONFIG config{};
    config.dwConfig = BE_CONFIG_LAME;
    auto& lhv1 = config.format.LHV1;
    lhv1.dwStructVersion = 1;
    lhv1.dwStructSize = sizeof(BE_CONFIG);
    lhv1.dwSampleRate = rate;
    lhv1.nMode = BE_MP3_MODE_JSTEREO;
    lhv1.dwBitrate = bitrate;
    lhv1.dwMaxBitrate = 320;
    lhv1.dwMpegVersion = MPEG1;
    lhv1.nVBRQuality = 4;
    return config;
}

// Opens a stream for `config`, returns its status and closes it again.
BE_ERR openStatus(const BE_CONFIG& config) {
    uint32_t samples = 0;
    uint32_t bufferSize = 0;
    HBE_STREAM stream = 0;
    const BE_ERR status = beInitStream(&config, &samples, &bufferSize, &stream);
    if (status == BE_ERR_SUCCESSFUL) {
        EXPECT_NE(stream, 0U);
        EXPECT_EQ(beCloseStream(stream), BE_ERR_SUCCESSFUL);
    } else {
        EXPECT_EQ(stream, 0U);
    }
    return status;
}

// The stream's first frame header, from the placeholder the stream emits
// first when the tag is on.
varrow::testing::FrameHeader firstFrameOf(BE_CONFIG config) {
    config.format.LHV1.bWriteVBRHeader = -1;
    uint32_t samples = 0;
    uint32_t bufferSize = 0;
    HBE_STREAM stream = 0;
    EXPECT_EQ(beInitStream(&config, &samples, &bufferSize, &stream), BE_ERR_SUCCESSFUL);
    std::vector<uint8_t> output(bufferSize);
    uint32_t produced = 0;
    EXPECT_EQ(beDeinitStream(stream, output.data(), &produced), BE_ERR_SUCCESSFUL);
    beCloseStream(stream);
    const auto header = varrow::testing::parseFrameHeader(output.data(), produced);
    EXPECT_TRUE(header.has_value());
    return header.value_or(varrow::testing::FrameHeader{});
}

TEST(LameLibraryConfig, RefusesWhatLameWouldQuietlyBend) {
    EXPECT_EQ(openStatus(cbrConfig()), BE_ERR_SUCCESSFUL);
    EXPECT_EQ(openStatus(cbrConfig(44100, 7)), BE_ERR_INVALID_FORMAT_PARAMETERS);
    EXPECT_EQ(openStatus(cbrConfig(44100, 0)), BE_ERR_INVALID_FORMAT_PARAMETERS);
    EXPECT_EQ(openStatus(cbrConfig(44100, 129)), BE_ERR_INVALID_FORMAT_PARAMETERS);
    EXPECT_EQ(openStatus(cbrConfig(44100, 384)), BE_ERR_INVALID_FORMAT_PARAMETERS);
    EXPECT_EQ(openStatus(cbrConfig(12345)), BE_ERR_INVALID_FORMAT_PARAMETERS);
    EXPECT_EQ(openStatus(cbrConfig(0)), BE_ERR_INVALID_FORMAT_PARAMETERS);

    BE_CONFIG config = cbrConfig();
    config.format.LHV1.nMode = 4;
    EXPECT_EQ(openStatus(config), BE_ERR_INVALID_FORMAT_PARAMETERS);
    config = cbrConfig();
    config.format.LHV1.nPreset = 4;
    EXPECT_EQ(openStatus(config), BE_ERR_INVALID_FORMAT_PARAMETERS);
    config = cbrConfig();
    config.format.LHV1.dwEmphasis = 2;
    EXPECT_EQ(openStatus(config), BE_ERR_INVALID_FORMAT_PARAMETERS);
    config = cbrConfig();
    config.format.LHV1.dwMpegVersion = 7;
    EXPECT_EQ(openStatus(config), BE_ERR_INVALID_FORMAT_PARAMETERS);
}

TEST(LameLibraryConfig, VbrNeedsAValidRangeAndQuality) {
    BE_CONFIG config = cbrConfig(44100, 128);
    config.format.LHV1.bEnableVBR = -1;
    EXPECT_EQ(openStatus(config), BE_ERR_SUCCESSFUL);
    config.format.LHV1.dwMaxBitrate = 112;
    EXPECT_EQ(openStatus(config), BE_ERR_INVALID_FORMAT_PARAMETERS);
    config.format.LHV1.dwMaxBitrate = 330;
    EXPECT_EQ(openStatus(config), BE_ERR_INVALID_FORMAT_PARAMETERS);
    config.format.LHV1.dwMaxBitrate = 320;
    config.format.LHV1.nVBRQuality = 10;
    EXPECT_EQ(openStatus(config), BE_ERR_INVALID_FORMAT_PARAMETERS);
    config.format.LHV1.nVBRQuality = 0;
    EXPECT_EQ(openStatus(config), BE_ERR_SUCCESSFUL);
}

TEST(LameLibraryConfig, RefusesOtherLayouts) {
    BE_CONFIG config = cbrConfig();
    config.dwConfig = BE_CONFIG_MP3;
    EXPECT_EQ(openStatus(config), BE_ERR_INVALID_FORMAT);
    config = cbrConfig();
    config.format.LHV1.dwStructSize = 300;
    EXPECT_EQ(openStatus(config), BE_ERR_INVALID_FORMAT);
    config = cbrConfig();
    config.format.LHV1.dwStructVersion = 0;
    EXPECT_EQ(openStatus(config), BE_ERR_INVALID_FORMAT);

    uint32_t samples = 0;
    uint32_t bufferSize = 0;
    EXPECT_EQ(beInitStream(&config, &samples, &bufferSize, nullptr),
              BE_ERR_INVALID_FORMAT_PARAMETERS);
}

TEST(LameLibraryConfig, MpegVersionFollowsTheRequestAndTheRate) {
    for (const uint32_t rate : {32000U, 44100U, 48000U}) {
        const auto header = firstFrameOf(cbrConfig(rate));
        EXPECT_EQ(header.mpegVersion, 1);
        EXPECT_EQ(header.sampleRate, rate);
    }
    // MPEG-1 cannot carry these rates: the stream is resampled to 32 kHz.
    for (const uint32_t rate : {8000U, 11025U, 22050U, 24000U}) {
        const auto header = firstFrameOf(cbrConfig(rate, 320));
        EXPECT_EQ(header.mpegVersion, 1) << rate;
        EXPECT_EQ(header.sampleRate, 32000U) << rate;
    }
    // MPEG-2 halves an MPEG-1 rate, and has its own bitrate table.
    BE_CONFIG config = cbrConfig(44100, 160);
    config.format.LHV1.dwMpegVersion = MPEG2;
    const auto header = firstFrameOf(config);
    EXPECT_EQ(header.mpegVersion, 2);
    EXPECT_EQ(header.sampleRate, 22050U);
    // A bitrate MPEG-2 cannot carry takes the MPEG-1 rate instead.
    config.format.LHV1.dwBitrate = 192;
    const auto mpeg1 = firstFrameOf(config);
    EXPECT_EQ(mpeg1.mpegVersion, 1);
    EXPECT_EQ(mpeg1.sampleRate, 44100U);
    config.format.LHV1.dwBitrate = 8;
    EXPECT_EQ(openStatus(config), BE_ERR_SUCCESSFUL);
    // An explicit resample rate must carry the bitrate itself.
    config = cbrConfig(44100, 8);
    config.format.LHV1.dwReSampleRate = 44100;
    EXPECT_EQ(openStatus(config), BE_ERR_INVALID_FORMAT_PARAMETERS);
}

// The bitrates of the MP3 options dialog, at the CD's rate.
constexpr uint32_t kDialogBitrates[] = {320, 256, 224, 192, 160, 144, 128, 112, 96,
                                        80,  64,  56,  48,  40,  32,  24,  16,  8};

TEST(LameLibraryConfig, EveryDialogBitrateFindsARateThatCarriesIt) {
    for (const uint32_t bitrate : kDialogBitrates) {
        SCOPED_TRACE(bitrate);
        BE_CONFIG config = cbrConfig(44100, bitrate);
        const auto header = firstFrameOf(config);
        EXPECT_EQ(header.bitrateKbps, bitrate) << "a constant bitrate is kept exactly";
        if (bitrate != 144 && bitrate >= 32) {
            EXPECT_EQ(header.sampleRate, 44100U) << "MPEG-1 keeps the CD's rate";
        } else {
            EXPECT_LT(header.sampleRate, 32000U);
        }
        // As the VBR minimum with the dialog's top maximum, and as the
        // maximum over the dialog's lowest minimum.
        config.format.LHV1.bEnableVBR = -1;
        config.format.LHV1.dwMaxBitrate = 320;
        EXPECT_EQ(openStatus(config), BE_ERR_SUCCESSFUL);
        config.format.LHV1.dwBitrate = 8;
        config.format.LHV1.dwMaxBitrate = bitrate;
        EXPECT_EQ(openStatus(config), BE_ERR_SUCCESSFUL);
    }
    // LAME's own choice for the smallest bitrate: 8 kHz, MPEG-2.5.
    const auto smallest = firstFrameOf(cbrConfig(44100, 8));
    EXPECT_EQ(smallest.sampleRate, 8000U);
    EXPECT_EQ(smallest.mpegVersion, 25);
}

TEST(LameLibraryHandles, UnknownOrClosedHandlesAreRefusedHarmlessly) {
    std::vector<int16_t> pcm(2304);
    std::vector<uint8_t> output(8640);
    uint32_t produced = 5;
    for (const HBE_STREAM bogus : {HBE_STREAM{0}, HBE_STREAM{0xDEADBEEF}}) {
        EXPECT_EQ(beEncodeChunk(bogus, 2304, pcm.data(), output.data(), &produced),
                  BE_ERR_INVALID_HANDLE);
        EXPECT_EQ(produced, 0U);
        EXPECT_EQ(beDeinitStream(bogus, output.data(), &produced), BE_ERR_INVALID_HANDLE);
        EXPECT_EQ(beCloseStream(bogus), BE_ERR_INVALID_HANDLE);
        EXPECT_EQ(beGetVBRTagFrame(bogus, output.data(), 8640), 0U);
    }

    const BE_CONFIG config = cbrConfig();
    uint32_t samples = 0;
    uint32_t bufferSize = 0;
    HBE_STREAM stream = 0;
    ASSERT_EQ(beInitStream(&config, &samples, &bufferSize, &stream), BE_ERR_SUCCESSFUL);
    ASSERT_EQ(beCloseStream(stream), BE_ERR_SUCCESSFUL);
    EXPECT_EQ(beCloseStream(stream), BE_ERR_INVALID_HANDLE);
    EXPECT_EQ(beEncodeChunk(stream, 2304, pcm.data(), output.data(), &produced),
              BE_ERR_INVALID_HANDLE);
}

TEST(LameLibraryHandles, ChunksLargerThanPromisedAndLateCallsAreRefused) {
    BE_CONFIG config = cbrConfig();
    config.format.LHV1.bWriteVBRHeader = -1;
    uint32_t samples = 0;
    uint32_t bufferSize = 0;
    HBE_STREAM stream = 0;
    ASSERT_EQ(beInitStream(&config, &samples, &bufferSize, &stream), BE_ERR_SUCCESSFUL);
    std::vector<int16_t> pcm(samples + 2);
    std::vector<uint8_t> output(bufferSize);
    uint32_t produced = 0;
    EXPECT_EQ(beEncodeChunk(stream, samples + 2, pcm.data(), output.data(), &produced),
              BE_ERR_INVALID_FORMAT_PARAMETERS);
    EXPECT_EQ(beEncodeChunk(stream, 3, pcm.data(), output.data(), &produced),
              BE_ERR_INVALID_FORMAT_PARAMETERS);
    EXPECT_EQ(beEncodeChunk(stream, samples, pcm.data(), output.data(), &produced),
              BE_ERR_SUCCESSFUL);
    // The tag describes the whole stream, so it is only handed out after the flush.
    EXPECT_EQ(beGetVBRTagFrame(stream, output.data(), bufferSize), 0U);

    EXPECT_EQ(beDeinitStream(stream, output.data(), &produced), BE_ERR_SUCCESSFUL);
    EXPECT_GT(produced, 0U);
    EXPECT_EQ(beDeinitStream(stream, output.data(), &produced), BE_ERR_SUCCESSFUL);
    EXPECT_EQ(produced, 0U);
    EXPECT_EQ(beEncodeChunk(stream, samples, pcm.data(), output.data(), &produced),
              BE_ERR_INVALID_HANDLE);

    std::vector<uint8_t> tag(2880);
    const uint32_t tagSize = beGetVBRTagFrame(stream, tag.data(), 2880);
    EXPECT_GT(tagSize, 0U);
    EXPECT_EQ(beGetVBRTagFrame(stream, tag.data(), tagSize - 1), 0U);
    EXPECT_EQ(beCloseStream(stream), BE_ERR_SUCCESSFUL);
}

TEST(LameLibraryBuffers, LoudestChunksAndTheFlushFitThePromisedBuffer) {
    for (const int32_t mode : {BE_MP3_MODE_STEREO, BE_MP3_MODE_MONO}) {
        BE_CONFIG config = cbrConfig(44100, 320);
        config.format.LHV1.nMode = mode;
        config.format.LHV1.nPreset = 2;
        uint32_t samples = 0;
        uint32_t bufferSize = 0;
        HBE_STREAM stream = 0;
        ASSERT_EQ(beInitStream(&config, &samples, &bufferSize, &stream), BE_ERR_SUCCESSFUL);
        const std::vector<int16_t> noise = varrow::testing::stereoNoise(1.0);
        std::vector<uint8_t> output(bufferSize);
        uint32_t produced = 0;
        for (std::size_t at = 0; at + samples <= noise.size(); at += samples) {
            ASSERT_EQ(beEncodeChunk(stream, samples, noise.data() + at, output.data(), &produced),
                      BE_ERR_SUCCESSFUL);
        }
        EXPECT_EQ(beDeinitStream(stream, output.data(), &produced), BE_ERR_SUCCESSFUL);
        EXPECT_GT(produced, 0U);
        beCloseStream(stream);
    }
}

TEST(LameLibraryVersion, ReportsTheInterfaceAndEncoderVersions) {
    BE_VERSION version{};
    beVersion(&version);
    EXPECT_EQ(version.byDLLMajorVersion, 1);
    EXPECT_EQ(version.byDLLMinorVersion, 0);
    EXPECT_GE(version.byMajorVersion, 3);
    EXPECT_NE(std::string(version.zHomepage), "");
    beVersion(nullptr);
}

} // namespace
