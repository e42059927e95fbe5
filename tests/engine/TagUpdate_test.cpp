// SPDX-License-Identifier: GPL-3.0-or-later
// FLAC and MP3 files as the engine writes them, their tags updated for the
// track and then the album, in place where the padding holds the new tags
// and as a new file where not: the audio decodes as before, every tag reads back.
#include "EngineTestSupport.h"
#include "FlacEncoder.h"
#include "FlacFiles.h"
#include "LameCoder.h"
#include "Mp3Tags.h"
#include "Mp3Writer.h"
#include "OutputFile.h"
#include "ReplayGain.h"
#include "TagUpdate.h"

#include <cstdlib>
#include <optional>

namespace enginetest {
namespace {

using namespace varrow::testing;

enum class Kind { Flac, Mp3, UntaggedMp3 };

struct UpdateCase {
    std::string name;
    Kind kind;
    std::size_t extraTextBytes; // a COMMENT of this size goes with the track's fields
    TTagUpdate trackUpdate;
    TTagUpdate albumUpdate;
};

class TagUpdate : public EngineTest, public ::testing::WithParamInterface<UpdateCase> {
protected:
    // Three seconds of noise as a tagged track file, placed under its name.
    std::filesystem::path writeTrack(Kind kind) {
        const auto path = folder_ / (kind == Kind::Flac ? "track.flac" : "track.mp3");
        OutputFile file(path.string());
        if (kind == Kind::Flac) {
            TFlacSettings settings;
            settings.Tags.Title = "Morning Tram";
            TFlacEncoder encoder(file, settings);
            encoder.write(pcm_.data(), pcm_.size());
            encoder.finish();
        } else {
            TLameCoder coder;
            std::optional<TTrackTags> tags;
            if (kind == Kind::Mp3) {
                tags.emplace();
                tags->Title = "Morning Tram";
                tags->TrackNumber = 1;
                tags->TrackCount = 2;
            }
            const auto writer = Mp3Writer::open(coder, AudioFormat{}, 0, tags);
            writer->start(file);
            writer->write(pcm_.data(), pcm_.size());
            writer->finish(true);
        }
        file.commit();
        return path;
    }

    // The audio as ffmpeg decodes it, the tags as ffprobe reads them.
    std::vector<uint8_t> decoded(const std::filesystem::path& path) {
        const auto raw = folder_ / "decoded.raw";
        const std::string command =
            "ffmpeg -v error -y -i '" + path.string() + "' -f s16le '" + raw.string() + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return readBytes(raw);
    }

    const std::vector<uint8_t> pcm_ = tonePcm(0, -6, 3, 2, 44100, true);
};

TEST_P(TagUpdate, KeepsTheAudioAndReadsBackEveryTag) {
    const UpdateCase& test = GetParam();
    const auto path = writeTrack(test.kind);
    const std::vector<uint8_t> audio = decoded(path);

    std::vector<TTagField> trackFields = replayGainFields({-3.21, 0.75}, TReplayGainScope::Track);
    trackFields.emplace_back("COMMENT", std::string(test.extraTextBytes, 'c'));
    EXPECT_EQ(updateFileTags(path.string(), trackFields), test.trackUpdate);
    EXPECT_EQ(updateFileTags(path.string(), replayGainFields({1.5, 0.9}, TReplayGainScope::Album)),
              test.albumUpdate);

    EXPECT_EQ(decoded(path), audio);
    if (test.kind == Kind::Flac) {
        const DecodedFlac flac = decodeFlac(path);
        EXPECT_TRUE(flac.ok);
        EXPECT_EQ(flac.pcm, pcm_);
        EXPECT_TRUE(flacToolAccepts(path));
    }
    auto tags = ffprobeTags(path);
    EXPECT_EQ(tags["replaygain_track_gain"], "-3.21 dB");
    EXPECT_EQ(tags["replaygain_track_peak"], "0.750000");
    EXPECT_EQ(tags["replaygain_album_gain"], "+1.50 dB");
    EXPECT_EQ(tags["replaygain_album_peak"], "0.900000");
    EXPECT_EQ(tags["comment"].size(), test.extraTextBytes);
    EXPECT_EQ(tags["title"], test.kind == Kind::UntaggedMp3 ? "" : "Morning Tram");

    // Set again, the same names are replaced, not repeated.
    updateFileTags(path.string(), replayGainFields({-1, 0.5}, TReplayGainScope::Album));
    tags = ffprobeTags(path);
    EXPECT_EQ(tags["replaygain_album_gain"], "-1.00 dB");
    EXPECT_EQ(decoded(path), audio);
    // Nothing is left beside the file.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_),
                            std::filesystem::directory_iterator()),
              2);
}

constexpr auto kInPlace = TTagUpdate::InPlace;
constexpr auto kRewritten = TTagUpdate::Rewritten;
INSTANTIATE_TEST_SUITE_P(
    Files, TagUpdate,
    ::testing::Values(UpdateCase{"FlacInPadding", Kind::Flac, 0, kInPlace, kInPlace},
                      UpdateCase{"FlacBeyondItsPadding", Kind::Flac, 9000, kRewritten, kInPlace},
                      UpdateCase{"Mp3InPadding", Kind::Mp3, 0, kInPlace, kInPlace},
                      UpdateCase{"Mp3BeyondItsPadding", Kind::Mp3, 1500, kRewritten, kInPlace},
                      UpdateCase{"Mp3WithoutTag", Kind::UntaggedMp3, 0, kRewritten, kInPlace}),
    [](const auto& info) { return info.param.name; });

TEST_F(TagUpdate, AFileItCannotReadIsLeftAsItWas) {
    const auto flac = writeTrack(Kind::Flac);
    std::vector<uint8_t> cut = readBytes(flac);
    cut.resize(60); // inside the seek table
    const auto text = folder_ / "notes.txt";
    writeBytes(flac, cut);
    writeBytes(text, std::vector<uint8_t>{'f', 'L', 'a'});
    const auto fields = replayGainFields({1, 1}, TReplayGainScope::Album);
    for (const auto& [path, reason] : {std::pair{flac, EINVAL}, std::pair{text, EINVAL},
                                       std::pair{folder_ / "gone.flac", ENOENT}}) {
        try {
            updateFileTags(path.string(), fields);
            ADD_FAILURE() << path;
        } catch (const ECDRIPError& error) {
            EXPECT_EQ(error.ErrorNumber(), reason) << path;
        }
    }
    EXPECT_EQ(readBytes(flac), cut);
    EXPECT_EQ(readBytes(text).size(), 3U);
}

} // namespace
} // namespace enginetest
