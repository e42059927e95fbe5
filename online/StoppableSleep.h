// SPDX-License-Identifier: GPL-3.0-or-later
// A wait that a stop request cuts short: the pauses between requests to one
// host and before a retry must not hold up a lookup that is being cancelled.
#pragma once

#include <chrono>
#include <stop_token>
#include <utility>

namespace online {

// Waits until `deadline`; false when `stop` asked to stop first (at once,
// not at the deadline).
bool sleepUntilUnlessStopped(std::chrono::steady_clock::time_point deadline, std::stop_token stop);

inline bool sleepUnlessStopped(std::chrono::steady_clock::duration duration, std::stop_token stop) {
    return sleepUntilUnlessStopped(std::chrono::steady_clock::now() + duration, std::move(stop));
}

} // namespace online
