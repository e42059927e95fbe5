// SPDX-License-Identifier: GPL-3.0-or-later
#include "TimeText.h"

#include <QTime>

namespace varrow {

QString longTimeText(std::chrono::milliseconds duration) {
    constexpr long long msPerDay = 24LL * 60 * 60 * 1000;
    long long ms = duration.count() % msPerDay;
    if (ms < 0)
        ms += msPerDay;
    return QTime(0, 0).addMSecs(static_cast<int>(ms)).toString(LongTimeFormat);
}

} // namespace varrow
