// SPDX-License-Identifier: GPL-3.0-or-later
// Every way the database's server answers, or does not, with and without an
// answer in the cache, becomes one answer and leaves the cache as it should.
#include "AccurateRipFiles.h"
#include "AccurateRipLookup.h"
#include "AccurateRipMatch.h"
#include "AnswerCache.h"
#include "HttpClient.h"
#include "LocalHttpServer.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using online::AccurateRipAnswer;
using online::AccurateRipVerdict;
using varrow::testing::HttpAnswer;
using varrow::testing::LocalHttpServer;
using Kind = AccurateRipAnswer::Kind;

// The disc looked up, and its first track's checksums as a rip made them.
const online::AccurateRipDisc kDisc = [] {
    online::DiscToc toc;
    toc.tracks = {{1, 0, true, 1}, {2, 22365, true, 1}};
    toc.leadOut = 39615;
    return online::accurateRipDisc(toc);
}();
constexpr uint32_t kRipV1 = 0xaaaa0001;
constexpr uint32_t kRipV2 = 0xbbbb0002;

HttpAnswer databaseFile(uint32_t checksum, int confidence) {
    const online::AccurateRipEntry entry{
        kDisc.id1, kDisc.id2, kDisc.cddb, {{confidence, checksum, 1}, {confidence, 0x1234, 2}}};
    return varrow::testing::httpAnswer(200, varrow::testing::accurateRipFileBytes({entry}));
}

HttpAnswer status(int code) {
    return varrow::testing::httpAnswer(code);
}

struct Cached {
    long status;
    std::chrono::hours age;
    bool damaged = false; // a found file, cut short
};

struct LookupCase {
    const char* name;
    std::vector<HttpAnswer> answers;
    std::optional<Cached> cached;
    bool refresh;
    Kind kind;
    bool fromCache;
    int requests;
    AccurateRipVerdict verdict; // of the first track, when found
    int confidence;
    const char* message;
    std::optional<long> cachedAfter;
};

class AccurateRipLookupTest : public ::testing::TestWithParam<LookupCase> {
protected:
    void SetUp() override { fs::remove_all(folder_); }
    void TearDown() override { fs::remove_all(folder_); }

    const fs::path folder_ =
        fs::temp_directory_path() / ("varrow-ar-" + std::to_string(::getpid()));
};

TEST_P(AccurateRipLookupTest, AnswersAndWhatTheCacheKeeps) {
    const LookupCase& c = GetParam();
    const auto now = std::chrono::system_clock::time_point(std::chrono::hours(480'000));
    const online::AnswerCache cache(folder_ / "accuraterip");
    if (c.cached) {
        std::string body = c.cached->status == 200 ? databaseFile(kRipV2, 3).body : "";
        if (c.cached->damaged) {
            body.pop_back();
        }
        cache.store(kDisc.fileName(), {c.cached->status, body, now - c.cached->age});
    }
    LocalHttpServer server;
    const std::string path = "/accuraterip/" + kDisc.urlPath();
    server.serve(path, c.answers);
    if (c.answers.empty()) {
        server.stop();
    }
    // The base URL comes from the environment, a slash at its end or not.
    ::setenv("VARROW_ACCURATERIP_URL", (server.url() + "/accuraterip/").c_str(), 1);
    online::AccurateRipLookupSettings settings =
        online::AccurateRipLookupSettings::fromEnvironment();
    ::unsetenv("VARROW_ACCURATERIP_URL");
    settings.connectTimeout = 1s;
    settings.totalTimeout = 500ms;
    settings.firstBackOff = 10ms;
    settings.refresh = c.refresh;
    settings.now = [now] {
        return now;
    };
    const online::HttpClient client;

    const AccurateRipAnswer answer =
        online::AccurateRipLookup(client, cache, settings).lookUp(kDisc);

    EXPECT_EQ(answer.kind, c.kind) << answer.message;
    EXPECT_EQ(answer.fromCache, c.fromCache);
    EXPECT_EQ(server.requestCount(path), c.requests);
    const online::AccurateRipTrackResult result =
        online::matchTrack(kDisc, answer.entries, 0, kRipV1, kRipV2);
    EXPECT_EQ(result.verdict, c.verdict);
    EXPECT_EQ(result.confidence, c.confidence);
    if (c.kind == Kind::Unavailable) {
        EXPECT_TRUE(
            answer.message.starts_with("Cannot look the disc up in the AccurateRip database: "));
    }
    EXPECT_NE(answer.message.find(c.message), std::string::npos) << answer.message;
    EXPECT_EQ(answer.message.find('\n'), std::string::npos);
    EXPECT_EQ(answer.cacheProblem, "");
    const std::optional<online::CachedAnswer> after = cache.load(kDisc.fileName());
    EXPECT_EQ(after ? std::optional<long>(after->status) : std::nullopt, c.cachedAfter);
}

constexpr auto kV2 = AccurateRipVerdict::MatchedV2;
constexpr auto kAbsent = AccurateRipVerdict::NotInDatabase;
constexpr auto kFound = Kind::Found;
constexpr auto kNotIn = Kind::NotInDatabase;
constexpr auto kDown = Kind::Unavailable;
const std::nullopt_t kNone = std::nullopt;

template <typename... Answers> std::vector<HttpAnswer> serves(Answers... answers) {
    return {answers...};
}
std::optional<Cached> kept(long status, std::chrono::hours age, bool damaged = false) {
    return Cached{status, age, damaged};
}
HttpAnswer cutShort(HttpAnswer answer) {
    answer.body.pop_back();
    return answer;
}

// Name; the server's answers (none: no server), the cache before, refresh;
// the answer's kind, from the cache, requests, the first track's verdict and
// confidence, a piece of the message, the cache's status after.
const LookupCase kLookups[] = {
    {"Found", serves(databaseFile(kRipV2, 12)), kNone, false, kFound, false, 1, kV2, 12, "", 200},
    {"NotInTheDatabase", serves(status(404)), kNone, false, kNotIn, false, 1, kAbsent, 0, "", 404},
    {"UnavailableThenFound", serves(status(503), databaseFile(kRipV2, 2)), kNone, false, kFound,
     false, 2, kV2, 2, "", 200},
    {"ServerError", serves(status(500)), kNone, false, kDown, false, 1, kAbsent, 0, "status 500",
     kNone},
    {"DamagedFile", serves(cutShort(databaseFile(kRipV2, 2))), kNone, false, kDown, false, 1,
     kAbsent, 0, "the database's file for the disc is damaged: entry 1 is cut short", kNone},
    {"ServerGone", serves(), kNone, false, kDown, false, 0, kAbsent, 0,
     "could not reach the server: ", kNone},
    {"FoundBeforeIsNotAskedAgain", serves(status(500)), kept(200, 9000h), false, kFound, true, 0,
     kV2, 3, "", 200},
    {"FoundBeforeIsUsedOffline", serves(), kept(200, 1h), true, kFound, true, 0, kV2, 3, "", 200},
    {"RefreshReplacesWhatWasFound", serves(databaseFile(kRipV2, 20)), kept(200, 1h), true, kFound,
     false, 1, kV2, 20, "", 200},
    {"NotFoundIsKeptForADay", serves(databaseFile(kRipV2, 5)), kept(404, 23h), false, kNotIn, true,
     0, kAbsent, 0, "", 404},
    {"NotFoundIsAskedAgainAfterADay", serves(databaseFile(kRipV2, 5)), kept(404, 25h), false,
     kFound, false, 1, kV2, 5, "", 200},
    {"NotFoundFromTheFutureIsAskedAgain", serves(status(404)), kept(404, -2h), false, kNotIn, false,
     1, kAbsent, 0, "", 404},
    {"OldNotFoundIsUsedOffline", serves(), kept(404, 48h), false, kNotIn, true, 0, kAbsent, 0, "",
     404},
    {"DamagedCacheIsAskedAgain", serves(databaseFile(kRipV2, 1)), kept(200, 1h, true), false,
     kFound, false, 1, kV2, 1, "", 200},
};

INSTANTIATE_TEST_SUITE_P(Database, AccurateRipLookupTest, ::testing::ValuesIn(kLookups),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
