#include "store/Format.h"

#include <cmath>

namespace store {

QString formatNumber(double value, QChar decimalSeparator)
{
    if (value == 0.0 || !std::isfinite(value))
        value = std::isfinite(value) ? 0.0 : value; // keeps "-0" out of the output
    QString text = QString::number(value, 'g', 15);
    if (decimalSeparator != QLatin1Char('.'))
        text.replace(QLatin1Char('.'), decimalSeparator);
    return text;
}

} // namespace store
