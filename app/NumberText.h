// Numbers as the windows show them.
#pragma once

#include <QLocale>
#include <QString>

namespace varrow {

// `value` with `decimals` decimals in `locale`'s notation, thousands
// separators included also where the locale leaves them out by default (the
// C locale does), so that every window writes "1,234.57" alike.
QString groupedNumberText(double value, int decimals, const QLocale& locale = QLocale());

} // namespace varrow
