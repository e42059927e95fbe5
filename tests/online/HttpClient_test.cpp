// SPDX-License-Identifier: GPL-3.0-or-later
// What each way a server answers (or not) becomes, stopping a request, and
// the pace kept with one host.
#include "HostPacer.h"
#include "HttpClient.h"
#include "LocalHttpServer.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <thread>

namespace {

using namespace std::chrono_literals;
using online::HttpClient;
using online::HttpRequest;
using online::HttpResponse;
using varrow::testing::HttpAnswer;
using varrow::testing::httpAnswer;
using varrow::testing::httpAnswerNever;
using varrow::testing::LocalHttpServer;
using Outcome = HttpResponse::Outcome;
using Ending = HttpAnswer::Ending;

// Short waits, two retries, a body of at most 4 KiB.
HttpRequest quickRequest(const std::string& url) {
    HttpRequest request;
    request.url = url;
    request.headers = {"Accept: application/json"};
    request.connectTimeout = 2s;
    request.totalTimeout = 1s;
    request.bodyLimit = 4096;
    request.retriesOn503 = 2;
    request.firstBackOff = 10ms;
    request.longestBackOff = 40ms;
    return request;
}

struct ServerCase {
    const char* name;
    std::vector<HttpAnswer> answers; // none: no server at all
    Outcome outcome;
    long status;
    std::string body;
    int attempts;
};

class ServerAnswers : public ::testing::TestWithParam<ServerCase> {};

TEST_P(ServerAnswers, BecomeOneOutcome) {
    const ServerCase& c = GetParam();
    LocalHttpServer server;
    server.serve("/file", c.answers);
    server.serve("/elsewhere", httpAnswer(200, "moved here"));
    if (c.answers.empty()) {
        server.stop();
    }

    const HttpResponse response = HttpClient().get(quickRequest(server.url() + "/file"));

    EXPECT_EQ(response.outcome, c.outcome) << response.describe();
    EXPECT_EQ(response.status, c.status);
    EXPECT_EQ(response.body, c.body);
    EXPECT_EQ(response.attempts, c.attempts);
    if (c.outcome == Outcome::Unreachable) {
        EXPECT_TRUE(response.describe().starts_with("could not reach the server: "));
        EXPECT_GT(response.error.size(), 0u);
    }
    // Every request names the program and carries the caller's fields.
    for (const auto& request : server.requests()) {
        EXPECT_EQ(request.header("User-Agent"), HttpClient::defaultUserAgent());
        EXPECT_EQ(request.header("Accept"), "application/json");
    }
    EXPECT_TRUE(HttpClient::defaultUserAgent().starts_with(std::string("Varrow/") + VARROW_VERSION +
                                                           " ( "));
}

const std::string kLargest(4096, 'x');
const HttpAnswer kBusy = httpAnswer(503);
const HttpAnswer kAtLast = httpAnswer(200, "at last");
const HttpAnswer kMoved = httpAnswer(302, {}, {{"Location", "/elsewhere"}});
constexpr auto kAnswered = Outcome::Answered;
constexpr auto kUnreachable = Outcome::Unreachable;
HttpAnswer busyFor(const char* seconds) {
    return httpAnswer(503, {}, {{"Retry-After", seconds}});
}

const ServerCase kServerCases[] = {
    {"Found", {httpAnswer(200, kLargest)}, kAnswered, 200, kLargest, 1},
    {"RedirectFollowed", {kMoved}, kAnswered, 200, "moved here", 1},
    {"UnavailableThenFound", {kBusy, kBusy, kAtLast}, kAnswered, 200, "at last", 3},
    // The server's Retry-After is kept to the longest back-off.
    {"RetryAfterWithinBounds", {busyFor("3600"), kAtLast}, kAnswered, 200, "at last", 2},
    {"UnavailableBeyondTheRetries", {httpAnswer(503, "busy")}, kAnswered, 503, "busy", 3},
    {"ServerErrorIsNotRetried", {httpAnswer(500)}, kAnswered, 500, "", 1},
    {"BodyBeyondTheLimit", {httpAnswer(200, kLargest + "x")}, Outcome::TooLarge, 0, "", 1},
    {"NeverAnswers", {httpAnswerNever(Ending::NeverAnswer)}, kUnreachable, 0, "", 1},
    {"ClosesTheConnection", {httpAnswerNever(Ending::CloseConnection)}, kUnreachable, 0, "", 1},
    {"ServerGone", {}, kUnreachable, 0, "", 1},
};

INSTANTIATE_TEST_SUITE_P(Client, ServerAnswers, ::testing::ValuesIn(kServerCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A stop request ends a request at once, whether it waits for an answer
// that does not come or for the next retry.
TEST(HttpClientTest, AStopRequestEndsTheRequestAtOnce) {
    for (const HttpAnswer& waitFor : {httpAnswerNever(Ending::NeverAnswer), busyFor("60")}) {
        LocalHttpServer server;
        server.serve("/slow", waitFor);
        HttpRequest request = quickRequest(server.url() + "/slow");
        request.totalTimeout = request.longestBackOff = 60s;
        std::stop_source stop;
        std::jthread stopper([&stop] {
            std::this_thread::sleep_for(200ms);
            stop.request_stop();
        });

        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(HttpClient().get(request, stop.get_token()).outcome, Outcome::Cancelled);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
    }
}

TEST(HttpClientTest, PacedRequestsToOneHostKeepTheirDistance) {
    LocalHttpServer server;
    server.serve("/paced", httpAnswer(200));
    online::HostPacer pacer(250ms);
    const HttpClient client(HttpClient::defaultUserAgent(), pacer);
    HttpRequest request = quickRequest(server.url() + "/paced");
    request.paceHost = true;

    std::vector<std::jthread> lookups(3);
    for (auto& lookup : lookups) {
        lookup = std::jthread([&] { EXPECT_TRUE(client.get(request).answered(200)); });
    }
    lookups.clear();

    auto received = server.requests();
    ASSERT_EQ(received.size(), 3u);
    std::ranges::sort(received, {}, &varrow::testing::ReceivedRequest::at);
    for (std::size_t i = 1; i < received.size(); ++i) {
        EXPECT_GE(received[i].at - received[i - 1].at, 240ms) << "request " << i;
    }
}

} // namespace
