// SPDX-License-Identifier: GPL-3.0-or-later
// An HTTP server inside the test process, on 127.0.0.1 at a free port, for
// every test of a network client: it serves a table of paths to answers
// (a status, header fields, a body, after a delay, or never, or by closing
// the connection), answers a path with a sequence (503, then 200), and
// records each request it receives with its header fields. Paths it does
// not know are answered with 404. Each connection carries one request.
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace varrow::testing {

struct HttpAnswer {
    enum class Ending {
        Answer,         // send the answer
        NeverAnswer,    // keep the connection open without a byte, until the client goes
        CloseConnection // close the connection without a byte
    };

    int status = 200;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    std::chrono::milliseconds delay{0}; // before the answer is sent
    Ending ending = Ending::Answer;
};

HttpAnswer httpAnswer(int status, std::string body = {},
                      std::vector<std::pair<std::string, std::string>> headers = {});
// An answer that is never sent, or a connection closed without one.
HttpAnswer httpAnswerNever(HttpAnswer::Ending ending = HttpAnswer::Ending::NeverAnswer);

struct ReceivedRequest {
    std::string method;
    std::string target; // the path and query as sent
    std::vector<std::pair<std::string, std::string>> headers;
    std::chrono::steady_clock::time_point at;

    // The value of the first header field of that name (any case).
    std::optional<std::string> header(std::string_view name) const;
};

class LocalHttpServer final {
public:
    // Listens at once; fails the test when no port can be had.
    LocalHttpServer();
    ~LocalHttpServer();
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    // "http://127.0.0.1:<port>", without a slash at the end.
    std::string url() const;

    // Requests for `path` get the answers in turn, the last one again and
    // again. A path with a query matches only that query; one without
    // matches any.
    void serve(const std::string& path, std::vector<HttpAnswer> answers);
    void serve(const std::string& path, HttpAnswer answer);

    // Requests received whose target is `path`, or whose path is `path`.
    int requestCount(const std::string& path) const;
    std::vector<ReceivedRequest> requests() const;

    // Closes the port and ends every connection in progress, waiting for
    // its thread; later connections are refused. Done by the destructor.
    void stop();

private:
    void acceptConnections();
    void answerConnection(int connection);
    HttpAnswer answerFor(const ReceivedRequest& request);
    // Waits up to `timeoutMs` (forever when negative) until `fd` is
    // readable or stop() was called; true for `fd`. With `fd` -1, a pause
    // that stop() cuts short.
    bool waitForReadable(int fd, int timeoutMs) const;
    bool stopping() const;

    int listener_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    int port_ = 0;
    std::thread acceptor_;

    mutable std::mutex mutex_;
    std::map<std::string, std::vector<HttpAnswer>> routes_;
    std::map<std::string, std::size_t> answered_; // per route, answers given
    std::vector<ReceivedRequest> received_;
    std::vector<std::thread> connections_;
    bool stopped_ = false;
};

} // namespace varrow::testing
