// SPDX-License-Identifier: GPL-3.0-or-later
// What a command line prints, for tests that check files with other programs.
#pragma once

#include <string>

namespace varrow::testing {

// Runs `command` through the shell and returns its standard output; fails
// the test when it cannot be started.
std::string commandOutput(const std::string& command);

} // namespace varrow::testing
