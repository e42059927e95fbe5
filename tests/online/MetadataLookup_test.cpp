// SPDX-License-Identifier: GPL-3.0-or-later
// What each way MusicBrainz and the Cover Art Archive answer (or not) makes
// of a rip's names, tags and cover, which release is chosen, what is kept
// for offline use, and that a stop request ends a lookup at once.
#include "HostPacer.h"
#include "LocalHttpServer.h"
#include "MetadataLookup.h"
#include "MusicBrainzAnswers.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace std::string_literals;
using online::Freshness;
using online::MetadataLookup;
using online::MetadataRequest;
using online::MetadataResult;
using Outcome = online::MusicBrainzLookup::Outcome;
using varrow::testing::HttpAnswer;
using varrow::testing::LocalHttpServer;
using varrow::testing::musicBrainzAnswer;

// The disc of the answers: three audio tracks.
const online::DiscToc kDisc{{{1, 0}, {2, 75258}, {3, 130073}}, 335953};
const std::string kIncludes = "inc=recordings+artist-credits+labels+release-groups&fmt=json";
const std::string kById = "/ws/2/discid/dUmct3Sk4dAt1a98qUKYKC0ZjYU-?" + kIncludes;
const std::string kByToc = "/ws/2/discid/-?toc=1+3+336103+150+75408+130223&" + kIncludes;
const std::string kNorway = "6a3e1c2f-8d4b-4f5a-9c7e-1b2d3e4f5a60";
const std::string kUsa = "7b4f2d3a-9e5c-4a6b-8d8f-2c3e4f5a6b71";
const std::string kBox = "8c5a3e4b-af6d-4b7c-9e90-3d4f5a6b7c82";
const std::string kLive = "9d6b4f5c-b07e-4c8d-af01-4e5f6a7b8c93";
const std::string kJpeg = "\xFF\xD8\xFF\xE0\0\x10JFIF\0scan"s;
const std::string kPng = "\x89PNG\r\n\x1A\n\0\0\0\rIHDR"s;
// A shorter pace than the service's second, kept the same way.
constexpr auto kPace = 50ms;

std::string releasePath(const std::string& id) {
    return "/ws/2/release/" + id + "?" + kIncludes.substr(0, kIncludes.find('&')) +
           "+discids&fmt=json";
}
std::string coverPath(const std::string& id) {
    return "/caa/release/" + id + "/front";
}

HttpAnswer answer(int status, std::string body = {}) {
    return varrow::testing::httpAnswer(status, std::move(body));
}
HttpAnswer json(const char* name) {
    return answer(200, musicBrainzAnswer(name));
}

struct Route {
    std::string path;
    std::vector<HttpAnswer> answers;
};
Route byId(HttpAnswer answer) {
    return {kById, {std::move(answer)}};
}
Route byToc(HttpAnswer answer) {
    return {"/ws/2/discid/-", {std::move(answer)}};
}
Route cover(const std::string& id, HttpAnswer answer) {
    return {coverPath(id), {std::move(answer)}};
}
template <typename... Routes> std::vector<Route> routes(Routes... each) {
    return {each...};
}

enum class Before {
    Nothing,
    ServerGone,
    SameLookUp,
    SameLookUpThenGone,
    CacheUnwritable, // a file stands where the cache's folders go
};

struct LookupCase {
    const char* name;
    std::vector<Route> routes;
    MetadataRequest request;
    Before before;
    Outcome outcome;
    std::string names;     // of the chosen release, in brief; empty for none
    std::string cover;     // the cover's type; empty for none
    const char* message;   // a piece of it; empty for none
    std::string requested; // the targets asked by this lookup, in order
};

MetadataRequest disc(std::string mcn = {}, std::string releaseId = {},
                     Freshness freshness = Freshness::PreferCache) {
    return {kDisc, std::move(mcn), std::move(releaseId), freshness, true};
}

// Album | album artist | date | disc n/N | release | each track's number,
// title and artist where it is not the album's.
std::string brief(const MetadataResult& result) {
    if (!result.metadata) {
        return {};
    }
    const online::DiscMetadata& m = *result.metadata;
    std::string text = m.album + " | " + m.albumArtist + " | " + m.date + " | " +
                       std::to_string(m.discNumber) + "/" + std::to_string(m.discCount) + " | " +
                       m.releaseId.substr(0, 8) + " |";
    for (const auto& track : m.tracks) {
        text += " " + std::to_string(track.number) + " " + track.title;
        if (track.artist != m.albumArtist) {
            text += " (" + track.artist + ")";
        }
    }
    return text;
}

class MetadataLookupTest : public ::testing::Test {
protected:
    void TearDown() override { fs::remove_all(cache_); }

    MetadataLookup lookup() {
        const auto quick = [](online::HttpRequest request) {
            request.connectTimeout = 2s;
            request.totalTimeout = 1s;
            request.firstBackOff = 10ms;
            request.longestBackOff = 40ms;
            return request;
        };
        const online::HttpClient http(online::HttpClient::defaultUserAgent(), pacer_);
        return MetadataLookup(
            online::MusicBrainzClient(http, online::AnswerCache(cache_ / "musicbrainz"),
                                      server_.url(),
                                      quick(online::MusicBrainzClient::defaultRequest())),
            online::CoverArtClient(http, online::AnswerCache(cache_ / "coverart"),
                                   server_.url() + "/caa",
                                   quick(online::CoverArtClient::defaultRequest())));
    }

    LocalHttpServer server_;
    online::HostPacer pacer_{kPace};
    const fs::path cache_ =
        fs::temp_directory_path() / ("varrow-metadata-" + std::to_string(::getpid()));
};

class LookupAnswers : public MetadataLookupTest,
                      public ::testing::WithParamInterface<LookupCase> {};

TEST_P(LookupAnswers, NameTheDisc) {
    const LookupCase& c = GetParam();
    for (const Route& route : c.routes) {
        server_.serve(route.path, route.answers);
    }
    if (c.before == Before::SameLookUp || c.before == Before::SameLookUpThenGone) {
        lookup().lookUp(c.request);
    }
    if (c.before == Before::ServerGone || c.before == Before::SameLookUpThenGone) {
        server_.stop();
    }
    if (c.before == Before::CacheUnwritable) {
        std::ofstream(cache_) << "not a folder";
    }
    const std::size_t earlier = server_.requests().size();

    const auto start = std::chrono::steady_clock::now();
    const MetadataResult result = lookup().lookUp(c.request);
    const auto elapsed = std::chrono::steady_clock::now() - start;

    EXPECT_EQ(result.outcome, c.outcome) << result.message;
    EXPECT_EQ(brief(result), c.names);
    EXPECT_EQ(result.cover.mimeType, c.cover);
    EXPECT_EQ(result.cover.bytes, c.cover.empty() ? "" : c.cover == "image/png" ? kPng : kJpeg);
    EXPECT_NE(result.message.find(c.message), std::string::npos) << result.message;
    EXPECT_EQ(result.message.empty(), *c.message == '\0') << result.message;
    const auto requests = server_.requests();
    std::string requested;
    int askedMusicBrainz = 0;
    for (std::size_t i = earlier; i < requests.size(); ++i) {
        requested += (requested.empty() ? "" : " ") + requests[i].target;
        EXPECT_TRUE(requests[i].header("User-Agent").value_or("").starts_with("Varrow/"));
        askedMusicBrainz += requests[i].target.starts_with("/ws/2/") ? 1 : 0;
    }
    EXPECT_EQ(requested, c.requested);
    // The service's pace: a request waits for the turn of the one before.
    EXPECT_GE(elapsed, kPace * std::max(askedMusicBrainz - 1, 0));
}

const auto kOneRelease = routes(
    byId(json("disc-one-release.json")),
    cover(kNorway, varrow::testing::httpAnswer(307, {}, {{"Location", "/images/front.jpg"}})),
    Route{"/images/front.jpg", {answer(200, kJpeg)}});
const std::string kOneReleaseAsked = kById + " " + coverPath(kNorway) + " /images/front.jpg";
const auto kTwoReleases = routes(byId(json("disc-two-releases.json")));
const auto kUnknown = routes(byId(answer(404, musicBrainzAnswer("not-found.json"))),
                             byToc(json("toc-no-match.json")));
const std::string kTracks =
    "1 Polar Night 2 Café Øresund (Aurora Quartet feat. Ingrid Bjørnstad) 3 Midnight Sun";
const std::string kNorthernLights =
    "Northern Lights | Aurora Quartet | 2004-03-15 | 1/1 | 6a3e1c2f | " + kTracks;
const std::string kRemaster = "Northern Lights | Aurora Quartet | 2010-06-01 | 1/1 | 7b4f2d3a | 1 "
                              "Polar Night (2010 remaster) 2 Café Øresund (2010 remaster) (Aurora "
                              "Quartet feat. Ingrid Bjørnstad) 3 Midnight Sun (2010 remaster)";
const std::string kSecondOfTheBox =
    "Collected Works | Aurora Quartet | 2012-11-09 | 2/2 | 8c5a3e4b | " + kTracks;
const auto kFound = Outcome::Found;
const auto kUnknownDisc = Outcome::NotFound;
const auto kUnavailable = Outcome::Unavailable;
const auto kRefresh = Freshness::Refresh;

INSTANTIATE_TEST_SUITE_P(
    Services, LookupAnswers,
    ::testing::Values(
        LookupCase{"OneRelease", kOneRelease, disc(), Before::Nothing, kFound, kNorthernLights,
                   "image/jpeg", "", kOneReleaseAsked},
        // An all-zero catalogue number is a drive's way of saying none.
        LookupCase{"SeveralOfferTheFirst", kTwoReleases, disc("0000000000000"), Before::Nothing,
                   kFound, kNorthernLights, "", "", kById + " " + coverPath(kNorway)},
        LookupCase{"SeveralOfferTheOneOfTheDiscsCatalogueNumber",
                   routes(kTwoReleases[0], cover(kUsa, answer(200, kPng))), disc("0885150331238"),
                   Before::Nothing, kFound, kRemaster, "image/png", "",
                   kById + " " + coverPath(kUsa)},
        LookupCase{"ReleaseChosenByHand", kTwoReleases,
                   disc("7041888512345", "7B4F2D3A-9E5C-4A6B-8D8F-2C3E4F5A6B71"), Before::Nothing,
                   kFound, kRemaster, "", "", kById + " " + coverPath(kUsa)},
        LookupCase{"ReleaseChosenByHandThatTheDiscIsNotOn",
                   routes(byId(json("disc-one-release.json")),
                          Route{releasePath(kBox), {json("release-by-id.json")}}),
                   disc({}, kBox), Before::Nothing, kFound, kSecondOfTheBox, "", "",
                   kById + " " + releasePath(kBox) + " " + coverPath(kBox)},
        LookupCase{"ReleaseChosenByHandThatDoesNotExist", kUnknown, disc({}, kBox), Before::Nothing,
                   kUnknownDisc, "", "", "MusicBrainz has no release 8c5a3e4b",
                   kById + " " + kByToc + " " + releasePath(kBox)},
        LookupCase{"NotAReleaseId", kOneRelease, disc({}, "8c5a3e4b"), Before::Nothing,
                   kUnavailable, "", "", "\"8c5a3e4b\" is not a MusicBrainz release ID", ""},
        LookupCase{"SetOfTwoDiscs", routes(byId(json("disc-multi-disc.json"))), disc(),
                   Before::Nothing, kFound, kSecondOfTheBox, "", "", kById + " " + coverPath(kBox)},
        LookupCase{"UnknownIdMatchedByTableOfContents",
                   routes(kUnknown[0], byToc(json("toc-fuzzy-match.json"))), disc(),
                   Before::Nothing, kFound,
                   "Northern Lights | Aurora Quartet | 2004 | 1/1 | 9d6b4f5c | " + kTracks, "", "",
                   kById + " " + kByToc + " " + coverPath(kLive)},
        LookupCase{"Unknown", kUnknown, disc(), Before::Nothing, kUnknownDisc, "", "",
                   "MusicBrainz does not know this disc", kById + " " + kByToc},
        LookupCase{"NotFoundIsKeptForADay", kUnknown, disc(), Before::SameLookUp, kUnknownDisc, "",
                   "", "MusicBrainz does not know this disc", ""},
        LookupCase{"RefreshAsksAgain", kUnknown, disc({}, {}, kRefresh), Before::SameLookUp,
                   kUnknownDisc, "", "", "MusicBrainz does not know this disc",
                   kById + " " + kByToc},
        LookupCase{"UnavailableThenFound",
                   routes(Route{kById, {answer(503), json("disc-one-release.json")}}), disc(),
                   Before::Nothing, kFound, kNorthernLights, "", "",
                   kById + " " + kById + " " + coverPath(kNorway)},
        LookupCase{"Malformed", routes(byId(answer(200, R"({"releases":[{"id":)"))), disc(),
                   Before::Nothing, kUnavailable, "", "",
                   "MusicBrainz is not available: the answer is not JSON", kById},
        LookupCase{"ServerGone", kOneRelease, disc(), Before::ServerGone, kUnavailable, "", "",
                   "MusicBrainz is not available: could not reach the server", ""},
        LookupCase{"KeptAnswerOffline", kOneRelease, disc(), Before::SameLookUpThenGone, kFound,
                   kNorthernLights, "image/jpeg", "", ""},
        LookupCase{"RefreshOfflineKeepsTheKeptAnswer", kOneRelease, disc({}, {}, kRefresh),
                   Before::SameLookUpThenGone, kFound, kNorthernLights, "image/jpeg",
                   "the answer kept from an earlier lookup stands. The Cover Art Archive is not "
                   "available (could not reach the server",
                   ""},
        // A full or read-only disk costs the offline copy, not the names.
        LookupCase{"CacheThatCannotBeWritten", kOneRelease, disc(), Before::CacheUnwritable, kFound,
                   kNorthernLights, "image/jpeg",
                   "The answer could not be kept for offline use: Cannot create folder",
                   kOneReleaseAsked},
        LookupCase{"CoverThatIsNoImage",
                   routes(byId(json("disc-one-release.json")),
                          cover(kNorway, answer(200, "<html>moved</html>"))),
                   disc(), Before::Nothing, kFound, kNorthernLights, "",
                   "The front cover is neither a JPEG nor a PNG image",
                   kById + " " + coverPath(kNorway)}),
    [](const auto& info) { return info.param.name; });

TEST_F(MetadataLookupTest, TagsCarryTheMusicBrainzIds) {
    server_.serve(kById, json("disc-one-release.json"));
    const online::DiscMetadata metadata = lookup().lookUp(disc()).metadata.value();
    std::string ids = metadata.releaseGroupId;
    for (const auto& track : metadata.tracks) {
        ids += " " + track.recordingId.substr(0, 13) + ":";
        for (const std::string& artist : track.artistIds) {
            ids += " " + artist.substr(0, 8);
        }
    }
    EXPECT_EQ(ids, "2b3c4d5e-6f70-4819-a2b3-c4d5e6f70819 e1f2a3b4-0001: 0c1d2e3f e1f2a3b4-0002: "
                   "0c1d2e3f 5e6f7a8b e1f2a3b4-0003: 0c1d2e3f");
    EXPECT_EQ(metadata.albumArtistIds,
              std::vector<std::string>{"0c1d2e3f-4a5b-4c6d-8e7f-9a0b1c2d3e4f"});
}

TEST_F(MetadataLookupTest, StopEndsALookupInProgressAtOnce) {
    server_.serve(kById, varrow::testing::httpAnswerNever());
    const MetadataLookup slow = lookup();
    MetadataResult result;
    std::jthread lookupThread([&](std::stop_token stop) { result = slow.lookUp(disc(), stop); });
    while (server_.requestCount("/ws/2/discid/dUmct3Sk4dAt1a98qUKYKC0ZjYU-") == 0) {
        std::this_thread::sleep_for(5ms);
    }
    lookupThread.request_stop();
    lookupThread.join();
    EXPECT_EQ(result.outcome, Outcome::Cancelled);
    EXPECT_FALSE(result.metadata);
}

} // namespace
