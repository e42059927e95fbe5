// SPDX-License-Identifier: GPL-3.0-or-later
#include "HttpClient.h"

#include "HostPacer.h"
#include "StoppableSleep.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <curl/curl.h>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>

#ifndef VARROW_CONTACT
#error "VARROW_CONTACT names where the services can reach the project"
#endif

namespace online {

namespace {

void startCurlOnce() {
    static std::once_flag started;
    std::call_once(started, [] {
        if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
            throw std::runtime_error("libcurl cannot start");
        }
    });
}

struct EasyHandleDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct MultiHandleDeleter {
    void operator()(CURLM* handle) const { curl_multi_cleanup(handle); }
};
struct HeaderListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct UrlHandleDeleter {
    void operator()(CURLU* handle) const { curl_url_cleanup(handle); }
};
struct CurlStringDeleter {
    void operator()(char* text) const { curl_free(text); }
};

// One easy handle driven by a multi handle of its own, so that the wait for
// the network can be woken by a stop request.
class Transfer final {
public:
    Transfer()
        : easy_(curl_easy_init())
        , multi_(curl_multi_init()) {
        if (!easy_ || !multi_) {
            throw std::bad_alloc();
        }
    }
    ~Transfer() {
        if (added_) {
            curl_multi_remove_handle(multi_.get(), easy_.get());
        }
    }
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    CURL* easy() const { return easy_.get(); }
    CURLM* multi() const { return multi_.get(); }
    bool start() {
        added_ = curl_multi_add_handle(multi_.get(), easy_.get()) == CURLM_OK;
        return added_;
    }

private:
    std::unique_ptr<CURL, EasyHandleDeleter> easy_;
    std::unique_ptr<CURLM, MultiHandleDeleter> multi_;
    bool added_ = false;
};

// What the callbacks collect of the answer.
struct Received {
    std::size_t bodyLimit = 0;
    bool tooLarge = false;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
};

std::size_t receiveBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto& received = *static_cast<Received*>(user);
    const std::size_t bytes = size * count;
    if (bytes > received.bodyLimit - received.body.size()) {
        received.tooLarge = true;
        return 0; // anything but `bytes` ends the transfer
    }
    received.body.append(data, bytes);
    return bytes;
}

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n';
    };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Header lines of every answer pass here, redirects included: a status line
// starts the fields afresh, so that the last answer's remain.
std::size_t receiveHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto& received = *static_cast<Received*>(user);
    const std::size_t bytes = size * count;
    const std::string_view line(data, bytes);
    if (line.starts_with("HTTP/")) {
        received.headers.clear();
    } else if (const std::size_t colon = line.find(':'); colon != std::string_view::npos) {
        received.headers.emplace_back(std::string(trimmed(line.substr(0, colon))),
                                      std::string(trimmed(line.substr(colon + 1))));
    }
    return bytes;
}

bool sameNameIgnoringCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(
        a, b, [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

std::string hostOf(const std::string& url) {
    const std::unique_ptr<CURLU, UrlHandleDeleter> parsed(curl_url());
    char* host = nullptr;
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK ||
        curl_url_get(parsed.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK) {
        return url;
    }
    const std::unique_ptr<char, CurlStringDeleter> owned(host);
    return owned.get();
}

// The server's Retry-After in seconds; its date form is not used.
std::optional<std::chrono::milliseconds> retryAfter(const HttpResponse& response) {
    const std::optional<std::string> value = response.header("Retry-After");
    if (!value) {
        return std::nullopt;
    }
    long seconds = 0;
    const auto [end, error] =
        std::from_chars(value->data(), value->data() + value->size(), seconds);
    if (error != std::errc() || end != value->data() + value->size() || seconds < 0) {
        return std::nullopt;
    }
    return std::chrono::seconds(std::min(seconds, 3600L));
}

HttpResponse cancelled(int attempts) {
    HttpResponse response;
    response.outcome = HttpResponse::Outcome::Cancelled;
    response.attempts = attempts;
    return response;
}

} // namespace

std::optional<std::string> HttpResponse::header(std::string_view name) const {
    for (const auto& [field, value] : headers) {
        if (sameNameIgnoringCase(field, name)) {
            return value;
        }
    }
    return std::nullopt;
}

std::string HttpResponse::describe() const {
    switch (outcome) {
    case Outcome::Answered:
        return "the server answered with status " + std::to_string(status);
    case Outcome::Unreachable:
        return "could not reach the server: " + error;
    case Outcome::TooLarge:
        return "the server's answer is larger than expected";
    case Outcome::Cancelled:
        break;
    }
    return "the request was cancelled";
}

HttpClient::HttpClient(std::string userAgent)
    : HttpClient(std::move(userAgent), HostPacer::shared()) {}

HttpClient::HttpClient(std::string userAgent, HostPacer& pacer)
    : userAgent_(std::move(userAgent))
    , pacer_(pacer) {
    startCurlOnce();
}

std::string HttpClient::defaultUserAgent() {
    return std::string("Varrow/") + VARROW_VERSION + " ( " + VARROW_CONTACT + " )";
}

HttpResponse HttpClient::get(const HttpRequest& request, std::stop_token stop) const {
    const std::string host = request.paceHost ? hostOf(request.url) : std::string();
    std::chrono::milliseconds backOff = request.firstBackOff;
    for (int attempts = 1;; ++attempts) {
        if (request.paceHost && !pacer_.waitTurn(host, stop)) {
            return cancelled(attempts - 1);
        }
        HttpResponse response = attempt(request, stop);
        response.attempts = attempts;
        if (!response.answered(503) || attempts > request.retriesOn503) {
            return response;
        }
        const auto wait = std::min(retryAfter(response).value_or(backOff), request.longestBackOff);
        if (!sleepUnlessStopped(wait, stop)) {
            return cancelled(attempts);
        }
        backOff = std::min(backOff * 2, request.longestBackOff);
    }
}

HttpResponse HttpClient::attempt(const HttpRequest& request, std::stop_token stop) const {
    HttpResponse response;
    if (stop.stop_requested()) {
        response.outcome = HttpResponse::Outcome::Cancelled;
        return response;
    }
    Transfer transfer;
    CURL* easy = transfer.easy();
    Received received;
    received.bodyLimit = request.bodyLimit;
    char reason[CURL_ERROR_SIZE] = {};
    std::unique_ptr<curl_slist, HeaderListDeleter> headerLines;
    for (const std::string& line : request.headers) {
        curl_slist* longer = curl_slist_append(headerLines.get(), line.c_str());
        if (!longer) {
            throw std::bad_alloc();
        }
        if (!headerLines) {
            headerLines.reset(longer);
        }
    }

    curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(easy, CURLOPT_USERAGENT, userAgent_.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headerLines.get());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(request.connectTimeout.count()));
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(request.totalTimeout.count()));
    // A body announced as larger is refused before it is received.
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(std::min<std::size_t>(
                         request.bodyLimit, std::numeric_limits<curl_off_t>::max())));
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, reason);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, receiveBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &received);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, receiveHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &received);

    if (!transfer.start()) {
        response.error = "libcurl refused the transfer";
        return response;
    }
    // Declared after the transfer, so it is gone before the transfer ends.
    const std::stop_callback wakeOnStop(stop,
                                        [multi = transfer.multi()] { curl_multi_wakeup(multi); });
    for (int running = 1; running > 0;) {
        if (stop.stop_requested()) {
            response.outcome = HttpResponse::Outcome::Cancelled;
            return response;
        }
        CURLMcode status = curl_multi_perform(transfer.multi(), &running);
        if (status == CURLM_OK && running > 0) {
            status = curl_multi_poll(transfer.multi(), nullptr, 0, 1000, nullptr);
        }
        if (status != CURLM_OK) {
            response.error = curl_multi_strerror(status);
            return response;
        }
    }

    CURLcode result = CURLE_OK;
    int left = 0;
    while (const CURLMsg* message = curl_multi_info_read(transfer.multi(), &left)) {
        if (message->msg == CURLMSG_DONE) {
            result = message->data.result;
        }
    }
    if (received.tooLarge || result == CURLE_FILESIZE_EXCEEDED) {
        response.outcome = HttpResponse::Outcome::TooLarge;
        return response;
    }
    if (result != CURLE_OK) {
        response.error = reason[0] != '\0' ? reason : curl_easy_strerror(result);
        return response;
    }
    response.outcome = HttpResponse::Outcome::Answered;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &response.status);
    response.body = std::move(received.body);
    response.headers = std::move(received.headers);
    return response;
}

} // namespace online
