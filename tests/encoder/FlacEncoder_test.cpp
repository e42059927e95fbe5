// SPDX-License-Identifier: GPL-3.0-or-later
// FLAC files checked from outside (libFLAC's decoder, the flac tool,
// ffprobe), and a sink that fails at each point of the writing.
#include "EncoderError.h"
#include "FlacEncoder.h"
#include "FlacFiles.h"
#include "Mp3Tags.h"
#include "Mp3TestSupport.h"
#include "ReplayGain.h"

#include <gtest/gtest.h>
#include <system_error>

namespace {

using namespace varrow::testing;

constexpr double kSeconds = 25;
constexpr uint64_t kSeekSeconds = 10;

struct FlacCase {
    std::string name;
    uint32_t channels;
    uint32_t rate;
    uint32_t level;
    double seconds;
    std::size_t piece;
    int expectedPercent; // ExpectedFrames against the true length; 0: not known
    std::string coverType;
};

// Six formats × three levels, with piece sizes and expected lengths spread
// over them; then an empty stream and the two kinds of cover.
std::vector<FlacCase> flacCases() {
    const std::pair<uint32_t, uint32_t> formats[] = {{2, 44100}, {1, 44100}, {2, 22050},
                                                     {1, 22050}, {2, 11025}, {1, 11025}};
    const std::size_t pieces[] = {23520, 1, 4095, 587};
    const int expected[] = {100, 0, 10, 200};
    std::vector<FlacCase> cases;
    for (const auto& [channels, rate] : formats) {
        for (const uint32_t level : {0U, 5U, 8U}) {
            const std::size_t at = cases.size();
            cases.push_back({(channels == 2 ? "Stereo" : "Mono") + std::to_string(rate) + "Level" +
                                 std::to_string(level),
                             channels, rate, level, kSeconds, pieces[at % 4], expected[at % 4],
                             ""});
        }
    }
    cases.push_back({"Empty", 2, 44100, 5, 0, 2352, 100, ""});
    cases.push_back({"PngCover", 2, 44100, 5, 2, 2352, 100, "png"});
    cases.push_back({"JpegCover", 1, 22050, 5, 2, 2352, 0, "jpeg"});
    return cases;
}

TFlacTags sampleTags() {
    TFlacTags tags;
    tags.Title = "Żółw\tat the\x01 end \xFF";
    tags.Artist = "Björk";
    tags.Album = "Morning Tram";
    tags.AlbumArtist = "Various Artists";
    tags.Date = "1994";
    tags.TrackNumber = 3;
    tags.TrackTotal = 12;
    tags.DiscNumber = 1;
    tags.MusicBrainzAlbumId = "9b7c1a4e-0000-4000-8000-000000000001";
    tags.MusicBrainzTrackId = "9b7c1a4e-0000-4000-8000-000000000002";
    return tags;
}

class FlacFile : public ::testing::TestWithParam<FlacCase> {
protected:
    static void SetUpTestSuite() {
        images_ = std::make_unique<TempDir>();
        for (const char* type : {"png", "jpeg"}) {
            const auto image = images_->path() / type;
            const std::string command = "ffmpeg -v error -y -f lavfi -i color=c=red:s=64x48 "
                                        "-frames:v 1 -f image2 -c:v " +
                                        std::string(type == std::string("png") ? "png" : "mjpeg") +
                                        " '" + image.string() + "'";
            ASSERT_EQ(std::system(command.c_str()), 0) << command;
        }
    }
    static void TearDownTestSuite() { images_.reset(); }

    static std::unique_ptr<TempDir> images_;
    TempDir dir_;
};
std::unique_ptr<TempDir> FlacFile::images_;

TEST_P(FlacFile, DecodesToItsInputWithEveryTag) {
    const FlacCase& test = GetParam();
    const std::vector<uint8_t> input =
        tonePcm(441, -3, test.seconds, static_cast<int>(test.channels), static_cast<int>(test.rate),
                test.level == 5);
    const uint64_t frames = input.size() / (2 * test.channels);

    TFlacSettings settings;
    settings.Channels = test.channels;
    settings.SampleRate = test.rate;
    settings.CompressionLevel = test.level;
    settings.ExpectedFrames = frames * test.expectedPercent / 100;
    settings.Tags = sampleTags();
    std::vector<uint8_t> cover;
    if (!test.coverType.empty()) {
        cover = readBytes(images_->path() / test.coverType);
        settings.FrontCover = TFlacPicture{"image/" + test.coverType, cover};
    }
    MemorySink sink;
    TFlacEncoder encoder(sink, settings);
    for (std::size_t at = 0; at < input.size(); at += test.piece) {
        encoder.write(input.data() + at, std::min(test.piece, input.size() - at));
    }
    encoder.finish(replayGainFields({-3.214, 0.5}, TReplayGainScope::Track));
    EXPECT_EQ(encoder.framesTaken(), frames);
    const auto file = dir_.path() / "track.flac";
    writeBytes(file, sink.bytes);

    const DecodedFlac decoded = decodeFlac(file);
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.channels, test.channels);
    EXPECT_EQ(decoded.sampleRate, test.rate);
    EXPECT_EQ(decoded.bitsPerSample, 16U);
    EXPECT_EQ(decoded.totalFrames, frames);
    EXPECT_TRUE(decoded.pcm == input) << "the decoded audio differs from the input";
    EXPECT_EQ(hex(decoded.md5), md5Hex(input, dir_.path()));
    EXPECT_TRUE(flacToolAccepts(file));

    std::string comments;
    for (const std::string& comment : decoded.comments) {
        comments += comment + "|";
    }
    EXPECT_EQ(comments, "TITLE=Żółw at the end \xEF\xBF\xBD|ARTIST=Björk|ALBUM=Morning Tram|"
                        "ALBUMARTIST=Various Artists|TRACKNUMBER=3|TRACKTOTAL=12|DISCNUMBER=1|"
                        "DATE=1994|MUSICBRAINZ_ALBUMID=9b7c1a4e-0000-4000-8000-000000000001|"
                        "MUSICBRAINZ_TRACKID=9b7c1a4e-0000-4000-8000-000000000002|ENCODER=" +
                            flacEncoderName() +
                            "|REPLAYGAIN_TRACK_GAIN=-3.21 dB|REPLAYGAIN_TRACK_PEAK=0.500000|");
    const auto tags = ffprobeTags(file);
    EXPECT_EQ(tags.at("title"), "Żółw at the end \xEF\xBF\xBD");
    EXPECT_EQ(tags.at("album_artist"), "Various Artists");
    EXPECT_EQ(tags.at("replaygain_track_gain"), "-3.21 dB");

    // A point for every ten seconds encoded, thinned evenly to the room
    // reserved for the expected length; each at the start of a frame.
    const uint64_t interval = kSeekSeconds * test.rate;
    const uint64_t reserved = settings.ExpectedFrames > 0
                                  ? (settings.ExpectedFrames + interval - 1) / interval + 1
                                  : 80 * 60 / kSeekSeconds + 1;
    EXPECT_EQ(decoded.seekPoints.size(), std::min(reserved, (frames + interval - 1) / interval));
    for (std::size_t k = 0; k < decoded.seekPoints.size(); ++k) {
        const SeekPoint& point = decoded.seekPoints[k];
        EXPECT_TRUE(k == 0 || point.sample > decoded.seekPoints[k - 1].sample);
        EXPECT_LT(point.sample, frames);
        const uint64_t at = decoded.firstFrameOffset + point.offset;
        ASSERT_LT(at + 1, sink.bytes.size());
        EXPECT_EQ(sink.bytes[at], 0xFF);
        EXPECT_EQ(sink.bytes[at + 1] & 0xFE, 0xF8);
    }

    EXPECT_EQ(decoded.pictureMime, test.coverType.empty() ? "" : "image/" + test.coverType);
    EXPECT_EQ(decoded.pictureData, cover);
    EXPECT_EQ(decoded.pictureWidth, cover.empty() ? 0U : 64U);
    EXPECT_EQ(decoded.pictureHeight, cover.empty() ? 0U : 48U);
}

INSTANTIATE_TEST_SUITE_P(Streams, FlacFile, ::testing::ValuesIn(flacCases()),
                         [](const auto& info) { return info.param.name; });

// Encodes two seconds of stereo into `sink`, late fields included.
void encodeInto(MemorySink& sink, uint32_t level = FLAC_DEFAULT_COMPRESSION, bool noise = true) {
    const std::vector<uint8_t> input = tonePcm(441, -3, 2, 2, 44100, noise);
    TFlacSettings settings;
    settings.CompressionLevel = level;
    settings.Tags = sampleTags();
    TFlacEncoder encoder(sink, settings);
    for (std::size_t at = 0; at < input.size(); at += 23520) {
        encoder.write(input.data() + at, std::min<std::size_t>(23520, input.size() - at));
    }
    encoder.finish(replayGainFields({1.0, 0.25}, TReplayGainScope::Track));
}

class FailingSink : public ::testing::TestWithParam<double> {};

// The sink fails at a share of all its calls: its error reaches the caller.
TEST_P(FailingSink, RaisesTheSinksErrorAndNeverSucceeds) {
    MemorySink counting;
    encodeInto(counting);
    MemorySink failing;
    failing.failAtCall = std::max(1, static_cast<int>(GetParam() * counting.calls));
    try {
        encodeInto(failing);
        ADD_FAILURE() << "a failure at call " << failing.failAtCall << " of " << counting.calls
                      << " passed for success";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code().value(), ENOSPC);
    }
}

// The first write, the metadata, the audio, and the last writes (STREAMINFO,
// the seek table and the comments completed).
INSTANTIATE_TEST_SUITE_P(Points, FailingSink, ::testing::Values(0.0, 0.01, 0.5, 0.9, 0.999, 1.0));

TEST(FlacSettings, WhatTheStreamCannotHoldIsRefusedBeforeAByteIsWritten) {
    TFlacSettings level9;
    level9.CompressionLevel = 9;
    TFlacSettings threeChannels;
    threeChannels.Channels = 3;
    TFlacSettings noRate;
    noRate.SampleRate = 0;
    TFlacSettings notPng;
    notPng.FrontCover = TFlacPicture{"image/png", {0xFF, 0xD8, 0xFF, 0xE0, 0, 16}};
    for (const TFlacSettings& settings : {level9, threeChannels, noRate, notPng}) {
        MemorySink sink;
        EXPECT_THROW(TFlacEncoder(sink, settings), EEncoderError);
        EXPECT_TRUE(sink.bytes.empty());
    }
    // The level reaches the library: the smallest level makes a smaller file.
    MemorySink fastest;
    MemorySink smallest;
    encodeInto(fastest, 0, false);
    encodeInto(smallest, FLAC_MOST_COMPRESSION, false);
    EXPECT_LT(smallest.bytes.size(), fastest.bytes.size());
    MemorySink sink;
    TFlacEncoder finished(sink, {});
    finished.finish();
    const uint8_t pcm[4] = {};
    EXPECT_THROW(finished.write(pcm, sizeof pcm), EEncoderError);
}

} // namespace
