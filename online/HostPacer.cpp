// SPDX-License-Identifier: GPL-3.0-or-later
#include "HostPacer.h"

#include "StoppableSleep.h"

#include <algorithm>

namespace online {

HostPacer::HostPacer(std::chrono::milliseconds interval)
    : interval_(interval) {}

bool HostPacer::waitTurn(const std::string& host, std::stop_token stop) {
    std::chrono::steady_clock::time_point turn;
    {
        const std::lock_guard lock(mutex_);
        const auto now = std::chrono::steady_clock::now();
        auto& next = nextTurn_[host];
        turn = std::max(now, next);
        next = turn + interval_;
    }
    return sleepUntilUnlessStopped(turn, std::move(stop));
}

HostPacer& HostPacer::shared() {
    static HostPacer pacer(std::chrono::seconds(1));
    return pacer;
}

} // namespace online
