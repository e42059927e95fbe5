// SPDX-License-Identifier: GPL-3.0-or-later
// A private X server (Xvfb) with a window manager (openbox) for the tests
// that need real windows stacked by a real window manager, and what the
// window manager says about them (read with xprop).
#pragma once

#include <QString>
#include <vector>

namespace varrow::testing::x11 {

// Starts the server and the window manager and points DISPLAY at them;
// false (with the reason in sessionProblem) when either cannot start.
bool startSession();
void stopSession();
bool sessionRunning();
QString sessionProblem();

// The managed windows, bottom to top (_NET_CLIENT_LIST_STACKING).
std::vector<unsigned long> stackingOrder();
bool isStacked(unsigned long window);
// The window with the keyboard (_NET_ACTIVE_WINDOW), 0 when none.
unsigned long activeWindow();

// What the window manager lets the user do with `window`
// (_NET_WM_ALLOWED_ACTIONS): "_NET_WM_ACTION_CLOSE", "..._MINIMIZE", ...
std::vector<QString> allowedActions(unsigned long window);

// The window's _MOTIF_WM_HINTS: flags, functions, decorations, input mode,
// status; empty when the window has none.
std::vector<unsigned long> motifHints(unsigned long window);

// Presses and releases `keys` on the real keyboard (xdotool key), as the
// user would: the window with the keyboard gets them. False when xdotool
// cannot be run.
bool pressKeys(const QString& keys);
// Makes `window` the one with the keyboard and waits until it is.
bool activate(unsigned long window);

} // namespace varrow::testing::x11
