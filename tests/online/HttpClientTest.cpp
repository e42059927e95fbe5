// The HTTP client against the local server: what each way a server can
// answer (or not) becomes, the fields every request carries, stopping a
// request, and the pace kept with one host.
#include "HttpClient.h"

#include "HostPacer.h"
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
using varrow::testing::LocalHttpServer;
using Outcome = HttpResponse::Outcome;

HttpAnswer answer(int status, std::string body = {}) {
    HttpAnswer answer;
    answer.status = status;
    answer.body = std::move(body);
    return answer;
}

HttpAnswer ending(HttpAnswer::Ending how) {
    HttpAnswer answer;
    answer.ending = how;
    return answer;
}

// Short waits, so that a table of retries and timeouts runs in moments.
HttpRequest quickRequest(const std::string& url) {
    HttpRequest request;
    request.url = url;
    request.connectTimeout = 2s;
    request.totalTimeout = 1s;
    request.firstBackOff = 10ms;
    request.longestBackOff = 40ms;
    return request;
}

struct ServerCase {
    const char* name;
    std::vector<HttpAnswer> answers; // for /file
    int retriesOn503 = 3;
    std::size_t bodyLimit = 1 << 20;
    bool serverGone = false;
    Outcome outcome;
    long status = 0;
    std::string body;
    int attempts = 1;
    const char* reason = ""; // a piece of the description
};

class ServerAnswers : public ::testing::TestWithParam<ServerCase> {};

TEST_P(ServerAnswers, BecomeOneOutcome) {
    const ServerCase& c = GetParam();
    LocalHttpServer server;
    server.serve("/file", c.answers);
    server.serve("/elsewhere", answer(200, "moved here"));
    if (c.serverGone) {
        server.stop();
    }
    HttpRequest request = quickRequest(server.url() + "/file");
    request.retriesOn503 = c.retriesOn503;
    request.bodyLimit = c.bodyLimit;

    const HttpResponse response = HttpClient().get(request);

    EXPECT_EQ(response.outcome, c.outcome) << response.describe();
    EXPECT_EQ(response.status, c.status);
    EXPECT_EQ(response.body, c.body);
    EXPECT_EQ(response.attempts, c.attempts);
    EXPECT_NE(response.describe().find(c.reason), std::string::npos) << response.describe();
    if (!c.serverGone) {
        EXPECT_EQ(server.requestCount("/file"), c.attempts);
    }
}

HttpAnswer redirect() {
    HttpAnswer answer = ::answer(302);
    answer.headers = {{"Location", "/elsewhere"}};
    return answer;
}

HttpAnswer late(std::chrono::milliseconds delay) {
    HttpAnswer answer = ::answer(200, "late");
    answer.delay = delay;
    return answer;
}

HttpAnswer unavailableFor(const char* seconds) {
    HttpAnswer answer = ::answer(503);
    answer.headers = {{"Retry-After", seconds}};
    return answer;
}

INSTANTIATE_TEST_SUITE_P(
    Client, ServerAnswers,
    ::testing::Values(ServerCase{"Found",
                                 {answer(200, "data")},
                                 3,
                                 1 << 20,
                                 false,
                                 Outcome::Answered,
                                 200,
                                 "data",
                                 1,
                                 "status 200"},
                      ServerCase{"NotFound",
                                 {answer(404, "no")},
                                 3,
                                 1 << 20,
                                 false,
                                 Outcome::Answered,
                                 404,
                                 "no",
                                 1,
                                 "status 404"},
                      ServerCase{"RedirectFollowed",
                                 {redirect()},
                                 3,
                                 1 << 20,
                                 false,
                                 Outcome::Answered,
                                 200,
                                 "moved here",
                                 1,
                                 "status 200"},
                      ServerCase{"UnavailableThenFound",
                                 {answer(503), answer(503), answer(200, "at last")},
                                 3,
                                 1 << 20,
                                 false,
                                 Outcome::Answered,
                                 200,
                                 "at last",
                                 3,
                                 "status 200"},
                      ServerCase{"RetryAfterIsHeededWithinTheLongestBackOff",
                                 {unavailableFor("3600"), answer(200, "at last")},
                                 3,
                                 1 << 20,
                                 false,
                                 Outcome::Answered,
                                 200,
                                 "at last",
                                 2,
                                 "status 200"},
                      ServerCase{"UnavailableBeyondTheRetries",
                                 {answer(503, "busy")},
                                 2,
                                 1 << 20,
                                 false,
                                 Outcome::Answered,
                                 503,
                                 "busy",
                                 3,
                                 "status 503"},
                      ServerCase{"ServerErrorIsNotRetried",
                                 {answer(500)},
                                 3,
                                 1 << 20,
                                 false,
                                 Outcome::Answered,
                                 500,
                                 "",
                                 1,
                                 "status 500"},
                      ServerCase{"BodyBeyondTheLimit",
                                 {answer(200, std::string(5000, 'x'))},
                                 3,
                                 4096,
                                 false,
                                 Outcome::TooLarge,
                                 0,
                                 "",
                                 1,
                                 "larger"},
                      ServerCase{"BodyAtTheLimit",
                                 {answer(200, std::string(4096, 'x'))},
                                 3,
                                 4096,
                                 false,
                                 Outcome::Answered,
                                 200,
                                 std::string(4096, 'x'),
                                 1,
                                 "status 200"},
                      ServerCase{"SlowButInTime",
                                 {late(300ms)},
                                 3,
                                 1 << 20,
                                 false,
                                 Outcome::Answered,
                                 200,
                                 "late",
                                 1,
                                 "status 200"},
                      ServerCase{"NeverAnswers",
                                 {ending(HttpAnswer::Ending::NeverAnswer)},
                                 3,
                                 1 << 20,
                                 false,
                                 Outcome::Unreachable,
                                 0,
                                 "",
                                 1,
                                 "could not reach the server: "},
                      ServerCase{"ClosesTheConnection",
                                 {ending(HttpAnswer::Ending::CloseConnection)},
                                 3,
                                 1 << 20,
                                 false,
                                 Outcome::Unreachable,
                                 0,
                                 "",
                                 1,
                                 "could not reach the server: "},
                      ServerCase{"ServerGone",
                                 {answer(200)},
                                 3,
                                 1 << 20,
                                 true,
                                 Outcome::Unreachable,
                                 0,
                                 "",
                                 1,
                                 "could not reach the server: "}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HttpClientTest, EveryRequestNamesTheProgramAndCarriesItsFields) {
    LocalHttpServer server;
    server.serve("/ws", answer(200, "{}"));
    HttpRequest request = quickRequest(server.url() + "/ws?fmt=json");
    request.headers = {"Accept: application/json"};

    ASSERT_TRUE(HttpClient().get(request).answered(200));

    const auto received = server.requests();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].method, "GET");
    EXPECT_EQ(received[0].target, "/ws?fmt=json");
    EXPECT_EQ(received[0].header("Accept"), "application/json");
    const std::string agent = received[0].header("User-Agent").value_or("");
    EXPECT_EQ(agent, HttpClient::defaultUserAgent());
    EXPECT_TRUE(agent.starts_with(std::string("Varrow/") + VARROW_VERSION + " ( ")) << agent;
    EXPECT_TRUE(agent.ends_with(" )")) << agent;
}

// A stop request ends a request at once, whether it waits for an answer
// that does not come or for the next retry.
TEST(HttpClientTest, AStopRequestEndsTheRequestAtOnce) {
    HttpAnswer retryLater = answer(503);
    retryLater.headers = {{"Retry-After", "60"}};
    for (const HttpAnswer& waitFor : {ending(HttpAnswer::Ending::NeverAnswer), retryLater}) {
        LocalHttpServer server;
        server.serve("/slow", waitFor);
        HttpRequest request = quickRequest(server.url() + "/slow");
        request.totalTimeout = 60s;
        request.longestBackOff = 60s;
        std::stop_source stop;
        std::jthread stopper([&stop] {
            std::this_thread::sleep_for(200ms);
            stop.request_stop();
        });

        const auto started = std::chrono::steady_clock::now();
        const HttpResponse response = HttpClient().get(request, stop.get_token());

        EXPECT_EQ(response.outcome, Outcome::Cancelled);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
    }
}

TEST(HttpClientTest, PacedRequestsToOneHostKeepTheirDistance) {
    LocalHttpServer server;
    server.serve("/paced", answer(200));
    online::HostPacer pacer(250ms);
    const HttpClient client(HttpClient::defaultUserAgent(), pacer);
    HttpRequest request = quickRequest(server.url() + "/paced");
    request.paceHost = true;

    std::vector<std::jthread> lookups;
    for (int i = 0; i < 3; ++i) {
        lookups.emplace_back([&] { EXPECT_TRUE(client.get(request).answered(200)); });
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
