// The web service's answers read into releases: a whole answer as the
// service gives it, and answers with missing, null and mistyped fields,
// broken or oversized ones, which read as far as they can or as an error.
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

TEST(MusicBrainzAnswers, ReadAWholeReleaseAsTheServiceGivesIt) {
    const MusicBrainzAnswer answer =
        online::readDiscAnswer(musicBrainzAnswer("disc-two-releases.json"));
    ASSERT_TRUE(answer.readable()) << answer.error;
    ASSERT_EQ(answer.releases.size(), 2u);
    const MusicBrainzRelease& release = answer.releases[1];
    EXPECT_EQ(release.id, "7b4f2d3a-9e5c-4a6b-8d8f-2c3e4f5a6b71");
    EXPECT_EQ(release.date, "2010-06-01");
    EXPECT_EQ(release.country, "US");
    EXPECT_EQ(release.barcode, "885150331238");
    EXPECT_EQ(release.releaseGroupId, "2b3c4d5e-6f70-4819-a2b3-c4d5e6f70819");
    EXPECT_EQ(release.labelNames(), "Naxos");
    EXPECT_EQ(release.catalogNumbers(), "8.551234");
    EXPECT_EQ(release.formatSummary(), "CD");
    ASSERT_EQ(release.media.size(), 1u);
    EXPECT_EQ(release.media[0].discIds, (std::vector<std::string>{"dUmct3Sk4dAt1a98qUKYKC0ZjYU-",
                                                                  "xQ0o7eRz6WZ1lPNdu1hUvjbOS9Y-"}));
    const online::ReleaseTrack& track = release.media[0].tracks.at(1);
    EXPECT_EQ(track.title, "Café Øresund (2010 remaster)");
    EXPECT_EQ(track.artist.name, "Aurora Quartet feat. Ingrid Bjørnstad");
    EXPECT_EQ(track.artist.artistIds,
              (std::vector<std::string>{"0c1d2e3f-4a5b-4c6d-8e7f-9a0b1c2d3e4f",
                                        "5e6f7a8b-9c0d-4e1f-a2b3-c4d5e6f7a8b9"}));
    EXPECT_EQ(track.recordingId, "e1f2a3b4-0002-4000-8000-000000000002");
    EXPECT_EQ(track.lengthMs, 730866);
}

struct AnswerCase {
    const char* name;
    std::string json;
    std::string brief;
    bool release = false; // the answer to a release lookup
};

class OddAnswers : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(OddAnswers, ReadAsFarAsTheyCan) {
    const AnswerCase& c = GetParam();
    const MusicBrainzAnswer answer =
        c.release ? online::readReleaseAnswer(c.json) : online::readDiscAnswer(c.json);
    EXPECT_EQ(brief(answer), c.brief);
}

std::string nested(std::size_t depth) {
    return "{\"releases\":" + std::string(depth, '[') + std::string(depth, ']') + "}";
}

INSTANTIATE_TEST_SUITE_P(
    MusicBrainz, OddAnswers,
    ::testing::Values(
        AnswerCase{"NoReleasesIsNone", "{\"id\":\"x\"}", ""},
        AnswerCase{"CdStubListsNone",
                   R"({"id":"x","title":"Stub","artist":"Someone","tracks":[{"title":"A"}]})", ""},
        AnswerCase{"Empty", "", "error: the answer is not JSON"},
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
                   "error: the answer is larger than any the service gives"},
        AnswerCase{
            "ReleaseLookup", musicBrainzAnswer("release-by-id.json"),
            "[Collected Works/Aurora Quartet 1:CD#Wm2tV0F6u5rqzqZb0K3w2jq8Y1o- 1.Dawn@1003000 "
            "2.Fjord@731000 3.Glacier@2745000 2:CD#dUmct3Sk4dAt1a98qUKYKC0ZjYU- 1.Polar Night "
            "2.Café Øresund~Aurora Quartet feat. Ingrid Bjørnstad 3.Midnight Sun]",
            true},
        AnswerCase{"ReleaseLookupOfAList", "[1]", "error: the answer is not a JSON object", true}),
    [](const auto& info) { return info.param.name; });

} // namespace
