// Texts as the expression engine holds them: bytes in the table's code
// page (GBK unless told otherwise), where a lead byte 0x81..0xFE and the
// byte after it make one character. Comparison pads the shorter text with
// blanks, as the driver does; LIKE counts a double-byte character as one.
#include "store/ExprInternal.h"

#include "store/FieldCodec.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace store::expr {

QByteArray encodeText(const QString &text) { return codec::encode(codec::kGbkMark, text); }

QString decodeText(const QByteArray &bytes) { return codec::decode(codec::kGbkMark, bytes); }

int compareText(const QByteArray &a, const QByteArray &b)
{
    const int n = int(std::min(a.size(), b.size()));
    if (n > 0) {
        const int c = std::memcmp(a.constData(), b.constData(), size_t(n));
        if (c != 0)
            return c < 0 ? -1 : 1;
    }
    // The longer one is compared against blanks.
    const QByteArray &longer = a.size() > b.size() ? a : b;
    const int sign = a.size() > b.size() ? 1 : -1;
    for (qsizetype i = n; i < longer.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(longer[i]);
        if (c != ' ')
            return c > ' ' ? sign : -sign;
    }
    return 0;
}

std::vector<int> charStarts(const QByteArray &s)
{
    std::vector<int> starts;
    const char *b = s.constData();
    const char *e = b + s.size();
    for (const char *p = b; p < e; p += charBytes(p, e))
        starts.push_back(int(p - b));
    return starts;
}

qsizetype withoutTrailingBlanks(const QByteArray &s)
{
    qsizetype n = s.size();
    while (n > 0 && s[n - 1] == ' ')
        --n;
    return n;
}

QByteArray charSlice(const QByteArray &s, qsizetype firstChar, qsizetype count)
{
    const std::vector<int> starts = charStarts(s);
    const qsizetype total = qsizetype(starts.size());
    if (firstChar < 0)
        firstChar = 0;
    if (firstChar >= total || count <= 0)
        return QByteArray("");
    const qsizetype last = std::min(total, firstChar + count);
    const int from = starts[size_t(firstChar)];
    const int to = last >= total ? int(s.size()) : starts[size_t(last)];
    return s.mid(from, to - from);
}

// ---------------------------------------------------------------- LIKE

namespace {

bool isAscii(const char *p, const char *e)
{
    unsigned char any = 0;
    for (; p < e; ++p)
        any |= static_cast<unsigned char>(*p);
    return any < 0x80;
}

// One run of a pattern between '%'s against bytes of the same length.
inline bool segmentMatches(const char *t, const char *seg, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (seg[i] != '_' && seg[i] != t[i])
            return false;
    return true;
}

const char *findSegment(const char *t, const char *te, const char *seg, size_t n)
{
    if (size_t(te - t) < n)
        return nullptr;
    if (!std::memchr(seg, '_', n)) {
        const std::string_view text(t, size_t(te - t));
        const size_t at = text.find(std::string_view(seg, n));
        return at == std::string_view::npos ? nullptr : t + at;
    }
    for (const char *p = t; p + n <= te; ++p)
        if (segmentMatches(p, seg, n))
            return p;
    return nullptr;
}

// Single-byte texts: the first run anchors at the start, the last at the
// end, and the runs between are found leftmost in turn, which is exact for
// patterns made of literal runs, '_' and '%'.
bool likeAscii(const char *t, const char *te, const char *p, const char *pe)
{
    const char *firstPercent = static_cast<const char *>(std::memchr(p, '%', size_t(pe - p)));
    if (!firstPercent)
        return te - t == pe - p && segmentMatches(t, p, size_t(pe - p));
    const size_t headLength = size_t(firstPercent - p);
    if (size_t(te - t) < headLength || !segmentMatches(t, p, headLength))
        return false;
    t += headLength;
    const char *lastPercent = pe - 1;
    while (*lastPercent != '%')
        --lastPercent;
    const size_t tailLength = size_t(pe - lastPercent - 1);
    if (size_t(te - t) < tailLength || !segmentMatches(te - tailLength, lastPercent + 1, tailLength))
        return false;
    te -= tailLength;
    const char *seg = firstPercent + 1;
    while (seg < lastPercent) {
        const char *end = static_cast<const char *>(std::memchr(seg, '%', size_t(lastPercent + 1 - seg)));
        const size_t n = size_t(end - seg);
        if (n > 0) {
            const char *at = findSegment(t, te, seg, n);
            if (!at)
                return false;
            t = at + n;
        }
        seg = end + 1;
    }
    return true;
}

} // namespace

bool likeMatch(const QByteArray &textIn, const QByteArray &patternIn)
{
    const char *t = textIn.constData();
    const char *te = t + withoutTrailingBlanks(textIn);
    const char *p = patternIn.constData();
    const char *pe = p + withoutTrailingBlanks(patternIn);
    if (isAscii(t, te) && isAscii(p, pe))
        return likeAscii(t, te, p, pe);
    // Iterative matcher: remember the last '%' and retry from one character further.
    const char *starP = nullptr;
    const char *starT = nullptr;
    while (t < te) {
        if (p < pe && *p == '%') {
            starP = ++p;
            starT = t;
            continue;
        }
        if (p < pe) {
            const int pn = charBytes(p, pe);
            const int tn = charBytes(t, te);
            if ((pn == 1 && *p == '_') || (pn == tn && std::memcmp(p, t, size_t(pn)) == 0)) {
                p += pn;
                t += tn;
                continue;
            }
        }
        if (!starP)
            return false;
        starT += charBytes(starT, te);
        t = starT;
        p = starP;
    }
    while (p < pe && *p == '%')
        ++p;
    return p == pe;
}

} // namespace store::expr
