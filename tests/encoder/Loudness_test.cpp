// SPDX-License-Identifier: GPL-3.0-or-later
// ReplayGain 2.0 values against ffmpeg's ebur128 filter over the same PCM,
// for single tracks and an album; and the texts the tags hold.
#include "AlbumLoudness.h"
#include "FlacFiles.h"
#include "LoudnessMeter.h"
#include "Mp3TestSupport.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

using namespace varrow::testing;

constexpr double kTolerance = 0.1; // dB

struct Signal {
    double hz;
    double dbfs;
    double seconds;
    bool noise;
};

struct LoudnessCase {
    std::string name;
    int channels;
    int rate;
    std::vector<Signal> tracks;
};

class Loudness : public ::testing::TestWithParam<LoudnessCase> {
protected:
    void expectAsFfmpeg(const TReplayGain& measured, const std::vector<uint8_t>& pcm) {
        const LoudnessCase& test = GetParam();
        const auto reference =
            ffmpegLoudness(pcm, test.channels, test.rate, test.channels == 1, dir_.path());
        ASSERT_TRUE(measured.gainDb);
        EXPECT_NEAR(*measured.gainDb, -18 - reference.lufs, kTolerance);
        EXPECT_NEAR(20 * std::log10(measured.peak), reference.peakDb, kTolerance);
    }

    TempDir dir_;
};

TEST_P(Loudness, MatchesFfmpegWithinATenthOfADecibel) {
    const LoudnessCase& test = GetParam();
    TAlbumLoudness album;
    std::vector<uint8_t> albumPcm;
    for (const Signal& signal : test.tracks) {
        const std::vector<uint8_t> pcm =
            tonePcm(signal.hz, signal.dbfs, signal.seconds, test.channels, test.rate, signal.noise);
        TLoudnessMeter meter(static_cast<uint32_t>(test.channels),
                             static_cast<uint32_t>(test.rate));
        for (std::size_t at = 0; at < pcm.size(); at += 1001) {
            meter.add(pcm.data() + at, std::min<std::size_t>(1001, pcm.size() - at));
        }
        EXPECT_EQ(meter.frames(), pcm.size() / (2 * test.channels));
        expectAsFfmpeg(meter.replayGain(), pcm);
        // A track read again into its file counts with its last reading
        // only: a loud first reading must leave no trace in the album.
        const std::string file = "track" + std::to_string(albumPcm.size());
        const std::vector<uint8_t> loud = tonePcm(500, -3, 2, test.channels, test.rate, true);
        TLoudnessMeter firstReading(static_cast<uint32_t>(test.channels),
                                    static_cast<uint32_t>(test.rate));
        firstReading.add(loud.data(), loud.size());
        album.add(file, std::move(firstReading));
        album.add(file, std::move(meter));
        albumPcm.insert(albumPcm.end(), pcm.begin(), pcm.end());
    }
    // Blocks that would straddle two tracks are left out of the album: over
    // tracks of many seconds that costs hundredths of a decibel.
    EXPECT_EQ(album.tracks(), test.tracks.size());
    expectAsFfmpeg(album.replayGain(), albumPcm);
}

INSTANTIATE_TEST_SUITE_P(
    Signals, Loudness,
    ::testing::Values(
        LoudnessCase{"SineAtMinus20dBFS", 2, 44100, {{997, -20, 10, false}}},
        LoudnessCase{"MonoSineAt22050", 1, 22050, {{1000, -20, 10, false}}},
        LoudnessCase{"TwoTrackAlbum", 2, 44100, {{997, -20, 8, false}, {0, -12, 6, true}}},
        LoudnessCase{
            "QuietAndLoudAt11025", 2, 11025, {{300, -40, 5, false}, {2000, -6, 20, false}}}),
    [](const auto& info) { return info.param.name; });

TEST(ReplayGain, SilenceHasAPeakButNoGain) {
    TLoudnessMeter meter(2, 44100);
    const std::vector<uint8_t> silence(44100 * 4, 0);
    meter.add(silence.data(), silence.size());
    EXPECT_FALSE(meter.replayGain().gainDb);
    EXPECT_EQ(meter.replayGain().peak, 0);
    TAlbumLoudness album;
    EXPECT_FALSE(album.replayGain().gainDb);
    album.add("silence", std::move(meter));
    EXPECT_FALSE(album.replayGain().gainDb);
    EXPECT_EQ(replayGainFields(album.replayGain(), TReplayGainScope::Album),
              (std::vector<TTagField>{{"REPLAYGAIN_ALBUM_GAIN", ""},
                                      {"REPLAYGAIN_ALBUM_PEAK", "0.000000"}}));
}

TEST(ReplayGain, TextsHaveTheirSignAndDecimals) {
    const struct {
        std::string (*text)(double);
        double value;
        const char* expected;
    } cases[] = {
        {replayGainText, -3.214, "-3.21 dB"},    {replayGainText, -3.216, "-3.22 dB"},
        {replayGainText, 12.5, "+12.50 dB"},     {replayGainText, 0.004, "+0.00 dB"},
        {replayGainText, -0.004, "+0.00 dB"},    {replayGainText, -60, "-60.00 dB"},
        {replayPeakText, 0.988525, "0.988525"},  {replayPeakText, 1, "1.000000"},
        {replayPeakText, 0.0000004, "0.000000"}, {replayPeakText, 0.0123456789, "0.012346"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.text(c.value), c.expected) << c.value;
    }
}

} // namespace
