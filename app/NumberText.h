// SPDX-License-Identifier: GPL-3.0-or-later
// Numbers as the windows show them.
#pragma once

#include <QLocale>
#include <QString>
#include <cstdint>

namespace varrow {

// `value` with `decimals` decimals in `locale`'s notation, thousands
// separators included also where the locale leaves them out by default (the
// C locale does), so that every window writes "1,234.57" alike.
QString groupedNumberText(double value, int decimals, const QLocale& locale = QLocale());

// `bytes` as decimal megabytes (of 1,000,000 bytes) with two decimals and
// `locale`'s separators, followed by " MB": "1,234.57 MB". Rounded in whole
// hundredths, a half away from zero, so that a figure that ends in exactly
// half a hundredth rounds the same wherever it is shown.
QString megabytesText(int64_t bytes, const QLocale& locale = QLocale());

} // namespace varrow
