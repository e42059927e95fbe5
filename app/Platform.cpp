// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform.h"

#include <QStringList>
#include <sys/utsname.h>

namespace varrow {

namespace {

std::optional<PlatformInfo>& overridden() {
    static std::optional<PlatformInfo> info;
    return info;
}

} // namespace

PlatformInfo GetPlatformInfo() {
    if (overridden())
        return *overridden();
    // Linux gives the NT answer: the native interface is always available,
    // so the messages that advise installing ASPI drivers never apply.
    PlatformInfo info;
    info.family = PlatformNT;
    utsname system{};
    if (uname(&system) != 0)
        return info;
    const QString release = QString::fromLocal8Bit(system.release);
    const QStringList numbers = release.section(QLatin1Char('-'), 0, 0).split(QLatin1Char('.'));
    info.major = numbers.value(0).toInt();
    info.minor = numbers.value(1).toInt();
    info.name = QStringLiteral("Linux ") + release;
    return info;
}

void overridePlatformInfo(std::optional<PlatformInfo> info) {
    overridden() = std::move(info);
}

} // namespace varrow
