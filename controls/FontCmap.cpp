#include "controls/FontCmap.h"

#include "store/Bytes.h"

#include <algorithm>
#include <map>
#include <vector>

namespace ui {

namespace {

using store::bytes::appendBe16;
using store::bytes::appendBe32;
using store::bytes::be16;
using store::bytes::be32;
using store::bytes::putBe32;

// Bounds-checked big-endian reads; out of range reads as 0 and marks the
// reader bad, so a broken font gives an empty result and never a crash.
struct Reader {
    const QByteArray &data;
    bool bad = false;
    bool has(qsizetype offset, qsizetype size) const
    {
        return offset >= 0 && size >= 0 && offset <= data.size() && size <= data.size() - offset;
    }
    quint32 u32(qsizetype at)
    {
        if (!has(at, 4)) {
            bad = true;
            return 0;
        }
        return be32(data.constData() + at);
    }
    quint16 u16(qsizetype at)
    {
        if (!has(at, 2)) {
            bad = true;
            return 0;
        }
        return be16(data.constData() + at);
    }
};

quint32 tagOf(const char *t) { return be32(t); }

quint32 checksum(const QByteArray &table)
{
    quint32 sum = 0;
    const char *p = table.constData();
    const qsizetype whole = table.size() / 4 * 4;
    for (qsizetype i = 0; i < whole; i += 4)
        sum += be32(p + i);
    if (whole < table.size()) {
        char last[4] = {0, 0, 0, 0};
        std::copy(p + whole, p + table.size(), last);
        sum += be32(last);
    }
    return sum;
}

bool isUnifiedIdeograph(quint32 cp)
{
    return (cp >= 0x4E00 && cp <= 0x9FFF) || (cp >= 0x3400 && cp <= 0x4DBF) || (cp >= 0x20000 && cp <= 0x3FFFF);
}

using CharMap = std::map<quint32, quint32>; // code point -> glyph

// Format 12 (segmented coverage) or format 4 (BMP segments).
bool readSubtable(Reader &r, qsizetype at, CharMap &map)
{
    const quint16 format = r.u16(at);
    if (format == 12) {
        const quint32 groups = r.u32(at + 12);
        if (!r.has(at + 16, qsizetype(groups) * 12))
            return false;
        for (quint32 g = 0; g < groups; ++g) {
            const qsizetype p = at + 16 + qsizetype(g) * 12;
            const quint32 first = r.u32(p), last = r.u32(p + 4), glyph = r.u32(p + 8);
            if (last < first || last > 0x10FFFF)
                return false;
            for (quint32 cp = first; cp <= last; ++cp)
                map[cp] = glyph + (cp - first);
        }
        return !r.bad;
    }
    if (format == 4) {
        const int segments = r.u16(at + 6) / 2;
        const qsizetype ends = at + 14, starts = ends + 2 * segments + 2, deltas = starts + 2 * segments,
                        ranges = deltas + 2 * segments;
        for (int s = 0; s < segments && !r.bad; ++s) {
            const quint32 end = r.u16(ends + 2 * s), start = r.u16(starts + 2 * s);
            const quint16 delta = r.u16(deltas + 2 * s);
            const qsizetype rangeAt = ranges + 2 * s;
            const quint16 rangeOffset = r.u16(rangeAt);
            for (quint32 cp = start; cp <= end && cp != 0xFFFF; ++cp) {
                quint32 glyph;
                if (rangeOffset == 0) {
                    glyph = quint16(cp + delta);
                } else {
                    glyph = r.u16(rangeAt + rangeOffset + 2 * (cp - start));
                    if (glyph != 0)
                        glyph = quint16(glyph + delta);
                }
                if (glyph != 0)
                    map[cp] = glyph;
            }
        }
        return !r.bad;
    }
    return false;
}

bool readCharMap(Reader &r, qsizetype cmapAt, CharMap &map)
{
    const quint16 count = r.u16(cmapAt + 2);
    qsizetype full = -1, bmp = -1;
    for (quint16 i = 0; i < count && !r.bad; ++i) {
        const qsizetype rec = cmapAt + 4 + 8 * i;
        const quint16 platform = r.u16(rec), encoding = r.u16(rec + 2);
        const qsizetype at = cmapAt + r.u32(rec + 4);
        const quint16 format = r.u16(at);
        const bool unicode = platform == 0 || (platform == 3 && (encoding == 1 || encoding == 10));
        if (unicode && format == 12 && full < 0)
            full = at;
        else if (unicode && format == 4 && bmp < 0)
            bmp = at;
    }
    if (full >= 0)
        return readSubtable(r, full, map);
    return bmp >= 0 && readSubtable(r, bmp, map);
}

// Drops every code point that shares its glyph with a CJK unified ideograph
// of a higher code point: that is the one a PDF reader would otherwise be told.
void keepIdeographsOnly(CharMap &map)
{
    std::map<quint32, quint32> ideographOfGlyph; // glyph -> lowest ideograph
    for (const auto &[cp, glyph] : map) {
        if (isUnifiedIdeograph(cp))
            ideographOfGlyph.emplace(glyph, cp);
    }
    for (auto it = map.begin(); it != map.end();) {
        const auto ideograph = ideographOfGlyph.find(it->second);
        if (ideograph != ideographOfGlyph.end() && it->first < ideograph->second)
            it = map.erase(it);
        else
            ++it;
    }
}

// A cmap with one format 12 subtable, listed for Unicode full repertoire on
// both the Unicode and the Windows platform.
QByteArray writeCharMap(const CharMap &map)
{
    struct Group {
        quint32 first, last, glyph;
    };
    std::vector<Group> groups;
    for (const auto &[cp, glyph] : map) {
        if (!groups.empty() && groups.back().last + 1 == cp
            && groups.back().glyph + (cp - groups.back().first) == glyph)
            groups.back().last = cp;
        else
            groups.push_back({cp, cp, glyph});
    }
    QByteArray out;
    appendBe16(out, 0); // version
    appendBe16(out, 2);
    appendBe16(out, 0), appendBe16(out, 4), appendBe32(out, 20);
    appendBe16(out, 3), appendBe16(out, 10), appendBe32(out, 20);
    appendBe16(out, 12), appendBe16(out, 0);
    appendBe32(out, quint32(16 + 12 * groups.size()));
    appendBe32(out, 0); // language
    appendBe32(out, quint32(groups.size()));
    for (const Group &g : groups)
        appendBe32(out, g.first), appendBe32(out, g.last), appendBe32(out, g.glyph);
    return out;
}

QString englishName(Reader &r, qsizetype nameAt, quint16 wanted)
{
    const quint16 count = r.u16(nameAt + 2);
    const qsizetype storage = nameAt + r.u16(nameAt + 4);
    for (quint16 i = 0; i < count && !r.bad; ++i) {
        const qsizetype rec = nameAt + 6 + 12 * i;
        if (r.u16(rec) != 3 || r.u16(rec + 4) != 0x409 || r.u16(rec + 6) != wanted)
            continue;
        const quint16 length = r.u16(rec + 8);
        const qsizetype at = storage + r.u16(rec + 10);
        if (!r.has(at, length))
            return QString();
        QString s;
        for (qsizetype k = 0; k + 1 < length; k += 2)
            s.append(QChar(r.u16(at + k)));
        return s;
    }
    return QString();
}

QByteArray writeNames(const QString &family, const QString &style)
{
    const QString postscript = QString(family + QLatin1Char('-') + style).remove(QLatin1Char(' '));
    const std::pair<quint16, QString> names[] = {
        {1, family}, {2, style}, {3, postscript}, {4, family + QLatin1Char(' ') + style}, {6, postscript}};
    QByteArray strings;
    QByteArray out;
    appendBe16(out, 0);
    appendBe16(out, std::size(names));
    appendBe16(out, quint32(6 + 12 * std::size(names)));
    for (const auto &[id, text] : names) {
        appendBe16(out, 3), appendBe16(out, 1), appendBe16(out, 0x409), appendBe16(out, id);
        appendBe16(out, quint32(text.size() * 2));
        appendBe16(out, quint32(strings.size()));
        for (QChar c : text)
            appendBe16(strings, c.unicode());
    }
    return out + strings;
}

} // namespace

QByteArray fontWithIdeographGlyphsOnly(const QByteArray &fontFile, int faceIndex, const QString &family)
{
    Reader r{fontFile};
    qsizetype face = 0;
    if (r.u32(0) == tagOf("ttcf")) {
        if (faceIndex < 0 || quint32(faceIndex) >= r.u32(8))
            return QByteArray();
        face = r.u32(12 + 4 * qsizetype(faceIndex));
    } else if (faceIndex != 0) {
        return QByteArray();
    }
    const quint32 version = r.u32(face);
    const quint16 tableCount = r.u16(face + 4);
    if (r.bad || tableCount == 0 || !r.has(face + 12, 16 * qsizetype(tableCount)))
        return QByteArray();

    struct Table {
        quint32 tag;
        QByteArray data;
    };
    std::vector<Table> tables;
    qsizetype cmapAt = -1, nameAt = -1;
    for (quint16 i = 0; i < tableCount; ++i) {
        const qsizetype rec = face + 12 + 16 * qsizetype(i);
        const quint32 tag = r.u32(rec), offset = r.u32(rec + 8), length = r.u32(rec + 12);
        if (!r.has(offset, length))
            return QByteArray();
        if (tag == tagOf("cmap"))
            cmapAt = offset;
        else if (tag == tagOf("name"))
            nameAt = offset;
        else if (tag != tagOf("DSIG")) // a signature no longer matches the changed font
            tables.push_back({tag, QByteArray::fromRawData(fontFile.constData() + offset, length)}); // no copy yet
    }
    if (cmapAt < 0 || nameAt < 0)
        return QByteArray();
    CharMap map;
    if (!readCharMap(r, cmapAt, map) || map.empty())
        return QByteArray();
    keepIdeographsOnly(map);
    QString style = englishName(r, nameAt, 2);
    if (style.isEmpty())
        style = QStringLiteral("Regular");
    tables.push_back({tagOf("cmap"), writeCharMap(map)});
    tables.push_back({tagOf("name"), writeNames(family, style)});
    std::sort(tables.begin(), tables.end(), [](const Table &a, const Table &b) { return a.tag < b.tag; });
    for (Table &t : tables) {
        if (t.tag == tagOf("head") && t.data.size() >= 12)
            t.data.replace(8, 4, QByteArray(4, '\0')); // checkSumAdjustment, set at the end
    }

    // Offset table, table records, then the tables, each on a 4-byte boundary.
    const quint16 n = quint16(tables.size());
    quint16 power = 1, log2 = 0;
    while (power * 2 <= n)
        power *= 2, ++log2;
    qsizetype total = 12 + 16 * qsizetype(n);
    for (const Table &t : tables)
        total += (t.data.size() + 3) / 4 * 4;
    QByteArray out;
    out.reserve(total);
    appendBe32(out, version);
    appendBe16(out, n), appendBe16(out, power * 16u), appendBe16(out, log2), appendBe16(out, n * 16u - power * 16u);
    quint32 offset = 12 + 16 * quint32(n);
    qsizetype headAt = -1;
    quint32 tablesSum = 0;
    for (const Table &t : tables) {
        if (t.tag == tagOf("head"))
            headAt = offset;
        const quint32 sum = checksum(t.data);
        tablesSum += sum;
        appendBe32(out, t.tag), appendBe32(out, sum), appendBe32(out, offset), appendBe32(out, quint32(t.data.size()));
        offset += (quint32(t.data.size()) + 3) & ~3u;
    }
    const quint32 fontSum = checksum(out) + tablesSum; // tables are zero-padded to whole words
    for (const Table &t : tables) {
        out += t.data;
        out.append(QByteArray((4 - t.data.size() % 4) % 4, '\0'));
    }
    if (headAt >= 0 && headAt + 12 <= out.size()) {
        // The head table's checksum of the whole font, computed with the field at 0.
        putBe32(out.data() + headAt + 8, 0xB1B0AFBAu - fontSum);
    }
    return out;
}

} // namespace ui

namespace ui {

QList<FaceName> faceNames(const QByteArray &fontFile)
{
    QList<FaceName> names;
    Reader r{fontFile};
    QList<qsizetype> faces;
    if (r.u32(0) == tagOf("ttcf")) {
        const quint32 count = r.u32(8);
        for (quint32 i = 0; i < count && i < 64 && !r.bad; ++i)
            faces.append(r.u32(12 + 4 * qsizetype(i)));
    } else {
        faces.append(0);
    }
    for (const qsizetype face : faces) {
        const quint16 tableCount = r.u16(face + 4);
        FaceName name;
        for (quint16 i = 0; i < tableCount && !r.bad; ++i) {
            const qsizetype rec = face + 12 + 16 * qsizetype(i);
            if (r.u32(rec) != tagOf("name") || !r.has(r.u32(rec + 8), r.u32(rec + 12)))
                continue;
            const qsizetype at = r.u32(rec + 8);
            name.family = englishName(r, at, 1);
            name.style = englishName(r, at, 2);
        }
        if (r.bad)
            break;
        names.append(name);
    }
    return names;
}

} // namespace ui
