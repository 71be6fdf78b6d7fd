#include "store/DbfTable.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace store {

namespace {

constexpr int kHeaderSize = 32;
constexpr int kDescriptorSize = 32;
constexpr int kBacklinkSize = 263;
constexpr char kTerminator = 0x0D;
constexpr char kEndMarker = 0x1A;
constexpr quint8 kFlagSystem = 0x01;
constexpr quint8 kFlagNullable = 0x02;

bool isVfp(quint8 version) { return version == 0x30 || version == 0x31 || version == 0x32; }

bool knownVersion(quint8 v)
{
    switch (v) {
    case 0x03: case 0xF5: case 0x83: case 0x8B: case 0x30: case 0x31: case 0x32:
        return true;
    default:
        return false;
    }
}

quint16 le16(const char *p)
{
    const auto *u = reinterpret_cast<const uchar *>(p);
    return quint16(u[0] | (u[1] << 8));
}

quint32 le32(const char *p)
{
    const auto *u = reinterpret_cast<const uchar *>(p);
    return quint32(u[0]) | (quint32(u[1]) << 8) | (quint32(u[2]) << 16) | (quint32(u[3]) << 24);
}

void put16(char *p, quint16 v)
{
    p[0] = char(v & 0xFF);
    p[1] = char(v >> 8);
}

void put32(char *p, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = char((v >> (8 * i)) & 0xFF);
}

void put64(char *p, quint64 v)
{
    for (int i = 0; i < 8; ++i)
        p[i] = char((v >> (8 * i)) & 0xFF);
}

quint64 le64(const char *p)
{
    return quint64(le32(p)) | (quint64(le32(p + 4)) << 32);
}

// The code page behind the mark in byte 29. 0 and unknown marks are taken as
// GBK: the tables this program meets are Chinese.
const char *codecName(quint8 mark)
{
    switch (mark) {
    case 0x01: return "IBM437";
    case 0x02: return "IBM850";
    case 0x03: return "windows-1252";
    case 0x64: return "IBM852";
    case 0x65: return "IBM866";
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
    default: return "GBK"; // 0x7A, 0x4D, 0x00
    }
}

// The year byte: dBASE writers store year-1900, FoxPro writers year%100.
QDate headerDate(const char *p)
{
    const int y = uchar(p[0]);
    const int year = y >= 100 ? 1900 + y : (y < 80 ? 2000 + y : 1900 + y);
    return QDate(year, uchar(p[1]), uchar(p[2]));
}

void putHeaderDate(char *p, quint8 version, const QDate &date)
{
    const int year = date.year();
    p[0] = char(isVfp(version) ? year % 100 : year - 1900);
    p[1] = char(date.month());
    p[2] = char(date.day());
}

int fixedLength(char type)
{
    switch (type) {
    case 'D': case 'B': case 'Y': case 'T': return 8;
    case 'L': return 1;
    case 'I': return 4;
    default: return 0;
    }
}

bool isBlank(QByteArrayView b)
{
    for (char c : b)
        if (c != ' ' && c != '\0')
            return false;
    return true;
}

QString fieldLabel(const FieldDef &f)
{
    if (f.type == 'N' || f.type == 'F')
        return QStringLiteral("%1 %2(%3,%4)").arg(f.name, QChar(f.type)).arg(f.length).arg(f.decimals);
    if (f.type == 'C')
        return QStringLiteral("%1 C(%2)").arg(f.name).arg(f.length);
    return QStringLiteral("%1 %2").arg(f.name, QChar(f.type));
}

// Checks one field definition (from a file or from create()). Returns an
// empty string when it is sound, else the fault. A table load checks every
// field, so the sound case builds no text.
QString checkField(const FieldDef &f, bool vfp)
{
    switch (f.type) {
    case 'C':
        if (f.length >= 1 && f.length <= 254)
            return {};
        return QStringLiteral("字段 %1 的宽度为 %2（C 字段为 1 到 254 字节）").arg(f.name).arg(f.length);
    case 'N':
    case 'F':
        if (f.length < 1 || f.length > 20)
            return QStringLiteral("字段 %1 的宽度为 %2（%3 字段为 1 到 20 字节）")
                .arg(f.name).arg(f.length).arg(QChar(f.type));
        if (f.decimals < 0 || f.decimals > 18 || (f.decimals > 0 && f.decimals >= f.length))
            return QStringLiteral("字段 %1 的宽度为 %2，却有 %3 位小数").arg(f.name).arg(f.length).arg(f.decimals);
        return {};
    case 'D': case 'L': case 'I': case 'B': case 'Y': case 'T':
        if (f.length != fixedLength(f.type))
            return QStringLiteral("%1 类型的字段 %2 宽度为 %3（应为 %4）")
                .arg(QChar(f.type), f.name).arg(f.length).arg(fixedLength(f.type));
        if (!vfp && f.type == 'B')
            return QStringLiteral("字段 %1 是备注（memo）字段，不支持这种字段").arg(f.name);
        return {};
    case 'M': case 'G': case 'P':
        return QStringLiteral("字段 %1 是备注（memo）字段，不支持这种字段").arg(f.name);
    default:
        return QStringLiteral("字段 %1 的类型 '%2' 未知").arg(f.name, QChar(uchar(f.type)));
    }
}

bool parseNumber(QByteArrayView raw, double &out)
{
    const char *b = raw.data();
    const char *e = b + raw.size();
    while (b < e && (*b == ' ' || *b == '\0'))
        ++b;
    while (e > b && (e[-1] == ' ' || e[-1] == '\0'))
        --e;
    if (b == e)
        return false;
    // The usual shape, [-]digits[.digits] with at most 15 digits, is exact as
    // an integer over a power of ten, so one division rounds it correctly.
    {
        static const double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8,
                                        1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
        const char *q = b;
        const bool negative = *q == '-';
        if (negative || *q == '+')
            ++q;
        quint64 mantissa = 0;
        int digits = 0;
        int fraction = -1;
        for (; q < e; ++q) {
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
            return true;
        }
    }
    if (*b == '+')
        ++b;
    const auto r = std::from_chars(b, e, out);
    return r.ec == std::errc() && r.ptr == e && std::isfinite(out);
}

// Numbers written by other programs: blank, or filled with '*' on overflow,
// both mean no value.
bool numberIsEmpty(QByteArrayView raw)
{
    for (char c : raw)
        if (c != ' ' && c != '\0' && c != '*')
            return false;
    return true;
}

} // namespace

struct DbfTable::Impl {
    QString path;
    bool inMemory = false;
    DbfHeader header;
    std::vector<FieldDef> fields;
    QByteArray bytes; // the whole file
    int nullFlagsOffset = -1;
    int nullFlagsLength = 0;
    bool hasEnd = false;
    quint8 codecMark = 0x7A; // the converters are looked up by this mark

    Error fault(const QString &what) const { return Error(QStringLiteral("文件 %1：%2").arg(path, what)); }
    void parse();
    const char *record(quint32 r) const
    {
        return bytes.constData() + header.headerLength + qsizetype(r) * header.recordLength;
    }
    void checkRecord(quint32 r) const
    {
        if (r >= header.recordCount)
            throw fault(QStringLiteral("第 %1 条记录不存在（表中有 %2 条记录）").arg(r + 1).arg(header.recordCount));
    }
    void checkField(int f) const
    {
        if (f < 0 || f >= int(fields.size()))
            throw fault(QStringLiteral("字段序号 %1 不存在").arg(f));
    }
    bool nullBitSet(const char *rec, const FieldDef &f) const
    {
        if (f.nullBit < 0)
            return false;
        return (uchar(rec[nullFlagsOffset + (f.nullBit >> 3)]) >> (f.nullBit & 7)) & 1;
    }
    QString decode(QByteArrayView b) const;
    QVariant read(quint32 r, int f) const;
    bool readIsNull(quint32 r, int f) const;
    void encodeField(char *rec, const FieldDef &f, const QVariant &v) const;
    QByteArray encodeRecord(const char *old, const std::vector<QVariant> &values) const;
    void setCodec();
    void openForWrite(QFile &file, quint32 &diskCount) const;
    void writeAt(QFile &file, qint64 pos, const char *data, qint64 len, const QString &what) const;
};

void DbfTable::Impl::setCodec() { codecMark = header.codePageMark; }

namespace {

// Converters of one code page. Making one (an ICU converter behind Qt) costs
// far more than reading a small table, so each thread keeps one pair per code
// page mark for all the tables it reads. They are stateless: every call
// converts a whole text.
struct Codec {
    QStringDecoder decoder;
    QStringEncoder encoder;
};

Codec &codecFor(quint8 mark)
{
    thread_local std::unique_ptr<Codec> codecs[256];
    std::unique_ptr<Codec> &slot = codecs[mark];
    if (!slot) {
        slot = std::make_unique<Codec>();
        slot->decoder = QStringDecoder(codecName(mark), QStringConverter::Flag::Stateless);
        slot->encoder = QStringEncoder(codecName(mark), QStringConverter::Flag::Stateless);
        if (!slot->decoder.isValid() || !slot->encoder.isValid()) {
            slot->decoder = QStringDecoder("GBK", QStringConverter::Flag::Stateless);
            slot->encoder = QStringEncoder("GBK", QStringConverter::Flag::Stateless);
        }
    }
    return *slot;
}

} // namespace

QString DbfTable::Impl::decode(QByteArrayView b) const
{
    bool ascii = true;
    for (char c : b)
        if (uchar(c) >= 0x80 || c == '\0') {
            ascii = false;
            break;
        }
    if (ascii)
        return QString::fromLatin1(b.data(), b.size());
    QString s = codecFor(codecMark).decoder.decode(b);
    // Some writers pad texts with NUL instead of blanks.
    for (QChar &c : s)
        if (c.unicode() == 0)
            c = QLatin1Char(' ');
    return s;
}

void DbfTable::Impl::parse()
{
    const qsizetype size = bytes.size();
    const char *p = bytes.constData();
    if (size < kHeaderSize)
        throw fault(QStringLiteral("文件头不完整（文件只有 %1 字节，一个表至少需要 %2 字节）")
                        .arg(size).arg(kHeaderSize + 1));
    header.version = uchar(p[0]);
    if (!knownVersion(header.version))
        throw fault(QStringLiteral("不是 dBASE/FoxPro 表（未知的版本字节 0x%1）")
                        .arg(header.version, 2, 16, QLatin1Char('0')));
    header.lastUpdate = headerDate(p + 1);
    header.recordCount = le32(p + 4);
    header.headerLength = le16(p + 8);
    header.recordLength = le16(p + 10);
    header.codePageMark = uchar(p[29]);
    setCodec();
    const bool vfp = isVfp(header.version);

    if (header.headerLength < kHeaderSize + 1)
        throw fault(QStringLiteral("文件头长度 %1 太小（至少应为 %2）")
                        .arg(header.headerLength).arg(kHeaderSize + 1));
    if (header.headerLength > size)
        throw fault(QStringLiteral("文件头长度 %1 超出了文件末尾（文件只有 %2 字节）")
                        .arg(header.headerLength).arg(size));
    if (header.recordLength < 1)
        throw fault(QStringLiteral("记录长度 %1 太小").arg(header.recordLength));

    // Field descriptors, up to the 0x0D terminator inside the header.
    std::vector<FieldDef> defs;
    std::vector<quint8> flags;
    std::vector<quint32> displacement;
    const size_t most = size_t(header.headerLength - kHeaderSize) / kDescriptorSize;
    defs.reserve(most);
    flags.reserve(most);
    displacement.reserve(most);
    qsizetype pos = kHeaderSize;
    bool terminated = false;
    while (pos < header.headerLength) {
        if (p[pos] == kTerminator) {
            terminated = true;
            break;
        }
        if (pos + kDescriptorSize > header.headerLength)
            throw fault(QStringLiteral("第 %1 个字段描述超出了文件头长度 %2（没有 0x0D 结束符）")
                            .arg(defs.size() + 1).arg(header.headerLength));
        const char *d = p + pos;
        const void *nul = std::memchr(d, 0, 11);
        if (!nul)
            throw fault(QStringLiteral("第 %1 个字段的名称没有以 NUL 字节结束").arg(defs.size() + 1));
        const int nameLen = int(static_cast<const char *>(nul) - d);
        if (nameLen == 0)
            throw fault(QStringLiteral("第 %1 个字段没有名称").arg(defs.size() + 1));
        FieldDef f;
        f.name = decode(QByteArrayView(d, nameLen));
        f.type = d[11];
        f.length = uchar(d[16]);
        f.decimals = uchar(d[17]);
        if (f.length == 0)
            throw fault(QStringLiteral("字段 %1 的宽度为 0").arg(f.name));
        defs.push_back(std::move(f));
        flags.push_back(uchar(d[18]));
        displacement.push_back(le32(d + 12));
        pos += kDescriptorSize;
    }
    if (!terminated)
        throw fault(QStringLiteral("字段列表在文件头长度 %1 之内没有 0x0D 结束符")
                        .arg(header.headerLength));

    int offset = 1;
    int nullableCount = 0;
    for (size_t i = 0; i < defs.size(); ++i) {
        FieldDef &f = defs[i];
        if (f.type == '0') {
            // A system field; _NullFlags is the one that carries null bits.
            if ((flags[i] & kFlagSystem) || f.name.compare(QLatin1String("_NullFlags"), Qt::CaseInsensitive) == 0) {
                if (nullFlagsOffset >= 0)
                    throw fault(QStringLiteral("表中有两个 _NullFlags 字段"));
                nullFlagsOffset = offset;
                nullFlagsLength = f.length;
            }
        } else {
            const QString bad = store::checkField(f, vfp);
            if (!bad.isEmpty())
                throw fault(bad);
            if (f.type == 'D' || f.type == 'L' || f.type == 'I' || f.type == 'B' || f.type == 'Y' || f.type == 'T')
                f.decimals = (f.type == 'B') ? f.decimals : 0;
        }
        if (vfp && displacement[i] != 0 && displacement[i] != quint32(offset))
            throw fault(QStringLiteral("字段 %1 标明从记录的第 %2 字节开始，但它前面的字段到第 %3 字节才结束")
                            .arg(f.name).arg(displacement[i]).arg(offset));
        f.offset = offset;
        offset += f.length;
        if (offset > header.recordLength)
            throw fault(QStringLiteral("到字段 %1 为止的字段需要 %2 字节，超过了记录长度 %3")
                            .arg(f.name).arg(offset).arg(header.recordLength));
        if (f.type != '0' && vfp && (flags[i] & kFlagNullable)) {
            f.nullable = true;
            f.nullBit = nullableCount++;
        }
    }
    if (nullableCount > 0 && nullFlagsOffset < 0)
        throw fault(QStringLiteral("表中有可为空的字段，却没有 _NullFlags 字段"));
    if (nullableCount > nullFlagsLength * 8)
        throw fault(QStringLiteral("_NullFlags 只有 %1 位，不够 %2 个可为空的字段").arg(nullFlagsLength * 8).arg(nullableCount));

    fields.clear();
    fields.reserve(defs.size());
    for (FieldDef &f : defs)
        if (f.type != '0')
            fields.push_back(std::move(f));
    if (fields.empty())
        throw fault(QStringLiteral("表中没有字段"));

    const quint64 available = quint64(size - header.headerLength) / header.recordLength;
    if (header.recordCount > available)
        throw fault(QStringLiteral("文件头记有 %1 条记录，但文件只容得下 %2 条完整记录")
                        .arg(header.recordCount).arg(available));
    const qsizetype end = header.headerLength + qsizetype(header.recordCount) * header.recordLength;
    hasEnd = end < size && p[end] == kEndMarker;
}

QVariant DbfTable::Impl::read(quint32 r, int fi) const
{
    checkRecord(r);
    checkField(fi);
    const FieldDef &f = fields[size_t(fi)];
    const char *rec = record(r);
    if (nullBitSet(rec, f))
        return {};
    const QByteArrayView raw(rec + f.offset, f.length);
    switch (f.type) {
    case 'C':
        return decode(raw);
    case 'N':
    case 'F': {
        double v = 0;
        if (parseNumber(raw, v))
            return v;
        if (numberIsEmpty(raw))
            return {};
        throw fault(QStringLiteral("第 %1 条记录的字段 %2：'%3' 不是数值")
                        .arg(r + 1).arg(f.name, QString::fromLatin1(raw.data(), raw.size())));
    }
    case 'D': {
        if (isBlank(raw) || raw == QByteArrayView("00000000"))
            return {};
        int ymd[3] = {0, 0, 0};
        const int widths[3] = {4, 2, 2};
        const char *q = raw.data();
        bool ok = true;
        for (int k = 0; k < 3; ++k) {
            const auto res = std::from_chars(q, q + widths[k], ymd[k]);
            ok = ok && res.ec == std::errc() && res.ptr == q + widths[k];
            q += widths[k];
        }
        const QDate d = ok ? QDate(ymd[0], ymd[1], ymd[2]) : QDate();
        if (!d.isValid())
            throw fault(QStringLiteral("第 %1 条记录的字段 %2：'%3' 不是日期")
                            .arg(r + 1).arg(f.name, QString::fromLatin1(raw.data(), raw.size())));
        return d;
    }
    case 'L':
        switch (raw[0]) {
        case 'T': case 't': case 'Y': case 'y': return true;
        case 'F': case 'f': case 'N': case 'n': return false;
        case '?': case ' ': case '\0': return {};
        default:
            throw fault(QStringLiteral("第 %1 条记录的字段 %2：'%3' 不是逻辑值")
                            .arg(r + 1).arg(f.name, QString::fromLatin1(raw.data(), 1)));
        }
    case 'I':
        return double(qint32(le32(raw.data())));
    case 'B': {
        const quint64 bits = le64(raw.data());
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    case 'Y':
        return double(qint64(le64(raw.data()))) / 10000.0;
    case 'T': {
        if (isBlank(raw))
            return {};
        const qint32 day = qint32(le32(raw.data()));
        const qint32 ms = qint32(le32(raw.data() + 4));
        const QDate d = QDate::fromJulianDay(day);
        if (!d.isValid() || ms < 0 || ms >= 86400000)
            throw fault(QStringLiteral("第 %1 条记录的字段 %2 不是有效的日期时间").arg(r + 1).arg(f.name));
        return QDateTime(d, QTime::fromMSecsSinceStartOfDay(ms));
    }
    default:
        return {};
    }
}

bool DbfTable::Impl::readIsNull(quint32 r, int fi) const
{
    checkRecord(r);
    checkField(fi);
    const FieldDef &f = fields[size_t(fi)];
    const char *rec = record(r);
    if (nullBitSet(rec, f))
        return true;
    const QByteArrayView raw(rec + f.offset, f.length);
    switch (f.type) {
    case 'N': case 'F': return numberIsEmpty(raw);
    case 'D': return isBlank(raw) || raw == QByteArrayView("00000000");
    case 'L': return raw[0] == '?' || raw[0] == ' ' || raw[0] == '\0';
    case 'T': return isBlank(raw);
    default: return false;
    }
}

void DbfTable::Impl::encodeField(char *rec, const FieldDef &f, const QVariant &v) const
{
    char *dst = rec + f.offset;
    const bool null = !v.isValid() || v.isNull()
        || (v.typeId() == QMetaType::QString && f.type != 'C' && v.toString().trimmed().isEmpty());
    if (f.nullBit >= 0) {
        char &byte = rec[nullFlagsOffset + (f.nullBit >> 3)];
        const char mask = char(1 << (f.nullBit & 7));
        byte = null ? char(byte | mask) : char(byte & ~mask);
    }
    auto bad = [&](const QString &why) {
        return fault(QStringLiteral("字段 %1：%2").arg(fieldLabel(f), why));
    };
    switch (f.type) {
    case 'C': {
        std::memset(dst, ' ', size_t(f.length));
        if (null)
            return;
        const QString text = v.toString();
        QStringEncoder &encoder = codecFor(codecMark).encoder;
        QByteArray enc = encoder.encode(text);
        if (enc.size() > f.length) {
            // Cut at a whole character: encode one code point at a time.
            enc.clear();
            const char16_t *u = reinterpret_cast<const char16_t *>(text.utf16());
            qsizetype i = 0;
            while (i < text.size()) {
                const qsizetype n = (QChar::isHighSurrogate(u[i]) && i + 1 < text.size()) ? 2 : 1;
                const QByteArray piece = encoder.encode(QStringView(text).mid(i, n));
                if (enc.size() + piece.size() > f.length)
                    break;
                enc += piece;
                i += n;
            }
        }
        std::memcpy(dst, enc.constData(), size_t(enc.size()));
        return;
    }
    case 'N':
    case 'F': {
        std::memset(dst, ' ', size_t(f.length));
        if (null)
            return;
        bool ok = false;
        double d = v.typeId() == QMetaType::QString ? v.toString().trimmed().toDouble(&ok) : v.toDouble(&ok);
        if (!ok || !std::isfinite(d))
            throw bad(QStringLiteral("'%1' 不是数值").arg(v.toString()));
        char buf[400];
        int n = std::snprintf(buf, sizeof buf, "%.*f", f.decimals, d);
        if (n > 0 && buf[0] == '-' && std::strspn(buf + 1, "0.") == size_t(n - 1)) {
            std::memmove(buf, buf + 1, size_t(n)); // -0.00 is 0.00
            --n;
        }
        if (n <= 0 || n > f.length)
            throw bad(QStringLiteral("数值 %1 超出字段宽度").arg(QString::number(d, 'g', 17)));
        std::memcpy(dst + f.length - n, buf, size_t(n));
        return;
    }
    case 'D': {
        std::memset(dst, ' ', 8);
        if (null)
            return;
        QDate d;
        if (v.typeId() == QMetaType::QString) {
            const QString s = v.toString().trimmed();
            d = QDate::fromString(s, QStringLiteral("yyyyMMdd"));
            if (!d.isValid())
                d = QDate::fromString(s, Qt::ISODate);
        } else {
            d = v.toDate();
        }
        if (!d.isValid() || d.year() < 1 || d.year() > 9999)
            throw bad(QStringLiteral("'%1' 不是日期").arg(v.toString()));
        char buf[16];
        std::snprintf(buf, sizeof buf, "%04d%02d%02d", d.year(), d.month(), d.day());
        std::memcpy(dst, buf, 8);
        return;
    }
    case 'L': {
        if (null) {
            *dst = ' ';
            return;
        }
        bool b;
        if (v.typeId() == QMetaType::QString) {
            const QString s = v.toString().trimmed().toUpper();
            if (s == QLatin1String("T") || s == QLatin1String(".T.") || s == QLatin1String("Y") || s == QLatin1String("TRUE"))
                b = true;
            else if (s == QLatin1String("F") || s == QLatin1String(".F.") || s == QLatin1String("N") || s == QLatin1String("FALSE"))
                b = false;
            else
                throw bad(QStringLiteral("'%1' 不是逻辑值").arg(v.toString()));
        } else {
            b = v.toBool();
        }
        *dst = b ? 'T' : 'F';
        return;
    }
    case 'I':
    case 'B':
    case 'Y': {
        std::memset(dst, 0, size_t(f.length));
        if (null)
            return;
        bool ok = false;
        const double d = v.typeId() == QMetaType::QString ? v.toString().trimmed().toDouble(&ok) : v.toDouble(&ok);
        if (!ok || !std::isfinite(d))
            throw bad(QStringLiteral("'%1' 不是数值").arg(v.toString()));
        if (f.type == 'I') {
            const double r = std::nearbyint(d);
            if (r < -2147483648.0 || r > 2147483647.0)
                throw bad(QStringLiteral("数值 %1 超出字段宽度").arg(QString::number(d, 'g', 17)));
            put32(dst, quint32(qint32(r)));
        } else if (f.type == 'B') {
            quint64 bits;
            std::memcpy(&bits, &d, sizeof bits);
            put64(dst, bits);
        } else {
            const double r = std::nearbyint(d * 10000.0);
            if (std::fabs(r) >= 9.2e18)
                throw bad(QStringLiteral("数值 %1 超出字段宽度").arg(QString::number(d, 'g', 17)));
            put64(dst, quint64(qint64(r)));
        }
        return;
    }
    case 'T': {
        std::memset(dst, 0, 8);
        if (null)
            return;
        QDateTime dt = v.typeId() == QMetaType::QString ? QDateTime::fromString(v.toString().trimmed(), Qt::ISODate)
                                                        : v.toDateTime();
        if (!dt.isValid())
            throw bad(QStringLiteral("'%1' 不是日期时间").arg(v.toString()));
        put32(dst, quint32(qint32(dt.date().toJulianDay())));
        put32(dst + 4, quint32(dt.time().msecsSinceStartOfDay()));
        return;
    }
    default:
        return;
    }
}

QByteArray DbfTable::Impl::encodeRecord(const char *old, const std::vector<QVariant> &values) const
{
    if (values.size() != fields.size())
        throw fault(QStringLiteral("一条记录需要 %1 个值，却给了 %2 个").arg(fields.size()).arg(values.size()));
    QByteArray rec;
    if (old) {
        rec = QByteArray(old, header.recordLength);
    } else {
        rec = QByteArray(header.recordLength, ' ');
        if (nullFlagsOffset >= 0)
            std::memset(rec.data() + nullFlagsOffset, 0, size_t(nullFlagsLength));
    }
    for (size_t i = 0; i < fields.size(); ++i)
        encodeField(rec.data(), fields[i], values[i]);
    return rec;
}

// Opens the file for an in-place write after making sure it still has the
// layout this object read: writing by record number into a table that was
// rebuilt meanwhile would damage other records.
void DbfTable::Impl::openForWrite(QFile &file, quint32 &diskCount) const
{
    if (inMemory)
        throw fault(QStringLiteral("这个表只在内存中，不能写入"));
    file.setFileName(path);
    if (!file.open(QIODevice::ReadWrite))
        throw fault(QStringLiteral("无法打开以写入：%1").arg(file.errorString()));
    const QByteArray disk = file.read(kHeaderSize);
    if (disk.size() < kHeaderSize || le16(disk.constData() + 8) != header.headerLength
        || le16(disk.constData() + 10) != header.recordLength)
        throw fault(QStringLiteral("读取之后表已被其他程序重建，请重新打开"));
    diskCount = le32(disk.constData() + 4);
}

void DbfTable::Impl::writeAt(QFile &file, qint64 pos, const char *data, qint64 len, const QString &what) const
{
    if (!file.seek(pos) || file.write(data, len) != len || !file.flush())
        throw fault(QStringLiteral("%1：%2").arg(what, file.errorString()));
}

// ---------------------------------------------------------------------------

DbfTable::DbfTable() : d(std::make_unique<Impl>()) {}
DbfTable::DbfTable(DbfTable &&) noexcept = default;
DbfTable &DbfTable::operator=(DbfTable &&) noexcept = default;
DbfTable::~DbfTable() = default;

DbfTable DbfTable::load(const QString &path)
{
    DbfTable t;
    t.d->path = path;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw t.d->fault(QStringLiteral("无法打开：%1").arg(file.errorString()));
    t.d->bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw t.d->fault(QStringLiteral("无法读取：%1").arg(file.errorString()));
    t.d->parse();
    return t;
}

DbfTable DbfTable::fromBytes(const QByteArray &bytes, const QString &name)
{
    DbfTable t;
    t.d->path = name;
    t.d->inMemory = true;
    t.d->bytes = bytes;
    t.d->parse();
    return t;
}

void DbfTable::create(const QString &path, const std::vector<FieldDef> &defs,
                      const std::vector<std::vector<QVariant>> &rows)
{
    auto fault = [&](const QString &what) { return Error(QStringLiteral("文件 %1：%2").arg(path, what)); };
    if (defs.empty())
        throw fault(QStringLiteral("一个表至少需要一个字段"));
    bool vfp = false;
    int nullable = 0;
    for (const FieldDef &f : defs) {
        if (f.nullable)
            ++nullable;
        if (f.nullable || f.type == 'I' || f.type == 'B' || f.type == 'Y' || f.type == 'T')
            vfp = true;
    }
    DbfTable t;
    Impl &m = *t.d;
    m.path = path;
    m.header.version = vfp ? 0x30 : 0x03;
    m.header.codePageMark = 0x7A;
    m.header.lastUpdate = QDate::currentDate();
    m.setCodec();

    int offset = 1;
    int bit = 0;
    for (size_t i = 0; i < defs.size(); ++i) {
        FieldDef f = defs[i];
        if (f.length == 0)
            f.length = fixedLength(f.type);
        const QByteArray name = f.name.toLatin1();
        bool nameOk = !name.isEmpty() && name.size() <= 10 && f.name.at(0).isLetter() && f.name.at(0).unicode() < 0x80;
        for (QChar c : f.name)
            nameOk = nameOk && c.unicode() < 0x80 && (c.isLetterOrNumber() || c == QLatin1Char('_'));
        if (!nameOk)
            throw fault(QStringLiteral("'%1' 不是有效的字段名（1 到 10 个字母、数字或 _，以字母开头）")
                            .arg(f.name));
        for (size_t j = 0; j < i; ++j)
            if (defs[j].name.compare(f.name, Qt::CaseInsensitive) == 0)
                throw fault(QStringLiteral("字段名 %1 用了两次").arg(f.name));
        if (f.type != 'N' && f.type != 'F' && f.type != 'B')
            f.decimals = 0;
        const QString bad = checkField(f, vfp);
        if (!bad.isEmpty())
            throw fault(bad);
        f.offset = offset;
        offset += f.length;
        f.nullBit = f.nullable ? bit++ : -1;
        m.fields.push_back(f);
    }
    if (vfp) {
        m.nullFlagsOffset = offset;
        m.nullFlagsLength = std::max(1, (nullable + 7) / 8);
        offset += m.nullFlagsLength;
    }
    const int fieldCount = int(m.fields.size()) + (vfp ? 1 : 0);
    const int headerLength = kHeaderSize + kDescriptorSize * fieldCount + 1 + (vfp ? kBacklinkSize : 0);
    if (offset > 65535 || headerLength > 65535)
        throw fault(QStringLiteral("字段太多，一条记录容纳不下"));
    m.header.headerLength = quint16(headerLength);
    m.header.recordLength = quint16(offset);
    m.header.recordCount = quint32(rows.size());

    QByteArray out(headerLength, '\0');
    char *h = out.data();
    h[0] = char(m.header.version);
    putHeaderDate(h + 1, m.header.version, m.header.lastUpdate);
    put32(h + 4, m.header.recordCount);
    put16(h + 8, m.header.headerLength);
    put16(h + 10, m.header.recordLength);
    h[29] = char(m.header.codePageMark);
    char *dsc = h + kHeaderSize;
    auto descriptor = [&](const QByteArray &name, char type, int off, int len, int dec, quint8 flags) {
        std::memcpy(dsc, name.constData(), size_t(name.size()));
        dsc[11] = type;
        put32(dsc + 12, quint32(off));
        dsc[16] = char(len);
        dsc[17] = char(dec);
        dsc[18] = char(flags);
        dsc += kDescriptorSize;
    };
    for (const FieldDef &f : m.fields)
        descriptor(f.name.toLatin1(), f.type, f.offset, f.length, f.decimals, f.nullable ? kFlagNullable : 0);
    if (vfp)
        descriptor(QByteArrayLiteral("_NullFlags"), '0', m.nullFlagsOffset, m.nullFlagsLength, 0, 0x05);
    *dsc = kTerminator;

    out.reserve(headerLength + qsizetype(rows.size()) * offset + 1);
    for (const auto &row : rows)
        out += m.encodeRecord(nullptr, row);
    out += kEndMarker;

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw fault(QStringLiteral("无法创建：%1").arg(file.errorString()));
    if (file.write(out) != out.size() || !file.commit())
        throw fault(QStringLiteral("无法写入：%1").arg(file.errorString()));
}

quint32 DbfTable::pack(const QString &path)
{
    const DbfTable t = load(path);
    const Impl &m = *t.d;
    const quint32 removed = t.deletedCount();
    if (removed == 0)
        return 0;
    QByteArray out = m.bytes.left(m.header.headerLength);
    out.reserve(m.header.headerLength + qsizetype(m.header.recordCount - removed) * m.header.recordLength + 1);
    for (quint32 r = 0; r < m.header.recordCount; ++r) {
        const char *rec = m.record(r);
        if (*rec != '*')
            out.append(rec, m.header.recordLength);
    }
    if (m.hasEnd)
        out += kEndMarker;
    put32(out.data() + 4, m.header.recordCount - removed);
    putHeaderDate(out.data() + 1, m.header.version, QDate::currentDate());

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw m.fault(QStringLiteral("无法重写：%1").arg(file.errorString()));
    if (file.write(out) != out.size() || !file.commit())
        throw m.fault(QStringLiteral("无法重写：%1").arg(file.errorString()));
    return removed;
}

const QString &DbfTable::path() const { return d->path; }
const DbfHeader &DbfTable::header() const { return d->header; }
const std::vector<FieldDef> &DbfTable::fields() const { return d->fields; }

int DbfTable::fieldIndex(const QString &name) const
{
    for (size_t i = 0; i < d->fields.size(); ++i)
        if (d->fields[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

quint32 DbfTable::recordCount() const { return d->header.recordCount; }

bool DbfTable::isDeleted(quint32 record) const
{
    d->checkRecord(record);
    return *d->record(record) == '*';
}

QVariant DbfTable::value(quint32 record, int field) const { return d->read(record, field); }

QByteArray DbfTable::rawField(quint32 record, int field) const { return rawView(record, field).toByteArray(); }

QByteArrayView DbfTable::rawView(quint32 record, int field) const
{
    d->checkRecord(record);
    d->checkField(field);
    const FieldDef &f = d->fields[size_t(field)];
    return QByteArrayView(d->record(record) + f.offset, f.length);
}

bool DbfTable::isNull(quint32 record, int field) const { return d->readIsNull(record, field); }

bool DbfTable::number(quint32 record, int field, double &out) const
{
    d->checkRecord(record);
    d->checkField(field);
    const FieldDef &f = d->fields[size_t(field)];
    if (!f.isNumeric())
        throw d->fault(QStringLiteral("字段 %1 不是数值字段").arg(fieldLabel(f)));
    if (f.type == 'N' || f.type == 'F') {
        const char *rec = d->record(record);
        if (d->nullBitSet(rec, f))
            return false;
        const QByteArrayView raw(rec + f.offset, f.length);
        if (parseNumber(raw, out))
            return true;
        if (numberIsEmpty(raw))
            return false;
    }
    const QVariant v = d->read(record, field); // raises for a garbled N/F text
    if (!v.isValid())
        return false;
    out = v.toDouble();
    return true;
}

const char *DbfTable::recordData(quint32 record) const
{
    d->checkRecord(record);
    return d->record(record);
}

QString DbfTable::decodeText(QByteArrayView bytes) const { return d->decode(bytes); }

quint32 DbfTable::deletedCount() const
{
    quint32 n = 0;
    for (quint32 r = 0; r < d->header.recordCount; ++r)
        n += *d->record(r) == '*';
    return n;
}

bool DbfTable::hasEndMarker() const { return d->hasEnd; }
int DbfTable::nullFlagsLength() const { return d->nullFlagsLength; }

void DbfTable::writeRecord(quint32 record, const std::vector<QVariant> &values)
{
    d->checkRecord(record);
    const QByteArray rec = d->encodeRecord(d->record(record), values);
    QFile file;
    quint32 diskCount = 0;
    d->openForWrite(file, diskCount);
    if (diskCount < d->header.recordCount)
        throw d->fault(QStringLiteral("读取之后已有记录被其他程序移走，请重新打开"));
    const QString what = QStringLiteral("无法写入第 %1 条记录").arg(record + 1);
    const qint64 pos = d->header.headerLength + qint64(record) * d->header.recordLength;
    // The deletion flag is left as it is on disk.
    d->writeAt(file, pos + 1, rec.constData() + 1, rec.size() - 1, what);
    const QDate today = QDate::currentDate();
    char date[3];
    putHeaderDate(date, d->header.version, today);
    d->writeAt(file, 1, date, 3, what);
    file.close();
    std::memcpy(d->bytes.data() + pos + 1, rec.constData() + 1, size_t(rec.size() - 1));
    std::memcpy(d->bytes.data() + 1, date, 3);
    d->header.lastUpdate = today;
}

void DbfTable::writeFields(quint32 record, const std::vector<std::pair<int, QVariant>> &values)
{
    d->checkRecord(record);
    if (values.empty())
        return;
    const int length = d->header.recordLength;
    QByteArray rec(d->record(record), length);
    std::vector<char> touched(size_t(length), 0);
    QByteArray nullMask(d->nullFlagsLength, '\0'); // the null bits of the fields set
    for (const auto &[index, value] : values) {
        d->checkField(index);
        const FieldDef &f = d->fields[size_t(index)];
        d->encodeField(rec.data(), f, value);
        std::memset(touched.data() + f.offset, 1, size_t(f.length));
        if (f.nullBit >= 0)
            nullMask[f.nullBit >> 3] = char(nullMask[f.nullBit >> 3] | (1 << (f.nullBit & 7)));
    }
    QFile file;
    quint32 diskCount = 0;
    d->openForWrite(file, diskCount);
    if (diskCount < d->header.recordCount)
        throw d->fault(QStringLiteral("读取之后已有记录被其他程序移走，请重新打开"));
    const QString what = QStringLiteral("无法写入第 %1 条记录").arg(record + 1);
    const qint64 pos = d->header.headerLength + qint64(record) * length;
    if (d->nullFlagsOffset >= 0 && nullMask.count('\0') != nullMask.size()) {
        // The other bits of a flag byte belong to fields not set here: they
        // keep what the file holds now.
        if (!file.seek(pos + d->nullFlagsOffset))
            throw d->fault(QStringLiteral("%1：%2").arg(what, file.errorString()));
        const QByteArray disk = file.read(d->nullFlagsLength);
        if (disk.size() != d->nullFlagsLength)
            throw d->fault(QStringLiteral("%1：%2").arg(what, file.errorString()));
        for (int i = 0; i < d->nullFlagsLength; ++i) {
            char &byte = rec[d->nullFlagsOffset + i];
            byte = char((disk[i] & ~nullMask[i]) | (byte & nullMask[i]));
            touched[size_t(d->nullFlagsOffset + i)] = nullMask[i] != 0;
        }
    }
    for (int i = 0; i < length;) {
        if (!touched[size_t(i)]) {
            ++i;
            continue;
        }
        int j = i;
        while (j < length && touched[size_t(j)])
            ++j;
        d->writeAt(file, pos + i, rec.constData() + i, j - i, what);
        std::memcpy(d->bytes.data() + pos + i, rec.constData() + i, size_t(j - i));
        i = j;
    }
    const QDate today = QDate::currentDate();
    char date[3];
    putHeaderDate(date, d->header.version, today);
    d->writeAt(file, 1, date, 3, what);
    file.close();
    std::memcpy(d->bytes.data() + 1, date, 3);
    d->header.lastUpdate = today;
}

quint32 DbfTable::appendRecord(const std::vector<QVariant> &values)
{
    const QByteArray rec = d->encodeRecord(nullptr, values);
    QFile file;
    quint32 diskCount = 0;
    d->openForWrite(file, diskCount);
    if (diskCount != d->header.recordCount) {
        // Another program appended or packed meanwhile: append after what
        // is in the file now, not after what was read.
        file.close();
        DbfTable fresh = load(d->path);
        if (fresh.d->header.headerLength != d->header.headerLength
            || fresh.d->header.recordLength != d->header.recordLength)
            throw d->fault(QStringLiteral("读取之后表已被其他程序重建，请重新打开"));
        d = std::move(fresh.d);
        d->openForWrite(file, diskCount);
    }
    const quint32 number = d->header.recordCount;
    const qint64 pos = d->header.headerLength + qint64(number) * d->header.recordLength;
    const QString what = QStringLiteral("无法追加记录");
    QByteArray tail = rec;
    if (d->hasEnd)
        tail += kEndMarker;
    // The record first, then the count: an interrupted append leaves the
    // table as it was.
    d->writeAt(file, pos, tail.constData(), tail.size(), what);
    char head[7];
    const QDate today = QDate::currentDate();
    putHeaderDate(head, d->header.version, today);
    put32(head + 3, number + 1);
    d->writeAt(file, 1, head, 7, what);
    file.close();

    d->bytes.truncate(pos);
    d->bytes += tail;
    std::memcpy(d->bytes.data() + 1, head, 7);
    d->header.recordCount = number + 1;
    d->header.lastUpdate = today;
    return number;
}

void DbfTable::markDeleted(quint32 record, bool deleted)
{
    d->checkRecord(record);
    QFile file;
    quint32 diskCount = 0;
    d->openForWrite(file, diskCount);
    if (diskCount < d->header.recordCount)
        throw d->fault(QStringLiteral("读取之后已有记录被其他程序移走，请重新打开"));
    const QString what = QStringLiteral("无法标记第 %1 条记录").arg(record + 1);
    const qint64 pos = d->header.headerLength + qint64(record) * d->header.recordLength;
    const char flag = deleted ? '*' : ' ';
    d->writeAt(file, pos, &flag, 1, what);
    char date[3];
    const QDate today = QDate::currentDate();
    putHeaderDate(date, d->header.version, today);
    d->writeAt(file, 1, date, 3, what);
    file.close();
    d->bytes.data()[pos] = flag;
    std::memcpy(d->bytes.data() + 1, date, 3);
    d->header.lastUpdate = today;
}

} // namespace store
