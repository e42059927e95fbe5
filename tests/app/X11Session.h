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

} // namespace varrow::testing::x11
