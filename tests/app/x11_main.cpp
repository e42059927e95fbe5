// SPDX-License-Identifier: GPL-3.0-or-later
// The run of the tests that need a real X server with a window manager: both
// are started here, before the application object connects to them.
#include "Application.h"
#include "X11Session.h"

#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();
    const bool onScreen = varrow::testing::x11::startSession();
    setenv("QT_QPA_PLATFORM", onScreen ? "xcb" : "offscreen", 1);
    int result = 0;
    {
        varrow::Application application(argc, argv);
        varrow::Application::setQuitOnLastWindowClosed(false);
        result = RUN_ALL_TESTS();
    }
    varrow::testing::x11::stopSession();
    return result;
}
