#include "NumberText.h"

namespace varrow {

QString groupedNumberText(double value, int decimals, const QLocale& locale) {
    QLocale grouping = locale;
    grouping.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return grouping.toString(value, 'f', decimals);
}

} // namespace varrow
