// SPDX-License-Identifier: GPL-3.0-or-later
#include "StoppableSleep.h"

#include <condition_variable>
#include <mutex>

namespace online {

bool sleepUntilUnlessStopped(std::chrono::steady_clock::time_point deadline, std::stop_token stop) {
    std::mutex mutex;
    std::condition_variable_any wakeUp;
    std::unique_lock lock(mutex);
    // Nothing else notifies: the wait ends at the deadline or on a stop request.
    wakeUp.wait_until(lock, stop, deadline, [] { return false; });
    return !stop.stop_requested();
}

} // namespace online
