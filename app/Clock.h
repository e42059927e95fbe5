// SPDX-License-Identifier: GPL-3.0-or-later
// The program's two clocks, each replaceable by tests: the steady clock that
// the engine and the batch measure speed and elapsed time with (the engine's
// hook, EngineHooks::now), and the time of day that the status bar shows.
#pragma once

#include <QTime>
#include <chrono>
#include <functional>

namespace varrow {

// The engine's clock: its hook when one is installed, else the steady clock.
std::chrono::steady_clock::time_point steadyNow();

// The time of day now: the installed source, else the system's local time.
QTime timeOfDay();
// Installs `source` (empty: the system's clock again) and returns the one
// it replaces.
std::function<QTime()> setTimeOfDaySource(std::function<QTime()> source);

} // namespace varrow
