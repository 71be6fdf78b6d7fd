#pragma once
// How a value prints in a report cell (Qt Core only).
#include <QString>
#include <QVariant>

namespace report {

// A value as a cell prints it: a number in its shortest form (at most 15
// significant digits, "." as the decimal point, no grouping: "35.5", "120",
// "0"), a text unchanged, a null as "0" in a numeric column and as nothing in
// a text column.
QString formatValue(const QVariant &value, bool numericColumn);

} // namespace report
