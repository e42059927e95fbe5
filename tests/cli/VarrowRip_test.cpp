// SPDX-License-Identifier: GPL-3.0-or-later
// varrow-rip end to end: a BIN/CUE image generated here is listed, read and
// ripped by the real program; the WAV files must hold the image's bytes and
// the MP3 files must decode to the same length of audio, the FLAC files to
// the same audio.
#include "AccurateRipDisc.h"
#include "AccurateRipFiles.h"
#include "Commands.h"
#include "FlacFiles.h"
#include "LocalHttpServer.h"
#include "Mp3Tags.h"
#include "MusicBrainzAnswers.h"
#include "MusicBrainzDiscId.h"
#include "ServedChecksums.h"
#include "TestHooks.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int32_t SECTOR_BYTES = 2352;
// Track lengths in sectors; none a whole number of MP3 frames.
const std::vector<int32_t> TRACK_SECTORS = {3 * 75 + 17, 2 * 75 + 41, 4 * 75 + 3};

std::vector<uint8_t> readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string readText(const fs::path& path) {
    const auto bytes = readBytes(path);
    return {bytes.begin(), bytes.end()};
}

// Two tones and a little noise, different on each channel and each track.
std::vector<uint8_t> trackAudio(int track, int32_t sectors) {
    std::vector<uint8_t> audio(static_cast<std::size_t>(sectors) * SECTOR_BYTES);
    uint32_t noise = 12345u + static_cast<uint32_t>(track);
    const std::size_t frames = audio.size() / 4;
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / 44100.0;
        noise = noise * 1664525u + 1013904223u;
        const double hiss = (static_cast<double>(noise >> 16) / 65536.0 - 0.5) * 0.02;
        const double left = 0.3 * std::sin(2 * M_PI * (220.0 + 55.0 * track) * t) + hiss;
        const double right = 0.25 * std::sin(2 * M_PI * (330.0 + 40.0 * track) * t) -
                             0.1 * std::sin(2 * M_PI * 3.0 * t) * hiss * 10;
        const auto put = [&](std::size_t at, double value) {
            const auto sample = static_cast<int16_t>(std::lround(value * 32767.0));
            audio[at] = static_cast<uint8_t>(sample & 0xFF);
            audio[at + 1] = static_cast<uint8_t>((sample >> 8) & 0xFF);
        };
        put(4 * i, left);
        put(4 * i + 2, right);
    }
    return audio;
}

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

class VarrowRip : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = fs::temp_directory_path() /
                  ("varrow-rip-" + std::to_string(::getpid()) + "-" + info->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        // A database nobody serves, unless a test serves one.
        ::setenv("VARROW_ACCURATERIP_URL", "http://127.0.0.1:1", 1);
        ::setenv("XDG_CACHE_HOME", (folder_ / "cache").c_str(), 1);

        writeImage(TRACK_SECTORS);
    }

    // disc.bin and disc.cue: tracks of the given lengths, each its own audio.
    void writeImage(const std::vector<int32_t>& sectors) {
        tracks_.clear();
        std::ofstream bin(folder_ / "disc.bin", std::ios::binary);
        std::ofstream cue(folder_ / "disc.cue");
        cue << "FILE \"disc.bin\" BINARY\n";
        int32_t start = 0;
        for (std::size_t i = 0; i < sectors.size(); ++i) {
            tracks_.push_back(trackAudio(static_cast<int>(i + 1), sectors[i]));
            bin.write(reinterpret_cast<const char*>(tracks_.back().data()),
                      static_cast<std::streamsize>(tracks_.back().size()));
            char line[80];
            std::snprintf(line, sizeof line, "  TRACK %02zu AUDIO\n    INDEX 01 %02d:%02d:%02d\n",
                          i + 1, start / 4500, start / 75 % 60, start % 75);
            cue << line;
            start += sectors[i];
        }
    }

    void TearDown() override {
        ::unsetenv("VARROW_ACCURATERIP_URL");
        ::unsetenv("XDG_CACHE_HOME");
        fs::remove_all(folder_);
    }

    // Gives the image CD-Text: `discLines` before its tracks, and a title
    // for each track that has one in `titles` (in track order).
    void addCdText(const std::string& discLines, const std::vector<std::string>& titles) const {
        std::istringstream lines(readText(folder_ / "disc.cue"));
        std::string cue = discLines;
        std::size_t track = 0;
        for (std::string line; std::getline(lines, line);) {
            cue += line + "\n";
            if (line.find("TRACK") != std::string::npos && track < titles.size() &&
                !titles[track++].empty()) {
                cue += "    TITLE \"" + titles[track - 1] + "\"\n";
            }
        }
        std::ofstream(folder_ / "disc.cue") << cue;
    }

    std::vector<std::string> filesIn(const fs::path& folder) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // `arguments` starting with "--" are a rip of the image's drive.
    Outcome run(const std::string& arguments, const std::string& images = "",
                const std::string& prefix = "") const {
        if (arguments.rfind("--", 0) == 0) {
            return run("rip --drive " + imageDrive() + " " + arguments, images, prefix);
        }
        const fs::path out = folder_ / "stdout.txt";
        const fs::path err = folder_ / "stderr.txt";
        const std::string command = prefix + "export VARROW_CD_IMAGES='" +
                                    (images.empty() ? (folder_ / "disc.cue").string() : images) +
                                    "' VARROW_SETTINGS_FILE='" + (folder_ / "varrow.INI").string() +
                                    "' VARROW_MUSICBRAINZ_URL='" + services_ +
                                    "' VARROW_COVERART_URL='" + services_ +
                                    "/caa' XDG_CACHE_HOME='" + (folder_ / "cache").string() +
                                    "'; (" + launcher_ + "'" VARROW_RIP "' " + arguments + ") >'" +
                                    out.string() + "' 2>'" + err.string() + "' </dev/null";
        const int status = std::system(command.c_str());
        Outcome result;
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.out = readText(out);
        result.err = readText(err);
        return result;
    }

    // The drive number of the image: images come after any physical drive.
    std::string imageDrive() const {
        const Outcome drives = run("drives");
        EXPECT_EQ(drives.status, 0) << drives.err;
        std::istringstream lines(drives.out);
        std::string line;
        std::string last;
        while (std::getline(lines, line)) {
            last = line;
        }
        EXPECT_EQ(last.rfind('[', 0), 0u) << drives.out;
        return last.substr(1, last.find(']') - 1);
    }

    // Decodes an MP3 file to 16-bit stereo at 44100 Hz with ffmpeg.
    std::vector<uint8_t> decode(const fs::path& mp3) const {
        const fs::path raw = folder_ / "decoded.raw";
        const std::string command = "ffmpeg -v error -y -i '" + mp3.string() +
                                    "' -f s16le -ac 2 -ar 44100 '" + raw.string() + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return readBytes(raw);
    }

    fs::path folder_;
    std::vector<std::vector<uint8_t>> tracks_;
    // Runs before varrow-rip on the command line (a time limit).
    std::string launcher_;
    // Where MusicBrainz and the Cover Art Archive (under /caa) are: a closed
    // port unless a test serves them.
    std::string services_ = "http://127.0.0.2:1";
};

double rms(const std::vector<uint8_t>& pcm) {
    double sum = 0;
    const std::size_t samples = pcm.size() / 2;
    for (std::size_t i = 0; i < samples; ++i) {
        const auto value = static_cast<int16_t>(pcm[2 * i] | pcm[2 * i + 1] << 8);
        sum += static_cast<double>(value) * value;
    }
    return samples ? std::sqrt(sum / static_cast<double>(samples)) : 0.0;
}

TEST_F(VarrowRip, ListsTheImageAndItsTracks) {
    const std::string drive = imageDrive();
    const Outcome toc = run("toc --drive " + drive);
    ASSERT_EQ(toc.status, 0) << toc.err;
    EXPECT_EQ(toc.out, "01  Audio        0      241      566832  0:00:03\n"
                       "02  Audio      242      432      446880  0:00:02\n"
                       "03  Audio      433      735      710304  0:00:04\n");
}

TEST_F(VarrowRip, TocListsCdTextUnlessToldNotTo) {
    addCdText("TITLE \"Tram Lines\"\nPERFORMER \"The Conductors\"\n", {"AC/DC", "Morning Tram"});
    const std::string drive = imageDrive();
    const struct {
        std::string options;
        std::string out;
    } cases[] = {
        {"", "Album: Tram Lines\nPerformer: The Conductors\n"
             "01  Audio        0      241      566832  0:00:03  AC/DC\n"
             "02  Audio      242      432      446880  0:00:02  Morning Tram\n"
             "03  Audio      433      735      710304  0:00:04\n"},
        {" --no-cd-text --title 3=Evening", "01  Audio        0      241      566832  0:00:03\n"
                                            "02  Audio      242      432      446880  0:00:02\n"
                                            "03  Audio      433      735      710304  0:00:04  "
                                            "Evening\n"},
    };
    for (const auto& c : cases) {
        const Outcome toc = run("toc --drive " + drive + c.options);
        EXPECT_EQ(toc.status, 0) << c.options << toc.err;
        EXPECT_EQ(toc.out, c.out) << c.options;
    }
    const Outcome missing = run("toc --drive " + drive + " --title 4=Nothing");
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "varrow-rip: there is no track 4 to title (the disc has 3)\n");
}

// What toc shows of a lookup: the names of the release taken, the others,
// or why there are none and the disc's own names (CD-Text) instead. Every
// other way the services answer is the lookup's own table.
TEST_F(VarrowRip, TocShowsTheNamesTheLookupFinds) {
    using varrow::testing::httpAnswer;
    using varrow::testing::HttpAnswer;
    addCdText("TITLE \"Tram Lines\"\n", {"AC/DC"});
    const std::string drive = imageDrive();
    varrow::testing::LocalHttpServer server;
    services_ = server.url();
    const std::string byId =
        "/ws/2/discid/" + online::MusicBrainzDiscId::of({{{1, 0}, {2, 242}, {3, 433}}, 736}).id;
    const auto json = [](const char* name) {
        return httpAnswer(200, varrow::testing::musicBrainzAnswer(name));
    };
    const std::string ownNames = "Album: Tram Lines\n"
                                 "01  Audio        0      241      566832  0:00:03  AC/DC\n"
                                 "02  Audio      242      432      446880  0:00:02\n"
                                 "03  Audio      433      735      710304  0:00:04\n";
    const std::string northern = "Album: Northern Lights\nPerformer: Aurora Quartet\n"
                                 "Date: 2004-03-15\n"
                                 "01  Audio        0      241      566832  0:00:03  Polar Night\n"
                                 "02  Audio      242      432      446880  0:00:02  Café Øresund  "
                                 "(Aurora Quartet feat. Ingrid Bjørnstad)\n"
                                 "03  Audio      433      735      710304  0:00:04  Midnight Sun\n";
    const std::string norway =
        "Release: 6a3e1c2f-8d4b-4f5a-9c7e-1b2d3e4f5a60  Northern Lights / "
        "Aurora Quartet (2004-03-15, NO, Grappa GRCD 4012, 7041888512345, CD)\n";
    const struct {
        const char* name;
        std::vector<HttpAnswer> byId;
        std::vector<HttpAnswer> byToc;
        std::string options;
        std::string out;  // its start, then after the release lines
        std::string rest; // the names and tracks
        const char* err;  // a piece of it; empty for none
    } cases[] = {
        {"OneRelease", {json("disc-one-release.json")}, {}, "", norway, northern, ""},
        {"TwoReleasesTheFirstTakenTheOtherListed",
         {json("disc-two-releases.json")},
         {},
         "",
         norway,
         "Other releases (choose one with --release):\n"
         "  7b4f2d3a-9e5c-4a6b-8d8f-2c3e4f5a6b71  Northern Lights / Aurora Quartet (2010-06-01, "
         "US, ",
         ""},
        {"ReleaseChosen",
         {json("disc-two-releases.json")},
         {},
         " --release 7b4f2d3a-9e5c-4a6b-8d8f-2c3e4f5a6b71",
         "Release: 7b4f2d3a-9e5c-4a6b-8d8f-2c3e4f5a6b71",
         "03  Audio      433      735      710304  0:00:04  Midnight Sun (2010 remaster)\n",
         ""},
        {"OneDiscOfTwo",
         {json("disc-multi-disc.json")},
         {},
         "",
         "Release: 8c5a3e4b",
         "Date: 2012-11-09\nDisc: ",
         ""},
        {"Unknown",
         {httpAnswer(404, varrow::testing::musicBrainzAnswer("not-found.json"))},
         {json("toc-no-match.json")},
         "",
         ownNames,
         ownNames,
         "add this disc to MusicBrainz: "},
        {"NotAsked", {json("disc-one-release.json")}, {}, " --no-lookup", ownNames, ownNames, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(folder_ / "cache");
        server.serve(byId, c.byId);
        server.serve("/ws/2/discid/-", c.byToc.empty() ? std::vector{httpAnswer(404)} : c.byToc);
        const Outcome toc = run("toc --drive " + drive + c.options);
        EXPECT_EQ(toc.status, 0) << toc.err;
        EXPECT_EQ(toc.out.rfind(c.out, 0), 0u) << toc.out;
        EXPECT_NE(toc.out.find(c.rest), std::string::npos) << toc.out;
        EXPECT_EQ(toc.err.find(c.err) != std::string::npos, *c.err != '\0' || toc.err.empty())
            << toc.err;
    }
    EXPECT_EQ(server.requestCount(byId), 5) << "one request a lookup, none without";
}

TEST_F(VarrowRip, RipTagsMp3FilesFromTheReleaseAndSavesItsCover) {
    varrow::testing::LocalHttpServer server;
    services_ = server.url();
    server.serve(
        "/ws/2/discid/" + online::MusicBrainzDiscId::of({{{1, 0}, {2, 242}, {3, 433}}, 736}).id,
        varrow::testing::httpAnswer(200,
                                    varrow::testing::musicBrainzAnswer("disc-one-release.json")));
    const std::string& cover = varrow::testing::kPngCover;
    server.serve("/caa/release/6a3e1c2f-8d4b-4f5a-9c7e-1b2d3e4f5a60/front",
                 varrow::testing::httpAnswer(200, cover, {{"Content-Type", "image/png"}}));
    const fs::path out = folder_ / "out";
    const Outcome rip = run("--format mp3 --tracks 2 --title 1=Typed --out '" + out.string() + "'");
    ASSERT_EQ(rip.status, 0) << rip.err;
    EXPECT_EQ(filesIn(out), std::vector<std::string>({"02_Café Øresund.mp3", "Northern Lights.cue",
                                                      "Northern Lights.log", "cover.png"}))
        << "the log and cue sheet named after the release";
    EXPECT_EQ(readText(out / "cover.png"), cover);

    // The release reaches the tags; each field is the tagger's own table.
    std::map<std::string, std::string> tags =
        varrow::testing::ffprobeTags(out / "02_Café Øresund.mp3");
    for (const auto& [key, value] : std::map<std::string, std::string>{
             {"title", "Café Øresund"},
             {"artist", "Aurora Quartet feat. Ingrid Bjørnstad"},
             {"musicbrainz album id", "6a3e1c2f-8d4b-4f5a-9c7e-1b2d3e4f5a60"}}) {
        EXPECT_EQ(tags[key], value) << key;
    }
    const std::string mp3 = readText(out / "02_Café Øresund.mp3");
    EXPECT_NE(mp3.find(cover), std::string::npos) << "the cover is embedded";
}

TEST_F(VarrowRip, RipNamesAndTagsFilesFromCdTextAndGivenTitles) {
    // The disc's titles, a title given and the numbering reach the files'
    // names; with the encoders beside the reader, the tags too.
    addCdText("TITLE \"Tram Lines\"\nPERFORMER \"The Conductors\"\n", {"AC/DC", "..", ""});
    const fs::path out = folder_ / "out";
    const Outcome pcm =
        run("--format pcm --out '" + out.string() + "' --title 2=Typed --no-number");
    EXPECT_EQ(pcm.status, 0) << pcm.err;
    EXPECT_EQ(filesIn(out),
              std::vector<std::string>({"AC\u2215DC.pcm", "Track03.pcm", "Tram Lines.cue",
                                        "Tram Lines.log", "Typed.pcm"}));

    const fs::path tagged = folder_ / "tagged";
    const Outcome mp3 =
        run("--format mp3 --jobs 2 --tracks 1,2 --title 2=Typed --out '" + tagged.string() + "'");
    ASSERT_EQ(mp3.status, 0) << mp3.err;
    const std::map<std::string, std::map<std::string, std::string>> expected = {
        {"01_AC\u2215DC.mp3", {{"title", "AC/DC"}, {"artist", "The Conductors"}}},
        {"02_Typed.mp3", {{"title", "Typed"}, {"artist", "The Conductors"}}}};
    for (const auto& [file, tags] : expected) {
        auto found = varrow::testing::ffprobeTags(tagged / file);
        EXPECT_EQ(found["title"], tags.at("title")) << file;
        EXPECT_EQ(found["artist"], tags.at("artist")) << file;
        EXPECT_EQ(found["album"], "Tram Lines") << file;
    }

    const Outcome typedSlash =
        run("--format pcm --tracks 1 --title 1=A/B --out '" + (folder_ / "out").string() + "'");
    EXPECT_NE(typedSlash.err.find("Cannot create file " + (folder_ / "out").string() +
                                  "/01_A/B.pcm: a file name cannot hold '/'"),
              std::string::npos)
        << typedSlash.err;
}

TEST_F(VarrowRip, RipsToWavFilesHoldingTheImagesBytes) {
    const std::string drive = imageDrive();
    const Outcome rip = run("rip --drive " + drive + " --out '" + (folder_ / "wav").string() + "'");
    ASSERT_EQ(rip.status, 0) << rip.err;
    for (std::size_t i = 0; i < tracks_.size(); ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "%02zu_Track%02zu.wav", i + 1, i + 1);
        SCOPED_TRACE(name);
        const std::vector<uint8_t> wav = readBytes(folder_ / "wav" / name);
        ASSERT_EQ(wav.size(), 44 + tracks_[i].size());
        EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
        EXPECT_TRUE(std::equal(wav.begin() + 44, wav.end(), tracks_[i].begin()));
        // Not a terminal: plain progress lines and a summary per track.
        EXPECT_NE(rip.out.find(std::string(name) + ": 100%"), std::string::npos) << rip.out;
        EXPECT_NE(rip.out.find(std::string(name) + ": " + std::to_string(wav.size()) +
                               " bytes, jitter errors: 0"),
                  std::string::npos)
            << rip.out;
    }
}

TEST_F(VarrowRip, RipsChosenTracksAsPcmWithoutNumbers) {
    const std::string drive = imageDrive();
    const Outcome rip =
        run("rip --drive " + drive + " --tracks 3,2 --format pcm --no-number --out '" +
            (folder_ / "pcm").string() + "'");
    ASSERT_EQ(rip.status, 0) << rip.err;
    EXPECT_FALSE(fs::exists(folder_ / "pcm" / "Track01.pcm"));
    EXPECT_EQ(readBytes(folder_ / "pcm" / "Track02.pcm"), tracks_[1]);
    EXPECT_EQ(readBytes(folder_ / "pcm" / "Track03.pcm"), tracks_[2]);
}

TEST_F(VarrowRip, RipsToMp3ThatDecodesToTheSameAudio) {
    const std::string drive = imageDrive();
    const Outcome rip = run("rip --drive " + drive + " --tracks 1 --format mp3 --out '" +
                            (folder_ / "mp3").string() + "'");
    ASSERT_EQ(rip.status, 0) << rip.err;
    const std::vector<uint8_t> decoded = decode(folder_ / "mp3" / "01_Track01.mp3");
    // Encoder delay and the last frame's padding come on top of the audio.
    EXPECT_GE(decoded.size(), tracks_[0].size());
    EXPECT_LE(decoded.size(), tracks_[0].size() + 4 * 1152 * 4);
    EXPECT_NEAR(rms(decoded) / rms(tracks_[0]), 1.0, 0.1);
}

TEST_F(VarrowRip, RipsToFlacThatDecodesToTheImagesAudioWithItsReplayGain) {
    addCdText("TITLE \"Tram Lines\"\nPERFORMER \"The Conductors\"\n", {"AC/DC"});
    const fs::path out = folder_ / "flac";
    const Outcome rip = run("--format flac --tracks 1,2 --out '" + out.string() + "'");
    ASSERT_EQ(rip.status, 0) << rip.err;
    EXPECT_EQ(filesIn(out), std::vector<std::string>({"01_AC\u2215DC.flac", "02_Track02.flac",
                                                      "Tram Lines.cue", "Tram Lines.log"}));
    // The gains' values are the meter's to get right; here they reach the
    // files, the album's the same in both.
    std::string albumGain;
    for (std::size_t i = 0; i < 2; ++i) {
        const fs::path file = out / filesIn(out)[i];
        SCOPED_TRACE(file.string());
        EXPECT_TRUE(varrow::testing::flacToolAccepts(file));
        const varrow::testing::DecodedFlac decoded = varrow::testing::decodeFlac(file);
        EXPECT_TRUE(decoded.ok) << "the stored MD5 is that of the audio";
        EXPECT_TRUE(decoded.pcm == tracks_[i]);
        auto tags = varrow::testing::ffprobeTags(file);
        EXPECT_EQ(tags["title"], i == 0 ? "AC/DC" : "Track02");
        EXPECT_TRUE(tags["replaygain_track_gain"].ends_with(" dB"));
        EXPECT_TRUE(tags["replaygain_album_gain"].ends_with(" dB"));
        EXPECT_TRUE(i == 0 || tags["replaygain_album_gain"] == albumGain);
        albumGain = tags["replaygain_album_gain"];
    }
}

TEST_F(VarrowRip, VbrMp3IsTaggedAndCarriesItsExactLengthToTheLastSample) {
    // The tag frame written after the ID3v2 tag tells decoders the
    // encoder's delay and padding; the last, partial chunk is encoded too.
    const std::string drive = imageDrive();
    const Outcome rip =
        run("rip --drive " + drive + " --tracks 2 --format mp3 --vbr --no-replaygain --out '" +
            (folder_ / "vbr").string() + "'");
    ASSERT_EQ(rip.status, 0) << rip.err;
    const fs::path mp3 = folder_ / "vbr" / "02_Track02.mp3";
    const std::vector<uint8_t> decoded = decode(mp3);
    EXPECT_EQ(decoded.size(), tracks_[1].size());

    const std::map<std::string, std::string> expected{
        {"title", "Track02"}, {"track", "2/3"}, {"encoder", "Varrow " VARROW_VERSION}};
    EXPECT_EQ(varrow::testing::ffprobeTags(mp3), expected);
    const auto v1 = varrow::testing::readId3v1(mp3);
    EXPECT_TRUE(v1.present);
    EXPECT_EQ(v1.title, "Track02");
    EXPECT_EQ(v1.track, 2);
}

TEST_F(VarrowRip, ParallelEncodersWriteTheBytesOfOne) {
    struct Case {
        const char* name;
        std::string flags;
        const char* extension;
    };
    const Case cases[] = {
        {"CBR", "--format mp3 --bitrate 192", "mp3"},
        {"VBR", "--format mp3 --vbr --max-bitrate 256", "mp3"},
        {"mono of the right channel", "--format mp3 --mode mono --mix right --bitrate 64", "mp3"},
        {"FLAC", "--format flac --compression 8", "flac"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::vector<uint8_t>> files[2];
        for (const int jobs : {1, 3}) {
            const fs::path out = folder_ / ("jobs" + std::to_string(jobs));
            fs::remove_all(out);
            const Outcome rip =
                run(c.flags + " --jobs " + std::to_string(jobs) + " --out '" + out.string() + "'");
            ASSERT_EQ(rip.status, 0) << rip.err;
            std::size_t lastReport = 0;
            for (std::size_t i = 0; i < tracks_.size(); ++i) {
                char name[64];
                std::snprintf(name, sizeof name, "%02zu_Track%02zu.%s", i + 1, i + 1, c.extension);
                files[jobs == 1 ? 0 : 1].push_back(readBytes(out / name));
                // Each track is reported once it is written, in track order.
                const std::size_t report = rip.out.find((out / name).string() + ": ");
                ASSERT_NE(report, std::string::npos) << rip.out;
                EXPECT_GE(report, lastReport) << rip.out;
                lastReport = report;
            }
            // No temporary file is left beside them, the log and the cue sheet.
            EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()),
                      static_cast<std::ptrdiff_t>(tracks_.size() + 2));
        }
        for (std::size_t i = 0; i < tracks_.size(); ++i) {
            EXPECT_GT(files[0][i].size(), 1000u);
            EXPECT_TRUE(files[0][i] == files[1][i]) << "track " << i + 1;
        }
    }
}

TEST_F(VarrowRip, ExitCodesTellUsageFromFailure) {
    const Outcome usage = run("rip --format ogg");
    EXPECT_EQ(usage.status, 2);
    EXPECT_NE(usage.err.find("Usage:"), std::string::npos);
    EXPECT_NE(usage.err.find("invalid format 'ogg'"), std::string::npos);

    const Outcome noDrive = run("toc --drive 9999");
    EXPECT_EQ(noDrive.status, 1);
    EXPECT_NE(noDrive.err.find("there is no drive 9999"), std::string::npos);

    const Outcome noTrack = run("rip --drive " + imageDrive() + " --tracks 4");
    EXPECT_EQ(noTrack.status, 2);
    EXPECT_NE(noTrack.err.find("there is no track 4"), std::string::npos);

    // A folder in place of the first file: that track fails, the others
    // are written.
    fs::create_directories(folder_ / "out" / "01_Track01.wav" / "keep");
    const Outcome partly =
        run("rip --drive " + imageDrive() + " --out '" + (folder_ / "out").string() + "'");
    EXPECT_EQ(partly.status, 1);
    EXPECT_NE(partly.err.find("track 01 failed: Cannot create file"), std::string::npos)
        << partly.err;
    EXPECT_TRUE(fs::exists(folder_ / "out" / "03_Track03.wav"));

    // A file in place of the folder: nothing can be written.
    std::ofstream(folder_ / "blocker") << "x";
    const Outcome blocked =
        run("rip --drive " + imageDrive() + " --out '" + (folder_ / "blocker").string() + "'");
    EXPECT_EQ(blocked.status, 1);
}

TEST_F(VarrowRip, ProvesTheRipWithTheDatabaseALogThatChecksItselfAndACueSheet) {
    // The database confirms tracks 1 and 3 and knows another reading of 2;
    // the checksums' values are the engine's own table to get right.
    varrow::testing::LocalHttpServer server;
    ::setenv("VARROW_ACCURATERIP_URL", server.url().c_str(), 1);
    const online::AccurateRipDisc disc =
        online::accurateRipDisc(varrow::testing::tocOfTracks(tracks_));
    online::AccurateRipEntry entry{disc.id1, disc.id2, disc.cddb, {}};
    std::vector<std::string> expected; // "CRC V1 V2", upper-case hex
    for (std::size_t i = 0; i < tracks_.size(); ++i) {
        TrackChecksums sums(static_cast<int32_t>(tracks_[i].size() / SECTOR_BYTES), i == 0,
                            i + 1 == tracks_.size());
        sums.add(tracks_[i]);
        char text[32];
        std::snprintf(text, sizeof text, "%08X %08X %08X", sums.copyCrc(), sums.accurateRipV1(),
                      sums.accurateRipV2());
        expected.push_back(text);
        entry.tracks.push_back({5, sums.accurateRipV2() + (i == 1 ? 1u : 0u), 0});
    }
    server.serve("/" + disc.urlPath(),
                 varrow::testing::httpAnswer(200, varrow::testing::accurateRipFileBytes({entry})));

    const fs::path out = folder_ / "out";
    const Outcome rip = run("--out '" + out.string() + "'");
    ASSERT_EQ(rip.status, 0) << "a track not matched is no failure\n" << rip.err;
    EXPECT_NE(rip.out.find("Summary: 3 of 3 tracks written; AccurateRip: 2 of 3 tracks matched\n"),
              std::string::npos)
        << rip.out;
    const std::string log = readText(out / "disc.log");
    for (std::size_t i = 0; i < tracks_.size(); ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "%02zu_Track%02zu.wav", i + 1, i + 1);
        SCOPED_TRACE(name);
        const std::string crc = expected[i].substr(0, 8);
        const std::string result = i == 1 ? "Not matched (database confidence 5)"
                                          : "Accurately ripped (confidence 5) [v2]";
        EXPECT_NE(rip.out.find(", CRC " + crc + ", " + result + "\n"), std::string::npos)
            << rip.out;
        EXPECT_NE(log.find("  File: " + std::string(name) + "\n"), std::string::npos);
        EXPECT_NE(log.find("  Copy CRC: " + crc +
                           "\n  AccurateRip v1: " + expected[i].substr(9, 8) +
                           "\n  AccurateRip v2: " + expected[i].substr(18) +
                           "\n  AccurateRip: " + result + "\n"),
                  std::string::npos)
            << log;
    }

    // verify-log: the log as written, one character changed, no log.
    std::string changed = log;
    changed[changed.find("Copy CRC: ") + 10] ^= 1;
    std::ofstream(folder_ / "changed.log") << changed;
    const struct {
        fs::path file;
        int status;
    } checks[] = {{out / "disc.log", 0}, {folder_ / "changed.log", 1}, {folder_ / "disc.cue", 2}};
    for (const auto& check : checks) {
        const Outcome verified = run("verify-log '" + check.file.string() + "'");
        EXPECT_EQ(verified.status, check.status) << check.file << verified.out << verified.err;
    }

    // The cue sheet of the files, read back by libcdio as the disc's tracks.
    EXPECT_EQ(readText(out / "disc.cue"), "REM COMMENT \"Varrow " VARROW_VERSION "\"\n"
                                          "FILE \"01_Track01.wav\" WAVE\n"
                                          "  TRACK 01 AUDIO\n"
                                          "    INDEX 01 00:00:00\n"
                                          "FILE \"02_Track02.wav\" WAVE\n"
                                          "  TRACK 02 AUDIO\n"
                                          "    INDEX 01 00:00:00\n"
                                          "FILE \"03_Track03.wav\" WAVE\n"
                                          "  TRACK 03 AUDIO\n"
                                          "    INDEX 01 00:00:00\n");
}

TEST_F(VarrowRip, FindsTheOffsetOfAShiftedImageStoresItAndRipsTheDiscAsItIs) {
    // The image as a drive that reads 667 samples late delivers the disc:
    // its audio delayed, what it delays in silence.
    writeImage({470, 460, 455});
    std::vector<uint8_t> disc;
    for (const auto& track : tracks_) {
        disc.insert(disc.end(), track.begin(), track.end());
    }
    constexpr int32_t kOffset = 667;
    std::vector<char> shifted(disc.size(), 0);
    std::copy(disc.begin(), disc.end() - 4 * kOffset, shifted.begin() + 4 * kOffset);
    std::ofstream(folder_ / "disc.bin", std::ios::binary | std::ios::trunc)
        .write(shifted.data(), static_cast<std::streamsize>(shifted.size()));
    varrow::testing::LocalHttpServer server;
    varrow::testing::serveChecksums(server, tracks_, 9);
    const std::string online = "export VARROW_ACCURATERIP_URL='" + server.url() +
                               "' XDG_CACHE_HOME='" + (folder_ / "cache").string() + "'; ";
    const std::string drive = imageDrive();

    const Outcome found = run("offset --drive " + drive, "", online);
    EXPECT_EQ(found.status, 0) << found.err;
    EXPECT_NE(found.out.find("Read offset: +667 (confidence 9, matched on tracks 1 and 2)\n"),
              std::string::npos)
        << found.out;
    EXPECT_NE(found.out.find("run again with --save to store 667"), std::string::npos);
    const Outcome saved = run("offset --save --drive " + drive, "", online);
    EXPECT_EQ(saved.status, 0) << saved.err;
    EXPECT_NE(readText(folder_ / "varrow.INI").find("READOFFSET=667"), std::string::npos);

    // The stored offset rips the disc as it is (what the shift leaves past
    // its end is the library's own table); --offset 0 rips what the drive
    // reads.
    const fs::path out = folder_ / "out";
    const Outcome rip = run("--out '" + out.string() + "'");
    EXPECT_EQ(rip.status, 0) << rip.err;
    EXPECT_NE(rip.out.find("667 samples past the disc's ends are silence (read offset +667)"),
              std::string::npos)
        << rip.out;
    const std::vector<uint8_t> wav = readBytes(out / "01_Track01.wav");
    EXPECT_TRUE(std::vector<uint8_t>(wav.begin() + 44, wav.end()) == tracks_[0]);
    const Outcome uncorrected =
        run("--offset 0 --tracks 1 --format pcm --out '" + out.string() + "'");
    EXPECT_EQ(uncorrected.status, 0) << uncorrected.err;
    EXPECT_TRUE(readBytes(out / "01_Track01.pcm") ==
                std::vector<uint8_t>(shifted.begin(), shifted.begin() + 470 * 2352));

    // A disc the database does not know: said so, and no success.
    writeImage({470, 460});
    const Outcome unknown = run("offset --drive " + drive, "", online);
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.err.find("The AccurateRip database does not know this disc"),
              std::string::npos)
        << unknown.err;
}

TEST_F(VarrowRip, TocListsAudioBeforeTrackOneAsTrackZeroWithThePregapsAndRipsIt) {
    // Track 1's INDEX 01 at 00:02:00 with audio before it; track 2 with a
    // pregap of a second.
    writeImage({150 + 241, 191});
    std::ofstream(folder_ / "disc.cue") << "FILE \"disc.bin\" BINARY\n"
                                           "  TRACK 01 AUDIO\n    INDEX 00 00:00:00\n"
                                           "    INDEX 01 00:02:00\n"
                                           "  TRACK 02 AUDIO\n    INDEX 00 00:04:16\n"
                                           "    INDEX 01 00:05:16\n";
    const std::string drive = imageDrive();
    const Outcome toc = run("toc --drive " + drive);
    ASSERT_EQ(toc.status, 0) << toc.err;
    std::istringstream lines(toc.out);
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);) {
        rows.push_back(line);
    }
    ASSERT_EQ(rows.size(), 3u) << toc.out;
    EXPECT_EQ(rows[0].rfind("00  Audio        0      149      350448  ", 0), 0u) << toc.out;
    EXPECT_EQ(rows[1].rfind("01  Audio      150      390", 0), 0u) << toc.out;
    EXPECT_NE(rows[1].find("  pregap 0-149"), std::string::npos) << toc.out;
    EXPECT_NE(rows[2].find("  pregap 316-390"), std::string::npos) << toc.out;

    const fs::path out = folder_ / "out";
    const Outcome rip = run("--tracks 0 --format pcm --out '" + out.string() + "'");
    EXPECT_EQ(rip.status, 0) << rip.err;
    EXPECT_TRUE(readBytes(out / "00_Track00.pcm") ==
                std::vector<uint8_t>(tracks_[0].begin(), tracks_[0].begin() + 150 * SECTOR_BYTES));
}

// In process, so that the interruption arrives at a known point; it is
// asked for the way the signal handler asks for it.
class VarrowRipInProcess : public VarrowRip {
protected:
    void SetUp() override {
        VarrowRip::SetUp();
        ::setenv("VARROW_CD_IMAGES", (folder_ / "disc.cue").c_str(), 1);
        ::setenv("VARROW_SETTINGS_FILE", (folder_ / "varrow.INI").c_str(), 1);
        out_ = folder_ / "out";
        fs::create_directories(out_);
        std::ofstream(out_ / "01_Track01.wav") << "kept";
        settings_.folder = out_.string();
    }
    void TearDown() override {
        cdlib::setSectorReadFilter(nullptr);
        varrowrip::clearInterruption();
        ::unsetenv("VARROW_CD_IMAGES");
        ::unsetenv("VARROW_SETTINGS_FILE");
        VarrowRip::TearDown();
    }

    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(out_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path out_;
    varrowrip::RipSettings settings_;
    std::ostringstream progress_;
    std::ostringstream errors_;
};

TEST_F(VarrowRipInProcess, BeforeATrackTouchesNoFile) {
    const int32_t drive = std::stoi(imageDrive());
    varrowrip::requestInterruption();
    EXPECT_EQ(varrowrip::ripTracks(drive, settings_, false, progress_, errors_),
              varrowrip::EXIT_INTERRUPTED);
    EXPECT_NE(errors_.str().find("interrupted before track 01"), std::string::npos)
        << errors_.str();
    EXPECT_EQ(readText(out_ / "01_Track01.wav"), "kept");
    EXPECT_EQ(files(), std::vector<std::string>{"01_Track01.wav"});
}

TEST_F(VarrowRipInProcess, InsideADriveReadStopsAtOnceAndKeepsTheExistingFile) {
    const int32_t drive = std::stoi(imageDrive());
    for (const bool correction : {true, false}) {
        SCOPED_TRACE(correction ? "jitter correction on" : "jitter correction off");
        varrowrip::clearInterruption();
        settings_.jitterCorrection = correction;
        int reads = 0;
        int readsAfter = 0;
        cdlib::setSectorReadFilter([&](void* buffer, int32_t first, long sectors,
                                       const cdlib::SectorReader& read) -> long {
            if (++reads == 3) {
                varrowrip::requestInterruption();
            } else if (reads > 3) {
                ++readsAfter;
            }
            return read(buffer, first, sectors);
        });
        EXPECT_EQ(varrowrip::ripTracks(drive, settings_, false, progress_, errors_),
                  varrowrip::EXIT_INTERRUPTED);
        EXPECT_EQ(readsAfter, 0) << "no drive read after the interruption";
        EXPECT_EQ(readText(out_ / "01_Track01.wav"), "kept");
        EXPECT_EQ(files(), std::vector<std::string>{"01_Track01.wav"});
    }
    EXPECT_NE(errors_.str().find("01_Track01.wav was left as it was"), std::string::npos)
        << errors_.str();
}

TEST_F(VarrowRipInProcess, MidTrackWithoutAFileLeavesAValidShorterOne) {
    // One long track: the library reads ahead about 1250 sectors at once,
    // and is interrupted when it reads beyond them.
    tracks_ = {trackAudio(1, 3000)};
    std::ofstream(folder_ / "disc.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(tracks_[0].data()),
               static_cast<std::streamsize>(tracks_[0].size()));
    std::ofstream(folder_ / "disc.cue")
        << "FILE \"disc.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n";
    const int32_t drive = std::stoi(imageDrive());
    fs::remove(out_ / "01_Track01.wav");
    cdlib::setSectorReadFilter(
        [&](void* buffer, int32_t first, long sectors, const cdlib::SectorReader& read) -> long {
            if (first >= 1500) {
                varrowrip::requestInterruption();
            }
            return read(buffer, first, sectors);
        });
    EXPECT_EQ(varrowrip::ripTracks(drive, settings_, false, progress_, errors_),
              varrowrip::EXIT_INTERRUPTED);
    EXPECT_NE(errors_.str().find("holds the audio read until then"), std::string::npos)
        << errors_.str();
    const std::vector<uint8_t> first = readBytes(out_ / "01_Track01.wav");
    ASSERT_GE(first.size(), 44u);
    const std::size_t audio = first.size() - 44;
    EXPECT_LT(audio, tracks_[0].size());
    EXPECT_TRUE(std::equal(first.begin() + 44, first.end(), tracks_[0].begin()));
    EXPECT_EQ(first[40] | first[41] << 8 | first[42] << 16 | first[43] << 24,
              static_cast<int>(audio))
        << "the header describes the audio written";
    EXPECT_EQ(files(), std::vector<std::string>{"01_Track01.wav"});
}

TEST_F(VarrowRipInProcess, LostSectorsFailTheTrackAndAreNamed) {
    const int32_t drive = std::stoi(imageDrive());
    fs::remove(out_ / "01_Track01.wav");
    for (const bool correction : {true, false}) {
        SCOPED_TRACE(correction ? "jitter correction on" : "jitter correction off");
        tracks_.clear();
        SetUp(); // the image whole again
        fs::remove(out_ / "01_Track01.wav");
        progress_.str("");
        errors_.str("");
        settings_.jitterCorrection = correction;
        // The image loses its end once reading has begun: track 2 from
        // sector 300 on, and track 3.
        bool cut = false;
        const fs::path bin = folder_ / "disc.bin";
        cdlib::setSectorReadFilter([&](void* buffer, int32_t first, long sectors,
                                       const cdlib::SectorReader& read) -> long {
            if (!cut) {
                cut = true;
                fs::resize_file(bin, 300 * SECTOR_BYTES);
            }
            return read(buffer, first, sectors);
        });
        EXPECT_EQ(varrowrip::ripTracks(drive, settings_, false, progress_, errors_),
                  varrowrip::EXIT_FAILED);
        EXPECT_NE(progress_.str().find("01_Track01.wav: 569228 bytes"), std::string::npos)
            << progress_.str();
        EXPECT_NE(errors_.str().find("track 02 lost 133 unreadable sectors at 300-432; " +
                                     (out_ / "02_Track02.wav").string() +
                                     " holds the audio read until then"),
                  std::string::npos)
            << errors_.str();
        EXPECT_NE(errors_.str().find("track 03 lost 303 unreadable sectors at 433-735; "),
                  std::string::npos)
            << errors_.str();
        EXPECT_EQ(progress_.str().find((out_ / "02_Track02.wav").string() + ": "),
                  std::string::npos)
            << "not called written";
    }
}

TEST_F(VarrowRipInProcess, ParallelEncodersFailALossyTrackAloneAsOneEncoderDoes) {
    settings_.kind = varrowrip::OutputKind::Mp3;
    std::string messages[2];
    std::vector<uint8_t> files[2][3];
    for (const int jobs : {1, 3}) {
        SCOPED_TRACE("jobs " + std::to_string(jobs));
        tracks_.clear();
        SetUp(); // the image whole again
        for (const auto& entry : fs::directory_iterator(out_)) {
            fs::remove(entry.path());
        }
        progress_.str("");
        errors_.str("");
        settings_.jobs = jobs;
        // The image loses its end once reading has begun: track 2 from
        // sector 300 on, and track 3.
        bool cut = false;
        cdlib::setSectorReadFilter([&](void* buffer, int32_t first, long sectors,
                                       const cdlib::SectorReader& read) -> long {
            if (!cut) {
                cut = true;
                fs::resize_file(folder_ / "disc.bin", 300 * SECTOR_BYTES);
            }
            return read(buffer, first, sectors);
        });
        const int32_t drive = std::stoi(imageDrive());
        EXPECT_EQ(varrowrip::ripTracks(drive, settings_, false, progress_, errors_),
                  varrowrip::EXIT_FAILED);
        EXPECT_NE(progress_.str().find((out_ / "01_Track01.mp3").string() + ": "),
                  std::string::npos)
            << progress_.str();
        EXPECT_NE(errors_.str().find("track 02 lost 133 unreadable sectors at 300-432; " +
                                     (out_ / "02_Track02.mp3").string() +
                                     " holds the audio read until then\n"),
                  std::string::npos)
            << errors_.str();
        messages[jobs == 1 ? 0 : 1] = errors_.str();
        for (int track = 0; track < 3; ++track) {
            char name[64];
            std::snprintf(name, sizeof name, "%02d_Track%02d.mp3", track + 1, track + 1);
            files[jobs == 1 ? 0 : 1][track] = readBytes(out_ / name);
        }
    }
    EXPECT_EQ(messages[1], messages[0]);
    for (int track = 0; track < 3; ++track) {
        EXPECT_TRUE(files[1][track] == files[0][track]) << "track " << track + 1;
    }
}

// Progress text that asks for an interruption as soon as `trigger` is
// written, as a Ctrl-C at that moment would.
class InterruptingProgress final : public std::stringbuf {
public:
    explicit InterruptingProgress(std::string trigger)
        : trigger_(std::move(trigger)) {}
    bool interrupted() const { return interrupted_; }

protected:
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        const std::streamsize written = std::stringbuf::xsputn(text, count);
        if (!interrupted_ && str().find(trigger_) != std::string::npos) {
            interrupted_ = true;
            varrowrip::requestInterruption();
        }
        return written;
    }

private:
    std::string trigger_;
    bool interrupted_ = false;
};

TEST_F(VarrowRipInProcess, AnInterruptionStopsEveryEncoderAndLeavesValidFiles) {
    // Track 3 had a complete file; it is interrupted with its first progress
    // report, while it is being read. The drive may have read it ahead
    // already, so the report, not a drive read, is the moment.
    settings_.kind = varrowrip::OutputKind::Mp3;
    settings_.jobs = 2;
    std::ofstream(out_ / "03_Track03.mp3") << "kept";
    const int32_t drive = std::stoi(imageDrive());
    InterruptingProgress progress("03_Track03.mp3: ");
    std::ostream progressStream(&progress);
    int readsAfter = 0;
    cdlib::setSectorReadFilter(
        [&](void* buffer, int32_t first, long sectors, const cdlib::SectorReader& read) -> long {
            readsAfter += progress.interrupted() ? 1 : 0;
            return read(buffer, first, sectors);
        });
    EXPECT_EQ(varrowrip::ripTracks(drive, settings_, false, progressStream, errors_),
              varrowrip::EXIT_INTERRUPTED);
    EXPECT_TRUE(progress.interrupted());
    EXPECT_EQ(readsAfter, 0) << "no drive read after the interruption";
    EXPECT_NE(errors_.str().find("interrupted; " + (out_ / "03_Track03.mp3").string() +
                                 " was left as it was"),
              std::string::npos)
        << errors_.str();
    EXPECT_EQ(readText(out_ / "03_Track03.mp3"), "kept");
    EXPECT_EQ(readText(out_ / "01_Track01.wav"), "kept");
    // Tracks 1 and 2 ended whole, early or (stopped before any audio was
    // encoded) without a file; what is there is a valid MP3, and no
    // temporary file is left.
    for (const std::string& name : files()) {
        if (name == "01_Track01.wav" || name == "03_Track03.mp3") {
            continue;
        }
        EXPECT_TRUE(name == "01_Track01.mp3" || name == "02_Track02.mp3") << name;
        const std::string check =
            "ffmpeg -v error -xerror -i '" + (out_ / name).string() + "' -f null - 2>/dev/null";
        EXPECT_EQ(std::system(check.c_str()), 0) << name;
    }
}

TEST_F(VarrowRip, AFullDiskLeavesTheFileItWasToReplace) {
    const fs::path out = folder_ / "full";
    fs::create_directories(out);
    std::ofstream(out / "01_Track01.wav") << "complete";
    // A file-size limit of 100 kB stands in for a full disk.
    const Outcome rip = run("--tracks 1 --out '" + out.string() + "'", "", "ulimit -f 200; ");
    EXPECT_EQ(rip.status, 1) << rip.err;
    EXPECT_NE(rip.err.find("track 01 failed: Write error: File too large; " +
                           (out / "01_Track01.wav").string() + " was left as it was"),
              std::string::npos)
        << rip.err;
    EXPECT_EQ(readText(out / "01_Track01.wav"), "complete");
    // Nothing beside it: a rip that placed no file writes no log or cue sheet.
    EXPECT_EQ(filesIn(out), std::vector<std::string>({"01_Track01.wav"}));
}

TEST_F(VarrowRip, SaysTheSystemsReason) {
    const fs::path locked = folder_ / "locked";
    fs::create_directories(locked);
    std::ofstream(folder_ / "plain") << "x";
    const Outcome notAFolder = run("--out '" + (folder_ / "plain").string() + "'");
    EXPECT_EQ(notAFolder.status, 1);
    EXPECT_NE(notAFolder.err.find("cannot use the folder " + (folder_ / "plain").string() + ": "),
              std::string::npos)
        << notAFolder.err;

    fs::create_directories(folder_ / "dirs" / "01_Track01.wav");
    const Outcome isFolder = run("--tracks 1 --out '" + (folder_ / "dirs").string() + "'");
    EXPECT_EQ(isFolder.status, 1);
    EXPECT_NE(isFolder.err.find("Cannot create file " +
                                (folder_ / "dirs" / "01_Track01.wav").string() +
                                ": Is a directory"),
              std::string::npos)
        << isFolder.err;
}

TEST_F(VarrowRip, ReadsTheDataFileTheCueSheetNamesAndNoDecoy) {
    // The cue sheet moves to another folder and names the data file there;
    // a decoy of the cue sheet's own name sits beside it.
    fs::create_directories(folder_ / "cues");
    const std::string cue = readText(folder_ / "disc.cue");
    std::ofstream(folder_ / "cues" / "disc.cue")
        << "FILE \"" << (folder_ / "disc.bin").string() << "\" BINARY\n"
        << cue.substr(cue.find('\n') + 1);
    std::ofstream(folder_ / "cues" / "disc.bin", std::ios::binary)
        << std::string(tracks_[0].size() + tracks_[1].size() + tracks_[2].size(), '\x11');
    const std::string images = (folder_ / "cues" / "disc.cue").string();
    const Outcome rip = run(
        "rip --drive 0 --tracks 2 --format pcm --out '" + (folder_ / "pcm").string() + "'", images);
    ASSERT_EQ(rip.status, 0) << rip.err;
    EXPECT_EQ(readBytes(folder_ / "pcm" / "02_Track02.pcm"), tracks_[1]);
}

TEST_F(VarrowRip, ACueSheetNamingAMissingFileRipsAsCdParanoiaReadsIt) {
    // Which file stands in for the missing one is the image drive's table.
    const std::string cue = readText(folder_ / "disc.cue");
    std::ofstream(folder_ / "disc.cue") << "FILE \"renamed-since.bin\" BINARY\n"
                                        << cue.substr(cue.find('\n') + 1);
    const fs::path out = folder_ / "wav";
    const Outcome rip = run("rip --drive 0 --tracks 2 --out '" + out.string() + "'");
    ASSERT_EQ(rip.status, 0) << rip.err;
    EXPECT_NE(rip.err.find("varrow-rip: drive 0: disc.cue names renamed-since.bin, which is "
                           "missing; disc.bin is read instead\n"),
              std::string::npos)
        << rip.err;
    const fs::path theirs = folder_ / "paranoia.wav";
    const std::string paranoia = "cd '" + folder_.string() +
                                 "' && cd-paranoia -q -c -d disc.cue -w 2 '" + theirs.string() +
                                 "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(paranoia.c_str()), 0) << paranoia;
    EXPECT_EQ(readBytes(out / "02_Track02.wav"), readBytes(theirs));
}

TEST_F(VarrowRip, SaysWhichImageCannotBeReadAndWhy) {
    struct Case {
        const char* name;
        std::string cue;
        std::string reason;
    };
    const Case cases[] = {
        {"a missing data file", "FILE \"gone.bin\" BINARY\n  TRACK 01 AUDIO\n",
         "data file " + (folder_ / "gone.bin").string() + " is missing"},
        {"a malformed cue sheet", "FILE \"disc.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 1:2\n",
         "bad.cue line 3"},
        {"one file per track",
         "FILE \"disc.bin\" BINARY\n  TRACK 01 AUDIO\nFILE \"b.bin\" BINARY\n  TRACK 02 AUDIO\n",
         "bad.cue names more than one data file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream(folder_ / "bad.cue") << c.cue;
        const std::string images = (folder_ / "bad.cue").string();
        const Outcome drives = run("drives", images);
        EXPECT_EQ(drives.out.rfind("[0]:Image bad.cue: " + c.reason.substr(0, 10), 0), 0u)
            << drives.out;
        for (const std::string& command : std::vector<std::string>{
                 "toc --drive 0", "rip --drive 0 --out '" + (folder_ / "out").string() + "'"}) {
            const Outcome outcome = run(command, images);
            EXPECT_EQ(outcome.status, 1);
            EXPECT_EQ(outcome.err.rfind("varrow-rip: drive 0 (Image bad.cue) cannot be read: ", 0),
                      0u)
                << outcome.err;
            EXPECT_NE(outcome.err.find(c.reason), std::string::npos) << outcome.err;
            EXPECT_EQ(outcome.err.find("no CD"), std::string::npos) << outcome.err;
        }
    }
}

TEST_F(VarrowRip, ManyListedImagesLeaveFileHandlesToSpare) {
    // Far more images than the process may hold files open; the last is
    // ripped after every one has been listed.
    std::string images;
    for (int i = 0; i < 300; ++i) {
        const fs::path cue = folder_ / "many" / std::to_string(i) / "disc.cue";
        fs::create_directories(cue.parent_path());
        std::ofstream(cue) << "FILE \"../../disc.bin\" BINARY\n  TRACK 01 AUDIO\n"
                              "    INDEX 01 00:00:00\n";
        images += cue.string() + ":";
    }
    const Outcome outcome =
        run("drives && '" VARROW_RIP "' rip --drive 299 --format pcm --no-number --out '" +
                (folder_ / "pcm").string() + "'",
            images, "ulimit -n 48; ");
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_NE(outcome.out.find("[299]:Image 299/disc.cue"), std::string::npos);
    EXPECT_EQ(fs::file_size(folder_ / "pcm" / "Track01.pcm"),
              tracks_[0].size() + tracks_[1].size() + tracks_[2].size());
}

} // namespace
