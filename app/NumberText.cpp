// SPDX-License-Identifier: GPL-3.0-or-later
#include "NumberText.h"

#include <cstdlib>

namespace varrow {

QString groupedNumberText(double value, int decimals, const QLocale& locale) {
    QLocale grouping = locale;
    grouping.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return grouping.toString(value, 'f', decimals);
}

QString megabytesText(int64_t bytes, const QLocale& locale) {
    constexpr int64_t BytesPerHundredth = 10000;
    int64_t hundredths = bytes / BytesPerHundredth;
    const int64_t remainder = bytes % BytesPerHundredth;
    if (remainder >= BytesPerHundredth / 2)
        ++hundredths;
    else if (remainder <= -BytesPerHundredth / 2)
        --hundredths;

    QLocale grouping = locale;
    grouping.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    const int64_t whole = hundredths / 100;
    const int64_t fraction = std::llabs(hundredths % 100);
    // -0.40 MB: the whole part alone would lose the sign.
    const QString sign = (hundredths < 0 && whole == 0) ? grouping.negativeSign() : QString();
    return sign + grouping.toString(static_cast<qlonglong>(whole)) + grouping.decimalPoint() +
           grouping.toString(static_cast<qlonglong>(fraction / 10)) +
           grouping.toString(static_cast<qlonglong>(fraction % 10)) + QStringLiteral(" MB");
}

} // namespace varrow
