// SPDX-License-Identifier: GPL-3.0-or-later
#include "LocalHttpServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace varrow::testing {

namespace {

// A client that sends no whole request in this time is dropped.
constexpr int kRequestTimeoutMs = 5000;
constexpr std::size_t kLargestRequestHead = 64 * 1024;

bool sameNameIgnoringCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(
        a, b, [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

std::string responseBytes(const HttpAnswer& answer) {
    // Clients go by the status code; the reason phrase may be empty.
    std::string bytes = "HTTP/1.1 " + std::to_string(answer.status) + " \r\n";
    bytes += "Content-Length: " + std::to_string(answer.body.size()) + "\r\n";
    bytes += "Connection: close\r\n";
    for (const auto& [name, value] : answer.headers) {
        bytes += name + ": " + value + "\r\n";
    }
    bytes += "\r\n";
    bytes += answer.body;
    return bytes;
}

void sendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent <= 0) {
            return; // the client went away
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
}

std::string pathOf(const std::string& target) {
    return target.substr(0, target.find('?'));
}

} // namespace

HttpAnswer httpAnswer(int status, std::string body,
                      std::vector<std::pair<std::string, std::string>> headers) {
    HttpAnswer answer;
    answer.status = status;
    answer.body = std::move(body);
    answer.headers = std::move(headers);
    return answer;
}

HttpAnswer httpAnswerNever(HttpAnswer::Ending ending) {
    HttpAnswer answer;
    answer.ending = ending;
    return answer;
}

std::optional<std::string> ReceivedRequest::header(std::string_view name) const {
    for (const auto& [field, value] : headers) {
        if (sameNameIgnoringCase(field, name)) {
            return value;
        }
    }
    return std::nullopt;
}

LocalHttpServer::LocalHttpServer() {
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "local server: no pipe";
        return;
    }
    wakeRead_ = wake[0];
    wakeWrite_ = wake[1];
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (listener_ < 0 ||
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 64) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ADD_FAILURE() << "local server: cannot listen on 127.0.0.1";
        return;
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { acceptConnections(); });
}

LocalHttpServer::~LocalHttpServer() {
    stop();
    for (const int fd : {wakeRead_, wakeWrite_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

std::string LocalHttpServer::url() const {
    return "http://127.0.0.1:" + std::to_string(port_);
}

void LocalHttpServer::serve(const std::string& path, std::vector<HttpAnswer> answers) {
    const std::lock_guard lock(mutex_);
    routes_[path] = std::move(answers);
    answered_[path] = 0;
}

void LocalHttpServer::serve(const std::string& path, HttpAnswer answer) {
    serve(path, std::vector<HttpAnswer>{std::move(answer)});
}

int LocalHttpServer::requestCount(const std::string& path) const {
    const std::lock_guard lock(mutex_);
    return static_cast<int>(std::ranges::count_if(received_, [&path](const ReceivedRequest& r) {
        return r.target == path || pathOf(r.target) == path;
    }));
}

std::vector<ReceivedRequest> LocalHttpServer::requests() const {
    const std::lock_guard lock(mutex_);
    return received_;
}

void LocalHttpServer::stop() {
    {
        const std::lock_guard lock(mutex_);
        if (stopped_) {
            return;
        }
        stopped_ = true;
    }
    if (wakeWrite_ >= 0) {
        const char byte = 0;
        [[maybe_unused]] const ssize_t written = ::write(wakeWrite_, &byte, 1);
    }
    if (acceptor_.joinable()) {
        acceptor_.join();
    }
    // No connection starts now; the list is only read.
    for (std::thread& connection : connections_) {
        connection.join();
    }
    if (listener_ >= 0) {
        ::close(listener_);
        listener_ = -1;
    }
}

bool LocalHttpServer::stopping() const {
    pollfd wake{wakeRead_, POLLIN, 0};
    return ::poll(&wake, 1, 0) > 0;
}

bool LocalHttpServer::waitForReadable(int fd, int timeoutMs) const {
    pollfd watched[2] = {{wakeRead_, POLLIN, 0}, {fd, POLLIN, 0}};
    const int count = fd >= 0 ? 2 : 1;
    while (true) {
        const int ready = ::poll(watched, static_cast<nfds_t>(count), timeoutMs);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        return ready > 0 && watched[0].revents == 0 && count == 2 && watched[1].revents != 0;
    }
}

void LocalHttpServer::acceptConnections() {
    while (waitForReadable(listener_, -1)) {
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) {
            continue;
        }
        const std::lock_guard lock(mutex_);
        connections_.emplace_back([this, connection] {
            // A client that stops reading cannot hold the server past stop().
            const timeval sendTimeout{5, 0};
            ::setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
            answerConnection(connection);
            ::close(connection);
        });
    }
}

void LocalHttpServer::answerConnection(int connection) {
    std::string head;
    std::size_t end = std::string::npos;
    while ((end = head.find("\r\n\r\n")) == std::string::npos) {
        char buffer[4096];
        if (head.size() > kLargestRequestHead || !waitForReadable(connection, kRequestTimeoutMs)) {
            return;
        }
        const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
        if (got <= 0) {
            return;
        }
        head.append(buffer, static_cast<std::size_t>(got));
    }
    ReceivedRequest request;
    request.at = std::chrono::steady_clock::now();
    std::string_view lines(head.data(), end);
    const std::size_t firstEnd = lines.find("\r\n");
    const std::string_view requestLine = lines.substr(0, firstEnd);
    const std::size_t space = requestLine.find(' ');
    const std::size_t secondSpace = requestLine.find(' ', space + 1);
    if (space == std::string_view::npos || secondSpace == std::string_view::npos) {
        return;
    }
    request.method = requestLine.substr(0, space);
    request.target = requestLine.substr(space + 1, secondSpace - space - 1);
    lines.remove_prefix(firstEnd == std::string_view::npos ? lines.size() : firstEnd + 2);
    while (!lines.empty()) {
        const std::size_t lineEnd = lines.find("\r\n");
        const std::string_view line = lines.substr(0, lineEnd);
        if (const std::size_t colon = line.find(':'); colon != std::string_view::npos) {
            request.headers.emplace_back(std::string(trimmed(line.substr(0, colon))),
                                         std::string(trimmed(line.substr(colon + 1))));
        }
        lines.remove_prefix(lineEnd == std::string_view::npos ? lines.size() : lineEnd + 2);
    }

    const HttpAnswer answer = answerFor(request);
    if (answer.delay.count() > 0) {
        // Cut short only by stop().
        waitForReadable(-1, static_cast<int>(answer.delay.count()));
        if (stopping()) {
            return;
        }
    }
    switch (answer.ending) {
    case HttpAnswer::Ending::Answer:
        sendAll(connection, responseBytes(answer));
        ::shutdown(connection, SHUT_WR);
        break;
    case HttpAnswer::Ending::NeverAnswer:
        // Until the client gives up (its close reads as the end) or the
        // server stops.
        while (waitForReadable(connection, -1)) {
            char buffer[256];
            if (::recv(connection, buffer, sizeof buffer, 0) <= 0) {
                break;
            }
        }
        break;
    case HttpAnswer::Ending::CloseConnection:
        break;
    }
}

HttpAnswer LocalHttpServer::answerFor(const ReceivedRequest& request) {
    const std::lock_guard lock(mutex_);
    received_.push_back(request);
    auto route = routes_.find(request.target);
    if (route == routes_.end()) {
        route = routes_.find(pathOf(request.target));
    }
    if (route == routes_.end() || route->second.empty()) {
        HttpAnswer notFound;
        notFound.status = 404;
        return notFound;
    }
    std::size_t& given = answered_[route->first];
    const std::size_t index = std::min(given, route->second.size() - 1);
    ++given;
    return route->second[index];
}

} // namespace varrow::testing
