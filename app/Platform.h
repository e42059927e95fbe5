// SPDX-License-Identifier: GPL-3.0-or-later
// The operating system facts the shell chooses its CD interface messages by.
#pragma once

#include <QString>
#include <optional>

namespace varrow {

// Families of the platform record: a 16-bit Windows host, the Windows 95
// family, the Windows NT family; anything else is "not determined".
inline constexpr int PlatformWin16 = 0;
inline constexpr int PlatformWin95 = 1;
inline constexpr int PlatformNT = 2;

struct PlatformInfo {
    int family = -1;
    int major = 0;
    int minor = 0;
    QString name;
};

// On Linux: family 2, because the native CD interface (the kernel's SCSI
// pass-through) is always there; name "Linux " + the kernel release.
PlatformInfo GetPlatformInfo();

// Tests answer the query with a platform of their choice; nothing restores
// the real one.
void overridePlatformInfo(std::optional<PlatformInfo> info);

} // namespace varrow
