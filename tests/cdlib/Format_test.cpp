// SPDX-License-Identifier: GPL-3.0-or-later
// The six output formats: sizes, channels and content.
#include "LibraryFixture.h"
#include "reading/FormatConverter.h"

#include <cmath>
#include <numbers>

namespace cdlib::testing {
namespace {

class FormatTest : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        addVirtualDrive(std::make_shared<VirtualDrive>("V", discOf({{600, false}})));
        ASSERT_EQ(CR_SetActiveCDROM(0), CR_OK);
        ASSERT_EQ(CR_ReadToc(), CR_OK);
    }
};

int16_t sampleAt(const std::vector<uint8_t>& bytes, size_t index) {
    return static_cast<int16_t>(bytes[2 * index] | (bytes[2 * index + 1] << 8));
}

struct FormatCase {
    int32_t format;
    int channels;
    int rate;
    int32_t bytesPerSector;
};

const FormatCase kFormats[] = {{STEREO44100, 2, 44100, 2352}, {MONO44100, 1, 44100, 1176},
                               {STEREO22050, 2, 22050, 1176}, {MONO22050, 1, 22050, 588},
                               {STEREO11025, 2, 11025, 588},  {MONO11025, 1, 11025, 294}};

TEST_F(FormatTest, ChunkAndTotalSizesFollowTheFormat) {
    for (const FormatCase& format : kFormats) {
        SCOPED_TRACE(format.format);
        setReading(format.format, false);
        const RangeRead read = readRange(0, 299);
        EXPECT_EQ(read.chunkBytes, 26 * format.bytesPerSector);
        EXPECT_EQ(read.audio.size(), 300u * static_cast<size_t>(format.bytesPerSector));
        for (const int32_t size : read.chunkSizes) {
            EXPECT_LE(size, read.chunkBytes);
            EXPECT_EQ(size % (2 * format.channels), 0) << "whole frames only";
        }
        EXPECT_EQ(read.results.back(), CR_CHUNK_LAST);
    }
}

TEST_F(FormatTest, MonoIsTheMeanOfBothChannels) {
    setReading(MONO44100, false);
    const RangeRead read = readRange(0, 99);
    const auto stereo = virtualAudio(0, 99);
    ASSERT_EQ(read.audio.size() * 2, stereo.size());
    for (size_t i = 0; i < read.audio.size() / 2; ++i) {
        const int left = sampleAt(stereo, 2 * i);
        const int right = sampleAt(stereo, 2 * i + 1);
        ASSERT_LE(std::abs(2 * sampleAt(read.audio, i) - (left + right)), 1) << "frame " << i;
    }
}

TEST(MonoMean, RoundsHalvesToEven) {
    EXPECT_EQ(monoMean(1, 2), 2);
    EXPECT_EQ(monoMean(3, 2), 2);
    EXPECT_EQ(monoMean(-1, -2), -2);
    EXPECT_EQ(monoMean(-3, 0), -2);
    EXPECT_EQ(monoMean(32767, 32767), 32767);
    EXPECT_EQ(monoMean(-32768, -32768), -32768);
}

// The virtual drive plays 441 Hz (12000) left and 882 Hz (9000) right; a
// resampled stream must still carry them, each on its own channel.
double toneError(const std::vector<uint8_t>& audio, int channels, int channel, int rate,
                 double frequency, double amplitude) {
    const size_t frames = audio.size() / (2 * static_cast<size_t>(channels));
    double error = 0;
    size_t counted = 0;
    // The ends are left out: the filter settles there.
    for (size_t i = frames / 10; i < frames - frames / 10; ++i) {
        const double expected =
            amplitude * std::sin(2 * std::numbers::pi * frequency * static_cast<double>(i) / rate);
        const double actual =
            sampleAt(audio, i * static_cast<size_t>(channels) + static_cast<size_t>(channel));
        error += (expected - actual) * (expected - actual);
        ++counted;
    }
    return std::sqrt(error / static_cast<double>(counted)) / amplitude;
}

TEST_F(FormatTest, ResampledAudioKeepsItsTones) {
    for (const FormatCase& format : kFormats) {
        if (format.rate == 44100) {
            continue;
        }
        SCOPED_TRACE(format.format);
        setReading(format.format, false);
        const RangeRead read = readRange(0, 599);
        if (format.channels == 2) {
            EXPECT_LT(toneError(read.audio, 2, 0, format.rate, 441, 12000), 0.05);
            EXPECT_LT(toneError(read.audio, 2, 1, format.rate, 882, 9000), 0.05);
            EXPECT_GT(toneError(read.audio, 2, 0, format.rate, 882, 9000), 0.5)
                << "the channels are not swapped or mixed";
        } else {
            // The mean of both tones.
            const size_t frames = read.audio.size() / 2;
            double error = 0;
            for (size_t i = frames / 10; i < frames - frames / 10; ++i) {
                const double t = static_cast<double>(i) / format.rate;
                const double expected = 6000 * std::sin(2 * std::numbers::pi * 441 * t) +
                                        4500 * std::sin(2 * std::numbers::pi * 882 * t);
                error += std::abs(expected - sampleAt(read.audio, i));
            }
            EXPECT_LT(error / (frames * 0.8), 300);
        }
    }
}

TEST_F(FormatTest, ChunkedResamplingEqualsOneStream) {
    setReading(STEREO22050, false);
    const RangeRead read = readRange(0, 599);
    FormatConverter whole({2, 22050});
    std::vector<uint8_t> expected;
    whole.convert(virtualAudio(0, 599), expected);
    whole.finish(expected);
    EXPECT_EQ(read.audio, expected) << "chunk boundaries leave no trace";
}

} // namespace
} // namespace cdlib::testing
