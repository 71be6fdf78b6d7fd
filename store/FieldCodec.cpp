#include "store/FieldCodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace store::codec {

// ---------------------------------------------------------------- texts

namespace {

// The code page behind a mark; GBK for 0x7A, 0x4D, 0 and unknown marks.
const char *codecName(quint8 mark)
{
    switch (mark) {
    case 0x01: return "IBM437";
    case 0x02: return "IBM850";
    case 0x03: return "windows-1252";
    case 0x64: return "IBM852";
    case 0x65: return "IBM866";
    case 0x4E: return "windows-949";
    case 0x4F: return "Big5";
    case 0x50: return "windows-874";
    case 0x78: return "Big5";
    case 0x79: return "windows-949";
    case 0x7B: return "Shift_JIS";
    case 0x7C: return "windows-874";
    case 0x7D: return "windows-1255";
    case 0x7E: return "windows-1256";
    case 0xC8: return "windows-1250";
    case 0xC9: return "windows-1251";
    case 0xCA: return "windows-1254";
    case 0xCB: return "windows-1253";
    default: return nullptr;
    }
}

#ifdef Q_OS_WIN
// Windows: Qt's converter knows only UTF-8 and Latin-1 there (GBK and Big5
// need ICU), so the texts go through the system's code-page tables, which
// hold every one of these code pages whatever the system's own code page is.
unsigned windowsCodePage(quint8 mark)
{
    static const struct { const char *name; unsigned cp; } pages[] = {
        {"IBM437", 437},        {"IBM850", 850},        {"windows-1252", 1252}, {"IBM852", 852},
        {"IBM866", 866},        {"windows-949", 949},   {"Big5", 950},          {"windows-874", 874},
        {"Shift_JIS", 932},     {"windows-1255", 1255}, {"windows-1256", 1256}, {"windows-1250", 1250},
        {"windows-1251", 1251}, {"windows-1254", 1254}, {"windows-1253", 1253}};
    if (const char *name = codecName(mark))
        for (const auto &p : pages)
            if (std::strcmp(p.name, name) == 0)
                return p.cp;
    return 936; // GBK
}

// One character's bytes at the start of b (a lead byte and its trail byte in
// the double-byte code pages).
qsizetype charBytes(unsigned cp, QByteArrayView b)
{
    return b.size() >= 2 && IsDBCSLeadByteEx(cp, BYTE(b[0])) ? 2 : 1;
}

// Strict conversion: false when some bytes are no character of the page.
bool decodeStrict(unsigned cp, QByteArrayView bytes, QString &out)
{
    if (bytes.isEmpty()) {
        out.clear();
        return true;
    }
    const int n = MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, bytes.data(), int(bytes.size()), nullptr, 0);
    if (n <= 0)
        return false;
    out.resize(n);
    MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, bytes.data(), int(bytes.size()),
                        reinterpret_cast<wchar_t *>(out.data()), n);
    return true;
}

QString decodeWith(quint8 mark, QByteArrayView bytes)
{
    const unsigned cp = windowsCodePage(mark);
    QString whole;
    if (decodeStrict(cp, bytes, whole))
        return whole;
    // Some bytes are no character: each such one reads as U+FFFD, as Qt's
    // converters give it, and the rest as it is.
    QString out;
    QString one;
    while (!bytes.isEmpty()) {
        const qsizetype n = charBytes(cp, bytes);
        out += decodeStrict(cp, bytes.first(n), one) ? one : QString(QChar::ReplacementCharacter);
        bytes = bytes.sliced(n);
    }
    return out;
}

QByteArray encodeWith(quint8 mark, QStringView text, bool *ok)
{
    const unsigned cp = windowsCodePage(mark);
    if (ok)
        *ok = true;
    if (text.isEmpty())
        return QByteArray();
    const auto *wide = reinterpret_cast<const wchar_t *>(text.utf16());
    // No "best fit": a character the page lacks is '?' and is told, never
    // quietly turned into a look-alike.
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(cp, WC_NO_BEST_FIT_CHARS, wide, int(text.size()), nullptr, 0, nullptr, &usedDefault);
    QByteArray bytes(n, Qt::Uninitialized);
    usedDefault = FALSE;
    WideCharToMultiByte(cp, WC_NO_BEST_FIT_CHARS, wide, int(text.size()), bytes.data(), n, nullptr, &usedDefault);
    // A lone surrogate or a character mapped one way only also fails to read back.
    if (ok)
        *ok = !usedDefault && decodeWith(mark, bytes) == text;
    return bytes;
}
#else
// Converters of one code page. Making one (an ICU converter behind Qt) costs
// far more than reading a small table, so each thread keeps one pair per code
// page mark. They are stateless: every call converts a whole text.
struct Converters {
    QStringDecoder decoder;
    QStringEncoder encoder;
};

Converters &convertersFor(quint8 mark)
{
    thread_local std::unique_ptr<Converters> cache[256];
    std::unique_ptr<Converters> &slot = cache[isGbk(mark) ? kGbkMark : mark];
    if (!slot) {
        slot = std::make_unique<Converters>();
        const char *name = codecName(mark);
        if (name) {
            slot->decoder = QStringDecoder(name, QStringConverter::Flag::Stateless);
            slot->encoder = QStringEncoder(name, QStringConverter::Flag::Stateless);
        }
        if (!name || !slot->decoder.isValid() || !slot->encoder.isValid()) {
            slot->decoder = QStringDecoder("GBK", QStringConverter::Flag::Stateless);
            slot->encoder = QStringEncoder("GBK", QStringConverter::Flag::Stateless);
        }
    }
    return *slot;
}

QString decodeWith(quint8 mark, QByteArrayView bytes) { return convertersFor(mark).decoder.decode(bytes); }

QByteArray encodeWith(quint8 mark, QStringView text, bool *ok)
{
    Converters &c = convertersFor(mark);
    QByteArray bytes = c.encoder.encode(text);
    // The converter puts a substitute for a character it has no bytes for
    // without telling: a text that does not read back was not kept whole.
    if (ok)
        *ok = QString(c.decoder.decode(bytes)) == text;
    return bytes;
}
#endif

// Whether bytes are GBK as every reader takes it: single bytes below 0x80
// and pairs of a lead byte 0x81-0xFE with a trail byte 0x40-0xFE (not 0x7F).
// Windows' code page 936 also maps the euro sign to the lone byte 0x80,
// which other DBF readers reject; it counts as a character GBK cannot hold.
bool isPlainGbk(QByteArrayView b)
{
    for (qsizetype i = 0; i < b.size(); ++i) {
        const uchar c = uchar(b[i]);
        if (c < 0x80)
            continue;
        if (c == 0x80 || c == 0xFF || i + 1 >= b.size())
            return false;
        const uchar t = uchar(b[++i]);
        if (t < 0x40 || t == 0x7F || t == 0xFF)
            return false;
    }
    return true;
}

bool isAscii(QByteArrayView b)
{
    for (char c : b)
        if (uchar(c) >= 0x80 || c == '\0')
            return false;
    return true;
}

} // namespace

bool isGbk(quint8 mark) { return codecName(mark) == nullptr; }

QString decode(quint8 mark, QByteArrayView bytes)
{
    if (isAscii(bytes))
        return QString::fromLatin1(bytes.data(), bytes.size());
    // Bytes below 0x80 with NUL padding (every field name in a header) are
    // the same characters in every code page: no converter, NUL a blank as
    // below.
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x80; })) {
        QString s = QString::fromLatin1(bytes.data(), bytes.size());
        s.replace(QChar(0), QLatin1Char(' '));
        return s;
    }
    QString s = decodeWith(mark, bytes);
    // Some writers pad texts with NUL instead of blanks.
    for (QChar &c : s)
        if (c.unicode() == 0)
            c = QLatin1Char(' ');
    return s;
}

QByteArray encode(quint8 mark, const QString &text, bool *ok)
{
    if (ok)
        *ok = true;
    bool ascii = true;
    for (QChar c : text)
        if (c.unicode() >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii)
        return text.toLatin1();
    QByteArray bytes = encodeWith(mark, text, ok);
    // Windows' code page 936 gives the euro sign the lone byte 0x80, which
    // other DBF readers reject: such a text was not kept whole either.
    if (ok && *ok && isGbk(mark) && !isPlainGbk(bytes))
        *ok = false;
    return bytes;
}

bool decodesWhole(quint8 mark, QByteArrayView bytes)
{
#ifdef Q_OS_WIN
    QString text;
    return decodeStrict(windowsCodePage(mark), bytes, text);
#else
    if (isAscii(bytes))
        return true;
    QStringDecoder decoder(codePageName(mark).toLatin1().constData(), QStringConverter::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    return !decoder.hasError() && !text.contains(QChar::ReplacementCharacter);
#endif
}

QString codePageName(quint8 mark)
{
    const char *name = codecName(mark);
    return QString::fromLatin1(name ? name : "GBK");
}

QByteArray encodeWithin(quint8 mark, const QString &text, int maxBytes, bool *ok)
{
    QByteArray enc = encode(mark, text, ok);
    if (enc.size() <= maxBytes)
        return enc;
    // Cut at a whole character: encode one code point at a time.
    enc.clear();
    const char16_t *u = reinterpret_cast<const char16_t *>(text.utf16());
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype n = (QChar::isHighSurrogate(u[i]) && i + 1 < text.size()) ? 2 : 1;
        const QByteArray piece = encodeWith(mark, QStringView(text).mid(i, n), nullptr);
        if (enc.size() + piece.size() > maxBytes)
            break;
        enc += piece;
        i += n;
    }
    return enc;
}

// ---------------------------------------------------------------- numbers

Parsed parseNumber(QByteArrayView raw, double &out)
{
    const char *b = raw.data();
    const char *e = b + raw.size();
    while (b < e && (*b == ' ' || *b == '\0'))
        ++b;
    while (e > b && (e[-1] == ' ' || e[-1] == '\0'))
        --e;
    if (b == e)
        return Parsed::Blank;
    // The usual shape, [-]digits[.digits] with at most 15 digits, is exact as
    // an integer over a power of ten, so one division rounds it correctly.
    static const double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8,
                                    1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const char *q = b;
    const bool negative = *q == '-';
    if (negative || *q == '+')
        ++q;
    quint64 mantissa = 0;
    int digits = 0;
    int fraction = -1;
    for (; q < e && digits <= 15; ++q) {
        const char c = *q;
        if (c >= '0' && c <= '9') {
            mantissa = mantissa * 10 + quint64(c - '0');
            ++digits;
            if (fraction >= 0)
                ++fraction;
        } else if (c == '.' && fraction < 0) {
            fraction = 0;
        } else {
            break;
        }
    }
    if (q == e && digits > 0 && digits <= 15) {
        const double v = double(mantissa) / kPow10[fraction > 0 ? fraction : 0];
        out = negative && mantissa != 0 ? -v : v; // "-0.00" reads as 0
        return Parsed::Number;
    }
    bool stars = true;
    for (const char *p = b; p < e; ++p)
        stars = stars && (*p == '*' || *p == ' ' || *p == '\0');
    if (stars)
        return Parsed::Blank;
    if (*b == '+')
        ++b;
    const auto r = std::from_chars(b, e, out);
    if (r.ec == std::errc() && r.ptr == e && std::isfinite(out)) {
        if (out == 0.0)
            out = 0.0;
        return Parsed::Number;
    }
    return Parsed::Other;
}

std::optional<double> parseNumberText(const QString &text)
{
    bool ok = false;
    const double d = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(d))
        return std::nullopt;
    return d;
}

namespace {

// |x| rounded half away from zero at `decimals` places, as the digits of
// |rounded| * 10^decimals. Works on x's shortest decimal form, the one that
// reads back as x: 2.675 is 2.675 here, not 2.67499999999999982236431605997495353221893310546875.
std::string roundedDigits(double x, int decimals)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(x), std::chars_format::scientific);
    std::string digits;
    const char *p = buf;
    for (; p < r.ptr && *p != 'e'; ++p)
        if (*p != '.')
            digits += *p;
    const int exponent = p < r.ptr ? int(std::strtol(std::string(static_cast<const char *>(p + 1), static_cast<const char *>(r.ptr)).c_str(), nullptr, 10)) : 0;
    // The first digit stands for 10^exponent; keep those down to 10^-decimals.
    const long keep = long(exponent) + 1 + decimals;
    if (keep < 0)
        return "0";
    const size_t kept = size_t(keep);
    std::string n = digits.substr(0, std::min(kept, digits.size()));
    if (kept > digits.size())
        n.append(kept - digits.size(), '0');
    if (kept < digits.size() && digits[kept] >= '5') {
        long i = long(n.size()) - 1;
        while (i >= 0 && n[size_t(i)] == '9')
            n[size_t(i--)] = '0';
        if (i < 0)
            n.insert(n.begin(), '1');
        else
            ++n[size_t(i)];
    }
    return n.empty() ? std::string("0") : n;
}

bool allZero(const std::string &s) { return s.find_first_not_of('0') == std::string::npos; }

} // namespace

double roundHalfAway(double x, int decimals)
{
    if (!std::isfinite(x))
        return x;
    decimals = std::max(-320, std::min(kMaxDecimals, decimals));
    const std::string n = roundedDigits(x, decimals);
    if (allZero(n))
        return 0.0;
    const std::string text = (x < 0 ? "-" : "") + n + "e" + std::to_string(-decimals);
    return std::strtod(text.c_str(), nullptr);
}

QByteArray fixed(double x, int decimals)
{
    if (!std::isfinite(x))
        return {};
    decimals = std::max(0, std::min(kMaxDecimals, decimals));
    std::string n = roundedDigits(x, decimals);
    if (n.size() < size_t(decimals) + 1)
        n.insert(n.begin(), size_t(decimals) + 1 - n.size(), '0');
    const bool negative = x < 0 && !allZero(n);
    if (decimals > 0)
        n.insert(n.end() - decimals, '.');
    return QByteArray(negative ? "-" : "") + QByteArray::fromStdString(n);
}

bool numberText(double x, int length, int decimals, QByteArray &out)
{
    out = fixed(x, decimals);
    return !out.isEmpty() && out.size() <= length;
}

// ---------------------------------------------------------------- logicals, dates

std::optional<bool> parseLogical(const QString &text)
{
    const QString s = text.trimmed().toUpper();
    if (s == QLatin1String("T") || s == QLatin1String(".T.") || s == QLatin1String("Y") || s == QLatin1String("TRUE"))
        return true;
    if (s == QLatin1String("F") || s == QLatin1String(".F.") || s == QLatin1String("N") || s == QLatin1String("FALSE"))
        return false;
    return std::nullopt;
}

QDate parseDate(const QString &text)
{
    const QString s = text.trimmed();
    QDate d = QDate::fromString(s, QStringLiteral("yyyyMMdd"));
    if (!d.isValid())
        d = QDate::fromString(s, Qt::ISODate);
    if (d.isValid() && (d.year() < 1 || d.year() > 9999))
        return {};
    return d;
}

} // namespace store::codec
