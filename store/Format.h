#pragma once
// Number to text in the shortest general decimal form the program uses
// everywhere a figure is shown or printed: no grouping, no trailing zeros,
// at most 15 significant digits (35.5, 120, 0, 100.3 for 59 * 1.7).
#include <QChar>
#include <QString>

namespace store {

QString formatNumber(double value, QChar decimalSeparator = QLatin1Char('.'));

} // namespace store
