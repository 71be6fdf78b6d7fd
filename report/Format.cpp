// How a value prints in a report cell. Qt Core only: the monitoring
// centre's status and exports print figures the same way without loading
// the painting libraries.
#include "report/Format.h"

#include <QDate>
#include <QLocale>

#include <cmath>

namespace report {

QString formatValue(const QVariant &value, bool numericColumn)
{
    if (!value.isValid() || value.isNull())
        return numericColumn ? QStringLiteral("0") : QString();
    switch (value.metaType().id()) {
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = value.toDouble();
        if (d == 0.0) // also -0
            return QStringLiteral("0");
        if (!std::isfinite(d))
            return QString();
        return QString::number(d, 'g', 15);
    }
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
        return value.toString();
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("T") : QStringLiteral("F");
    case QMetaType::QDate:
        return QLocale::system().toString(value.toDate(), QLocale::ShortFormat);
    default:
        return value.toString();
    }
}

} // namespace report
