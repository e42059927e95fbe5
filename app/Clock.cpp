// SPDX-License-Identifier: GPL-3.0-or-later
#include "Clock.h"

#include "CDRIP.h"

#include <utility>

namespace varrow {

namespace {

std::function<QTime()>& timeOfDaySource() {
    static std::function<QTime()> source;
    return source;
}

} // namespace

std::chrono::steady_clock::time_point steadyNow() {
    const EngineHooks& hooks = engineHooks();
    return hooks.now ? hooks.now() : std::chrono::steady_clock::now();
}

QTime timeOfDay() {
    const std::function<QTime()>& source = timeOfDaySource();
    return source ? source() : QTime::currentTime();
}

std::function<QTime()> setTimeOfDaySource(std::function<QTime()> source) {
    return std::exchange(timeOfDaySource(), std::move(source));
}

} // namespace varrow
