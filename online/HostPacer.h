// SPDX-License-Identifier: GPL-3.0-or-later
// Spaces out the requests to each host: the MusicBrainz web service serves
// a client at most one request a second and answers more with 503. One
// pacer serves the whole process, so that two lookups running side by side
// (the window's and a batch's) still keep the rule together.
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <stop_token>
#include <string>

namespace online {

class HostPacer final {
public:
    explicit HostPacer(std::chrono::milliseconds interval);
    HostPacer(const HostPacer&) = delete;
    HostPacer& operator=(const HostPacer&) = delete;

    // Takes the host's next free turn and waits for it: at once when the
    // last request to the host was at least the interval ago. False when
    // `stop` asked to stop while waiting.
    bool waitTurn(const std::string& host, std::stop_token stop);

    // One request a second to each host, for every client of the process.
    static HostPacer& shared();

private:
    const std::chrono::milliseconds interval_;
    std::mutex mutex_;
    // Per host, the earliest time of its next request.
    std::map<std::string, std::chrono::steady_clock::time_point> nextTurn_;
};

} // namespace online
