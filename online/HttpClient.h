// SPDX-License-Identifier: GPL-3.0-or-later
// HTTP GET over libcurl for the online services (the AccurateRip database,
// MusicBrainz, the Cover Art Archive). Every request is bounded: a connect
// timeout, a total timeout, a limit on the body's size, a bounded number of
// retries; a stop request ends it at once, whatever the transfer is doing.
//
// A request blocks its caller until it ends: the window runs lookups on a
// thread of their own and stops them through the stop token. Any number of
// threads may send requests at the same time, each with its own client or
// through one shared client.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace online {

class HostPacer;

struct HttpRequest {
    std::string url;
    // Extra header lines, "Name: value".
    std::vector<std::string> headers;
    std::chrono::milliseconds connectTimeout{10'000};
    // The whole exchange, redirects included, for one attempt.
    std::chrono::milliseconds totalTimeout{30'000};
    // A larger body ends the transfer with HttpResponse::Outcome::TooLarge.
    std::size_t bodyLimit = 16u << 20;
    // At most one request a second to the URL's host (MusicBrainz asks for
    // it), counted over every client of the process.
    bool paceHost = false;
    // "503 Service Unavailable" is asked again, at most this many times,
    // after waiting firstBackOff, then twice as long each time (or what the
    // server's Retry-After says), never longer than longestBackOff.
    int retriesOn503 = 3;
    std::chrono::milliseconds firstBackOff{1'000};
    std::chrono::milliseconds longestBackOff{8'000};
};

struct HttpResponse {
    enum class Outcome {
        Answered,    // the server answered with `status` (any status)
        Unreachable, // no answer: no connection, a timeout, a broken reply
        TooLarge,    // the body went past the request's limit
        Cancelled    // the stop token asked to stop
    };

    Outcome outcome = Outcome::Unreachable;
    long status = 0;  // the final answer's HTTP status, after redirects
    std::string body; // the final answer's body
    // The final answer's header fields, in the order received.
    std::vector<std::pair<std::string, std::string>> headers;
    std::string error; // curl's reason when Unreachable
    int attempts = 0;  // requests sent, 503 retries included

    bool answered(long expectedStatus) const {
        return outcome == Outcome::Answered && status == expectedStatus;
    }
    // The value of the first header field of that name (any case).
    std::optional<std::string> header(std::string_view name) const;
    // One line for a message: "the server answered with status 500",
    // "could not reach the server: <curl's reason>", ...
    std::string describe() const;
};

class HttpClient final {
public:
    // `userAgent`: sent with every request; the pacer: the one of the
    // process unless a test brings its own (it outlives the client).
    // Raises std::runtime_error when libcurl cannot start.
    explicit HttpClient(std::string userAgent = defaultUserAgent());
    HttpClient(std::string userAgent, HostPacer& pacer);

    HttpResponse get(const HttpRequest& request, std::stop_token stop = {}) const;

    // "Varrow/<version> ( <contact> )", the form MusicBrainz asks for.
    static std::string defaultUserAgent();

private:
    HttpResponse attempt(const HttpRequest& request, std::stop_token stop) const;

    std::string userAgent_;
    HostPacer& pacer_;
};

} // namespace online
