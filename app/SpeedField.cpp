#include "SpeedField.h"

namespace varrow {

bool speedKeyAccepted(const QString& typed) {
    if (typed.isEmpty())
        return true;
    if (typed.size() != 1)
        return false;
    const QChar c = typed.front();
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('\b');
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
