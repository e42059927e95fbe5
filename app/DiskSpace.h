// SPDX-License-Identifier: GPL-3.0-or-later
// Free space and the volume of a folder, for the extraction batch's space
// checks: statvfs for the bytes an unprivileged user may still write, and
// the volume's mount point as the name shown in messages.
#pragma once

#include <cstdint>
#include <string>

namespace varrow {

// Bytes available to the user on the volume that holds `folder`; -1 when the
// file system does not report them. Throws std::system_error when the folder
// cannot be reached (an I/O or permission error), which the batch reports as
// a disk access error.
int64_t volumeFreeBytes(const std::string& folder);

// The mount point of the volume that holds `folder` ("/", "/home",
// "/media/usb"): the highest folder above it on the same device. An empty
// text when the folder cannot be examined.
std::string volumeMountPoint(const std::string& folder);

} // namespace varrow
