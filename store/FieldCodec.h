#pragma once
// How a value of each field type is turned into the bytes of a table and
// back, in one place: the table reader and writer, the statement executor,
// query objects and the expression evaluator all use these, so that a value
// typed by a user, given by a statement or read from a file means the same
// everywhere.
//
//   text     bytes in the table's code page (byte 29 of its header)
//   N, F     right-aligned decimal text, rounded half away from zero on the
//            number's shortest decimal form (1.005 -> 1.01, 2.675 -> 2.68)
//   L        T/.T./Y/TRUE and F/.F./N/FALSE, any case; nothing else
//   D        yyyyMMdd or yyyy-MM-dd
#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QString>

#include <optional>

namespace store::codec {

// ---------------------------------------------------------------- texts

constexpr quint8 kGbkMark = 0x7A; // the mark new tables get
// Whether a code page mark stands for GBK (0x7A, 0x4D, and 0 or an unknown
// mark, taken as GBK: the tables this program meets are Chinese).
bool isGbk(quint8 mark);
QString decode(quint8 mark, QByteArrayView bytes);
// ok (when given) tells whether every character has its bytes in that
// code page; one that has none comes out as '?'.
QByteArray encode(quint8 mark, const QString &text, bool *ok = nullptr);
// At most maxBytes, cut after a whole character.
QByteArray encodeWithin(quint8 mark, const QString &text, int maxBytes, bool *ok = nullptr);
// Whether the bytes are characters of the code page throughout (no byte
// that the page has no character for).
bool decodesWhole(quint8 mark, QByteArrayView bytes);
// The name of the code page behind a mark, for messages.
QString codePageName(quint8 mark);

// ---------------------------------------------------------------- numbers

// The widest N/F field read and written (GDAL writes N(24,15)), and the
// most decimals one may have.
constexpr int kMaxNumberWidth = 32;
constexpr int kMaxDecimals = 30;

enum class Parsed { Number, Blank, Other };
// An N/F field's bytes: a number; Blank when empty, or filled with '*' as
// other writers do on overflow (no value); Other when garbled.
Parsed parseNumber(QByteArrayView raw, double &out);
// A number typed as text ("12.5", " -3 "); nullopt when it is none.
std::optional<double> parseNumberText(const QString &text);

// x rounded half away from zero to `decimals` places (negative: tens,
// hundreds ...), decided on x's shortest decimal form, so that a figure
// rounds as it was typed.
double roundHalfAway(double x, int decimals);
// x as fixed-point text with `decimals` places (0 to kMaxDecimals), rounded
// as roundHalfAway does; never "-0.00". Empty when x is not finite.
QByteArray fixed(double x, int decimals);
// The text of x in an N/F field of that width: false when it does not fit.
bool numberText(double x, int length, int decimals, QByteArray &out);

// ---------------------------------------------------------------- logicals, dates

std::optional<bool> parseLogical(const QString &text);
QDate parseDate(const QString &text); // invalid when it is none

} // namespace store::codec
