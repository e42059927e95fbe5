// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop's disk service (udisks2 on the system bus), for what a user
// may do to a drive without being root.
#pragma once

#include <string>

namespace cdlib {

// Unmounts every file system the service mounted from `devicePath` (the
// data session of a mixed-mode or Enhanced CD) and ejects the drive's disc,
// with the rights of the calling user. False when the service is not
// reachable or refuses; every call is bounded by a timeout.
bool ejectWithUdisks(const std::string& devicePath);

} // namespace cdlib
