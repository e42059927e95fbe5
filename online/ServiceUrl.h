// SPDX-License-Identifier: GPL-3.0-or-later
// Where an online service is reached: the environment may point the program
// at another server (a mirror, or the local server of the tests).
#pragma once

#include <string>

namespace online {

// The value of the environment variable `variable` when set and not empty,
// else `fallback`; without a trailing slash either way.
std::string serviceBaseUrl(const char* variable, const char* fallback);

} // namespace online
