#include "store/UDeclareFunction.h"

namespace UDeclareFunction {

namespace {
bool isDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }
} // namespace

bool IsNumber(const QString &text, double *value)
{
    // Only the ASCII form is accepted: leading blanks, sign, digits with an
    // optional point (digits on at least one side of it), optional exponent,
    // and nothing after. "1." and ".5" are numbers; "1 " and "." are not.
    const int n = text.size();
    int i = 0;
    while (i < n && text[i] == QLatin1Char(' '))
        ++i;
    const int start = i;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        ++i;
    int digits = 0;
    while (i < n && isDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < n && text[i] == QLatin1Char('.')) {
        ++i;
        while (i < n && isDigit(text[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return false;
    if (i < n && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        ++i;
        if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
            ++i;
        int expDigits = 0;
        while (i < n && isDigit(text[i])) {
            ++i;
            ++expDigits;
        }
        if (expDigits == 0)
            return false;
    }
    if (i != n)
        return false;
    bool ok = false;
    const double v = text.mid(start).toDouble(&ok);
    // A value out of range ("1e999") is not a number either: it would read
    // as infinite.
    if (!ok)
        return false;
    if (value)
        *value = v;
    return true;
}

} // namespace UDeclareFunction
