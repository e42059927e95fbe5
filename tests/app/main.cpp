// SPDX-License-Identifier: GPL-3.0-or-later
// The window tests need one application object for the whole run; it is the
// program's own, so that an exception reaching the event loop is reported
// the way users see it.
#include "Application.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();
    varrow::Application application(argc, argv);
    // Tests close main windows; that must not end the run's application.
    varrow::Application::setQuitOnLastWindowClosed(false);
    return RUN_ALL_TESTS();
}
