// SPDX-License-Identifier: GPL-3.0-or-later
// Every time of day and duration the program shows is written in one long
// time format, hours without a leading zero: "0:03:25".
#pragma once

#include <QString>
#include <chrono>

namespace varrow {

inline const QString LongTimeFormat = QStringLiteral("h:mm:ss");

// A duration as a time of day in the long time format (whole days wrap).
QString longTimeText(std::chrono::milliseconds duration);

} // namespace varrow
