// SPDX-License-Identifier: GPL-3.0-or-later
#include "SpeedField.h"

namespace varrow {

bool speedKeyAccepted(const QString& typed) {
    for (const QChar c : typed) {
        if (c.isPrint() && !(c >= QLatin1Char('0') && c <= QLatin1Char('9')))
            return false;
    }
    return true;
}

int32_t speedFromText(const QString& text) {
    bool isNumber = false;
    const int32_t value = text.toInt(&isNumber, 10);
    return isNumber ? value : 0;
}

TSetSpeed speedCommandFor(int32_t speed) {
    return speed <= 0 ? SPEEDNONE : SPEEDMMC;
}

} // namespace varrow
