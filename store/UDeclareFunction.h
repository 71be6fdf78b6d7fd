#pragma once
// Routines shared between the windows.
#include <QString>

namespace UDeclareFunction {

// True when all of text reads as a decimal number: leading blanks, optional
// sign, digits with an optional point and fraction, an optional exponent and
// nothing after. The empty text is not a number.
bool IsNumber(const QString &text, double *value = nullptr);

} // namespace UDeclareFunction
