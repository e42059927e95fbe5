// SPDX-License-Identifier: GPL-3.0-or-later
// The web service's answers read into releases: answers as the service
// gives them, and answers with missing, null and mistyped fields, broken or
// oversized ones, which read as far as they can or as an error.
#include "MusicBrainzAnswer.h"
#include "MusicBrainzAnswers.h"

#include <gtest/gtest.h>

namespace {

using online::MusicBrainzAnswer;
using online::MusicBrainzRelease;
using varrow::testing::musicBrainzAnswer;

// The answer in brief: per release its title, artist and media, per medium
// its position, format, disc IDs and tracks (position, title, length, and
// the artist where it is not the release's).
std::string brief(const MusicBrainzAnswer& answer) {
    if (!answer.readable()) {
        return "error: " + answer.error;
    }
    std::string text;
    for (const MusicBrainzRelease& release : answer.releases) {
        text += "[" + release.title + "/" + release.artist.name;
        for (const auto& medium : release.media) {
            text += " " + std::to_string(medium.position) + ":" + medium.format;
            for (const std::string& id : medium.discIds) {
                text += "#" + id;
            }
            for (const auto& track : medium.tracks) {
                text += " " + std::to_string(track.position) + "." + track.title;
                if (track.lengthMs) {
                    text += "@" + std::to_string(*track.lengthMs);
                }
                if (track.artist.name != release.artist.name) {
                    text += "~" + track.artist.name;
                }
            }
        }
        text += "]";
    }
    return text;
}

// What a list of releases shows of each, for the user to tell them apart.
std::string listing(const MusicBrainzAnswer& answer) {
    std::string text;
    for (const MusicBrainzRelease& r : answer.releases) {
        text += r.title + " | " + r.artist.name + " | " + r.date + " | " + r.country + " | " +
                r.labelNames() + " | " + r.catalogNumbers() + " | " + r.barcode + " | " +
                r.formatSummary() + "\n";
    }
    return text;
}

TEST(MusicBrainzAnswers, GiveWhatTellsReleasesApart) {
    EXPECT_EQ(listing(online::readDiscAnswer(musicBrainzAnswer("disc-two-releases.json"))),
              "Northern Lights | Aurora Quartet | 2004-03-15 | NO | Grappa | GRCD 4012 | "
              "7041888512345 | CD\n"
              "Northern Lights | Aurora Quartet | 2010-06-01 | US | Naxos | 8.551234 | "
              "885150331238 | CD\n");
    EXPECT_EQ(listing(online::readReleaseAnswer(musicBrainzAnswer("release-by-id.json"))),
              "Collected Works | Aurora Quartet | 2012-11-09 | XE | Grappa Box | BOX 12 | "
              "5028421945124 | 2×CD\n");
}

struct AnswerCase {
    const char* name;
    std::string json;
    std::string brief;
};

class OddAnswers : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(OddAnswers, ReadAsFarAsTheyCan) {
    const AnswerCase& c = GetParam();
    EXPECT_EQ(brief(online::readDiscAnswer(c.json)), c.brief);
}

std::string nested(std::size_t depth) {
    return "{\"releases\":" + std::string(depth, '[') + std::string(depth, ']') + "}";
}

INSTANTIATE_TEST_SUITE_P(
    MusicBrainz, OddAnswers,
    ::testing::Values(
        AnswerCase{"CdStubListsNone",
                   R"({"id":"x","title":"Stub","artist":"Someone","tracks":[{"title":"A"}]})", ""},
        AnswerCase{"CutShort", R"({"releases":[{"id":"6a3e1c2f","title":"Nor)",
                   "error: the answer is not JSON"},
        AnswerCase{"NotUtf8", "{\"releases\":[{\"title\":\"\xff\"}]}",
                   "error: the answer is not JSON"},
        AnswerCase{"AList", "[]", "error: the answer is not a JSON object"},
        AnswerCase{"ReleasesNotAList", R"({"releases":{}})",
                   "error: the answer's releases are not a list"},
        AnswerCase{"NullsEverywhere",
                   R"({"releases":[null,{"id":null,"title":null,"artist-credit":null,
                   "media":[null,{"position":null,"format":null,"discs":[null,{"id":null}],
                   "tracks":[null,{"position":null,"title":null,"length":null,
                   "recording":null,"artist-credit":[null]}]}]}]})",
                   "[/ 2: 2.]"},
        AnswerCase{"WrongTypes",
                   R"({"releases":[{"title":5,"artist-credit":"Quartet","media":[{"position":"2",
                   "format":["CD"],"discs":"x","tracks":[{"position":-3,"title":["x"],
                   "length":"300"},{"title":"B","length":1.5},{"title":"C","length":-40}]}]}]})",
                   "[/ 1: 1. 2.B 3.C]"},
        AnswerCase{"OutOfOrderIsSorted",
                   R"({"releases":[{"title":"T","media":[{"position":2,"tracks":[
                   {"position":2,"title":"b"},{"position":1,"title":"a"}]},{"position":1}]}]})",
                   "[T/ 1: 2: 1.a 2.b]"},
        AnswerCase{"TrackFallsBackOnItsRecording",
                   R"({"releases":[{"media":[{"tracks":[{"recording":{"title":"R","length":9,
                   "artist-credit":[{"name":"","artist":{"name":"Named"}}]}}]}]}]})",
                   "[/ 1: 1.R@9~Named]"},
        AnswerCase{"HugeNumbers",
                   R"({"releases":[{"media":[{"position":18446744073709551615,"tracks":[
                   {"position":99999999999,"length":18446744073709551615}]}]}]})",
                   "[/ 1: 1.]"},
        AnswerCase{"BracketsInStringsAreText",
                   "{\"releases\":[{\"title\":\"\\\"" + std::string(200, '[') + "\"}]}",
                   "[\"" + std::string(200, '[') + "/]"},
        AnswerCase{"TooDeep", nested(100'000),
                   "error: the answer is nested deeper than any the service gives"},
        AnswerCase{"TooLarge",
                   "{\"releases\":[],\"x\":\"" +
                       std::string(online::kLargestMusicBrainzAnswer, 'x') + "\"}",
                   "error: the answer is larger than any the service gives"}),
    [](const auto& info) { return info.param.name; });

} // namespace
