#include "store/DbfTable.h"

#include "store/Bytes.h"
#include "store/FieldCodec.h"
#include "store/FileIo.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>
#include <charconv>
#include <functional>
#include <map>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace store {

namespace {

using bytes::le16;
using bytes::le32;
using bytes::le64;
using bytes::putLe16;
using bytes::putLe32;
using bytes::putLe64;

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

// A number given as a number or as typed text.
std::optional<double> numberOf(const QVariant &v)
{
    if (v.typeId() == QMetaType::QString)
        return codec::parseNumberText(v.toString());
    bool ok = false;
    const double d = v.toDouble(&ok);
    if (!ok || !std::isfinite(d))
        return std::nullopt;
    return d;
}

QString fieldLabel(const FieldDef &f)
{
    if (f.type == 'N' || f.type == 'F')
        return QStringLiteral("%1 %2(%3,%4)").arg(f.name, QChar(f.type)).arg(f.length).arg(f.decimals);
    if (f.type == 'C')
        return QStringLiteral("%1 C(%2)").arg(f.name).arg(f.length);
    return QStringLiteral("%1 %2").arg(f.name, QChar(f.type));
}

// Memo, general and picture fields (and dBASE's binary memo B) hold a block
// number into a separate .fpt/.dbt file: 10 digits, or 4 bytes in Visual
// FoxPro. This program reads and writes none of them; a table that has them
// still opens, and they are left as they are.
bool isMemo(const FieldDef &f, bool vfp)
{
    return f.type == 'M' || f.type == 'G' || f.type == 'P' || (f.type == 'B' && !vfp);
}

QString memoWidth(const FieldDef &f)
{
    if (f.length == 4 || f.length == 10)
        return {};
    return QStringLiteral("备注字段 %1 的宽度为 %2（应为 4 或 10）").arg(f.name).arg(f.length);
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
        if (f.length < 1 || f.length > codec::kMaxNumberWidth)
            return QStringLiteral("字段 %1 的宽度为 %2（%3 字段为 1 到 %4 字节）")
                .arg(f.name).arg(f.length).arg(QChar(f.type)).arg(codec::kMaxNumberWidth);
        if (f.decimals < 0 || f.decimals > codec::kMaxDecimals || (f.decimals > 0 && f.decimals >= f.length))
            return QStringLiteral("字段 %1 的宽度为 %2，却有 %3 位小数").arg(f.name).arg(f.length).arg(f.decimals);
        return {};
    case 'D': case 'L': case 'I': case 'B': case 'Y': case 'T':
        if (f.length != fixedLength(f.type))
            return QStringLiteral("%1 类型的字段 %2 宽度为 %3（应为 %4）")
                .arg(QChar(f.type), f.name).arg(f.length).arg(fixedLength(f.type));
        if (!vfp && f.type == 'B')
            return memoWidth(f);
        return {};
    case 'M': case 'G': case 'P':
        return memoWidth(f);
    default: {
        // A byte that is no visible character is shown by its value: a NUL
        // would end the message where it is printed.
        const uchar t = uchar(f.type);
        const QString shown = t > 0x20 && t < 0x7F ? QStringLiteral("'%1'").arg(QChar(t))
                                                   : QStringLiteral("0x%1").arg(t, 2, 16, QLatin1Char('0')).toUpper().replace(QLatin1String("0X"), QLatin1String("0x"));
        return QStringLiteral("字段 %1 的类型 %2 未知").arg(f.name, shown);
    }
    }
}

} // namespace

struct DbfTable::Impl {
    QString path;
    bool inMemory = false;
    DbfHeader header;
    std::vector<FieldDef> fields;
    std::vector<FieldDef> memoFields; // not read or written; see isMemo
    fileio::File file;
    qint64 fileSize = 0;
    QByteArray head; // the header, descriptors included
    // Records are read a window at a time, so that a scan of a table of any
    // size needs a bounded amount of memory. A small table is read whole
    // when it is opened.
    mutable QByteArray window;
    mutable quint32 windowFirst = 0;
    mutable quint32 windowCount = 0;
    int nullFlagsOffset = -1;
    int nullFlagsLength = 0;
    bool hasEnd = false;
    quint8 codecMark = 0x7A; // the converters are looked up by this mark

    Error fault(const QString &what) const { return Error(ErrorKind::CorruptFile, QStringLiteral("文件 %1：%2").arg(path, what)); }
    void parse();
    const char *record(quint32 r) const
    {
        if (r - windowFirst < windowCount)
            return window.constData() + qsizetype(r - windowFirst) * header.recordLength;
        return loadWindow(r);
    }
    const char *loadWindow(quint32 r) const;
    void readRecords();
    qint64 recordPos(quint32 r) const { return header.headerLength + qint64(r) * header.recordLength; }
    // The ranges of the file a write changes, and their new bytes, made
    // when each range is written (from the record as the file holds it then):
    // a write of any number of records needs a bounded amount of memory.
    struct Plan {
        size_t count = 0; // ranges
        // The position and new bytes of range i, in the order of the file.
        std::function<std::pair<qint64, QByteArray>(size_t range)> range;
    };
    void beginWrite(quint32 &diskCount);
    void requireRecordsInPlace(quint32 diskCount) const;
    void apply(const Plan &plan);
    // One write: the lock and checks, the plan `build` makes from the
    // record count on disk, then the lock this object held before.
    void write(const std::function<Plan(quint32 diskCount)> &build);
    QByteArray dateBytes() const;
    // A plan that sets some records, each made from its bytes on disk by
    // `edit`, and the header's date.
    Plan recordPlan(const std::vector<quint32> &records, const std::function<void(size_t i, char *record)> &edit);
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
    quint32 change(const std::vector<std::pair<quint32, FieldValues>> &records,
                   const std::vector<std::vector<QVariant>> &rows, bool deleteRecords);
    void setCodec();
};

void DbfTable::Impl::setCodec() { codecMark = header.codePageMark; }

QString DbfTable::Impl::decode(QByteArrayView b) const { return codec::decode(codecMark, b); }

void DbfTable::Impl::parse()
{
    const qint64 size = fileSize;
    const char *p = head.constData();
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
    memoFields.clear();
    fields.reserve(defs.size());
    for (FieldDef &f : defs) {
        if (f.type == '0')
            continue;
        if (isMemo(f, vfp))
            memoFields.push_back(std::move(f));
        else
            fields.push_back(std::move(f));
    }
    if (fields.empty())
        throw fault(memoFields.empty() ? QStringLiteral("表中没有字段") : QStringLiteral("表中只有备注（memo）字段"));

    const quint64 available = quint64(size - header.headerLength) / header.recordLength;
    if (header.recordCount > available)
        throw fault(QStringLiteral("文件头记有 %1 条记录，但文件只容得下 %2 条完整记录")
                        .arg(header.recordCount).arg(available));
}

// The records' bytes: the whole record area of a small table, else nothing
// until a record is asked for.
void DbfTable::Impl::readRecords()
{
    constexpr qint64 kWhole = 8 << 20;
    const qint64 end = recordPos(header.recordCount);
    hasEnd = false;
    windowFirst = 0;
    windowCount = 0;
    window.clear();
    if (end < fileSize) {
        char c = 0;
        file.readAt(end, &c, 1);
        hasEnd = c == kEndMarker;
    }
    if (end - header.headerLength <= kWhole) {
        window.resize(qsizetype(end - header.headerLength));
        file.readAt(header.headerLength, window.data(), window.size());
        windowCount = header.recordCount;
    }
}

const char *DbfTable::Impl::loadWindow(quint32 r) const
{
    constexpr quint32 kWindowBytes = 1 << 20;
    // Only a table on disk gets here: one held in memory has every record
    // in its window.
    const quint32 per = std::max<quint32>(1, kWindowBytes / header.recordLength);
    const quint32 first = r - r % per;
    const quint32 count = std::min(per, header.recordCount - first);
    window.resize(qsizetype(count) * header.recordLength);
    windowCount = 0;
    file.readAt(recordPos(first), window.data(), window.size());
    windowFirst = first;
    windowCount = count;
    return window.constData() + qsizetype(r - first) * header.recordLength;
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
        switch (codec::parseNumber(raw, v)) {
        case codec::Parsed::Number: return v;
        case codec::Parsed::Blank: return {};
        case codec::Parsed::Other: break;
        }
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
    case 'N': case 'F': {
        double ignored = 0;
        return codec::parseNumber(raw, ignored) == codec::Parsed::Blank;
    }
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
        bool whole = true;
        const QByteArray enc = codec::encodeWithin(codecMark, v.toString(), f.length, &whole);
        if (!whole)
            throw bad(QStringLiteral("文字 \"%1\" 中有表的代码页 %2 不能保存的字符，请改用其他写法")
                          .arg(v.toString(), codec::codePageName(codecMark)));
        std::memcpy(dst, enc.constData(), size_t(enc.size()));
        return;
    }
    case 'N':
    case 'F': {
        std::memset(dst, ' ', size_t(f.length));
        if (null)
            return;
        const std::optional<double> d = numberOf(v);
        if (!d)
            throw bad(QStringLiteral("'%1' 不是数值").arg(v.toString()));
        QByteArray text;
        if (!codec::numberText(*d, f.length, f.decimals, text))
            throw bad(QStringLiteral("数值 %1 超出字段宽度").arg(QString::number(*d, 'g', 17)));
        std::memcpy(dst + f.length - text.size(), text.constData(), size_t(text.size()));
        return;
    }
    case 'D': {
        std::memset(dst, ' ', 8);
        if (null)
            return;
        QDate d;
        if (v.typeId() == QMetaType::QString) {
            d = codec::parseDate(v.toString());
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
            const std::optional<bool> parsed = codec::parseLogical(v.toString());
            if (!parsed)
                throw bad(QStringLiteral("'%1' 不是逻辑值").arg(v.toString()));
            b = *parsed;
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
        const std::optional<double> number = numberOf(v);
        if (!number)
            throw bad(QStringLiteral("'%1' 不是数值").arg(v.toString()));
        const double d = *number;
        if (f.type == 'I') {
            const double r = codec::roundHalfAway(d, 0);
            if (r < -2147483648.0 || r > 2147483647.0)
                throw bad(QStringLiteral("数值 %1 超出字段宽度").arg(QString::number(d, 'g', 17)));
            putLe32(dst, quint32(qint32(r)));
        } else if (f.type == 'B') {
            quint64 bits;
            std::memcpy(&bits, &d, sizeof bits);
            putLe64(dst, bits);
        } else {
            const double r = std::nearbyint(codec::roundHalfAway(d, 4) * 10000.0);
            if (std::fabs(r) >= 9.2e18)
                throw bad(QStringLiteral("数值 %1 超出字段宽度").arg(QString::number(d, 'g', 17)));
            putLe64(dst, quint64(qint64(r)));
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
        putLe32(dst, quint32(qint32(dt.date().toJulianDay())));
        putLe32(dst + 4, quint32(dt.time().msecsSinceStartOfDay()));
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
        // No memo: blank block digits, or block 0 in a 4-byte field.
        for (const FieldDef &m : memoFields)
            if (m.length == 4)
                std::memset(rec.data() + m.offset, 0, 4);
    }
    for (size_t i = 0; i < fields.size(); ++i)
        encodeField(rec.data(), fields[i], values[i]);
    return rec;
}

// Makes sure the table can be written here and now: a file of ours opened
// for writing under an exclusive lock, with the layout this object read
// (writing by record number into a table rebuilt meanwhile would damage
// other records). Tells how many records the file holds now.
void DbfTable::Impl::beginWrite(quint32 &diskCount)
{
    if (inMemory)
        throw fault(QStringLiteral("这个表只在内存中，不能写入"));
    // Opened again unless this object holds the file for writing already
    // and the name still leads to it (a pack or a new table replaces it).
    if (!file.isOpen() || !file.writable() || file.lock() != fileio::Lock::Exclusive || !file.isStillNamed())
        file = fileio::File::open(path, true, fileio::Lock::Exclusive);
    fileio::Journal::recover(file);
    char disk[kHeaderSize];
    if (file.size() < kHeaderSize)
        throw fault(QStringLiteral("读取之后表已被其他程序重建，请重新打开"));
    file.readAt(0, disk, kHeaderSize);
    if (le16(disk + 8) != header.headerLength || le16(disk + 10) != header.recordLength)
        throw fault(QStringLiteral("读取之后表已被其他程序重建，请重新打开"));
    diskCount = le32(disk + 4);
    fileSize = file.size();
    if (recordPos(diskCount) > fileSize)
        throw fault(QStringLiteral("文件头记有 %1 条记录，但文件只容得下 %2 条完整记录")
                        .arg(diskCount).arg((fileSize - header.headerLength) / header.recordLength));
}

void DbfTable::Impl::requireRecordsInPlace(quint32 diskCount) const
{
    // Fewer records than were read: a pack moved them, record numbers
    // no longer lead to the same records.
    if (diskCount < header.recordCount)
        throw fault(QStringLiteral("读取之后已有记录被其他程序移走，请重新打开"));
}

QByteArray DbfTable::Impl::dateBytes() const
{
    QByteArray date(3, '\0');
    putHeaderDate(date.data(), header.version, QDate::currentDate());
    return date;
}

DbfTable::Impl::Plan DbfTable::Impl::recordPlan(const std::vector<quint32> &records,
                                               const std::function<void(size_t, char *)> &edit)
{
    Plan plan;
    plan.count = records.size() + 1;
    // Made once: the bytes of a range are asked for twice (see apply).
    const QByteArray date = dateBytes();
    // Records are read from the file a run of them at a time (one read for
    // many records of a large change). A record is in a plan once, and the
    // change writes a record only after asking for it: the bytes read ahead
    // are still those on disk when their record's turn comes.
    struct ReadAhead {
        QByteArray bytes;
        quint32 first = 0;
        quint32 count = 0;
    };
    auto ahead = std::make_shared<ReadAhead>();
    plan.range = [this, &records, edit, date, ahead](size_t i) {
        if (i == records.size())
            return std::pair<qint64, QByteArray>(1, date);
        const quint32 r = records[i];
        if (r - ahead->first >= ahead->count) {
            const quint32 per = std::max<quint32>(1, (1u << 20) / header.recordLength);
            ahead->count = 0;
            const quint32 count = std::min(per, header.recordCount - r);
            ahead->bytes.resize(qsizetype(count) * header.recordLength);
            file.readAt(recordPos(r), ahead->bytes.data(), ahead->bytes.size());
            ahead->first = r;
            ahead->count = count;
        }
        QByteArray rec(ahead->bytes.constData() + qsizetype(r - ahead->first) * header.recordLength, header.recordLength);
        edit(i, rec.data());
        return std::pair<qint64, QByteArray>(recordPos(r), rec);
    };
    return plan;
}

// Writes the plan as one change: the original bytes go to the journal first,
// with what will be written over them, so that a failure or a kill at any
// point leaves the table as it was before or as it is after, never in
// between. The new bytes are made twice (for the journal, then for the
// table) rather than held: a change of any size needs bounded memory; the
// journal refuses to finish if the two ever differ. Afterwards the records are read again
// from the file, and the lock is the one this object held before.
void DbfTable::Impl::write(const std::function<Plan(quint32)> &build)
{
    const fileio::Lock before = file.isOpen() ? file.lock() : fileio::Lock::None;
    try {
        quint32 diskCount = 0;
        beginWrite(diskCount);
        apply(build(diskCount));
    } catch (...) {
        if (file.isOpen() && file.lock() != before) {
            try {
                file.relock(before);
            } catch (...) {
            }
        }
        throw;
    }
    if (file.lock() != before)
        file.relock(before);
}

void DbfTable::Impl::apply(const Plan &plan)
{
    {
        fileio::Journal journal(file);
        for (size_t i = 0; i < plan.count; ++i) {
            const auto [pos, bytes] = plan.range(i);
            journal.save(pos, bytes);
        }
        journal.write();
        try {
            // Each range in one write: a record is never half written.
            for (size_t i = 0; i < plan.count; ++i) {
                const auto [pos, bytes] = plan.range(i);
                journal.put(pos, bytes);
            }
            journal.finish();
        } catch (...) {
            journal.rollBack();
            throw;
        }
    }
    head.resize(0);
    head.resize(header.headerLength);
    fileSize = file.size();
    file.readAt(0, head.data(), head.size());
    header.recordCount = le32(head.constData() + 4);
    header.lastUpdate = headerDate(head.constData() + 1);
    readRecords();
}
// ---------------------------------------------------------------------------

DbfTable::DbfTable() : d(std::make_unique<Impl>()) {}
DbfTable::DbfTable(DbfTable &&) noexcept = default;
DbfTable &DbfTable::operator=(DbfTable &&) noexcept = default;
DbfTable::~DbfTable() = default;

DbfTable DbfTable::load(const QString &path, Access access)
{
    DbfTable t;
    Impl &m = *t.d;
    m.path = path;
    const bool write = access == Access::Write;
    m.file = fileio::File::open(path, write, write ? fileio::Lock::Exclusive : fileio::Lock::Shared);
    if (fileio::Journal::pending(m.file)) {
        // A change that a process did not finish (we hold the lock now, so
        // its writer has ended): the table is put back as it was first.
        fileio::File fix = fileio::File::open(path, true, fileio::Lock::Exclusive);
        fileio::Journal::recover(fix);
    }
    m.fileSize = m.file.size();
    m.head.resize(qsizetype(std::min<qint64>(m.fileSize, kHeaderSize)));
    m.file.readAt(0, m.head.data(), m.head.size());
    if (m.fileSize >= kHeaderSize) {
        const qint64 length = std::min<qint64>(m.fileSize, le16(m.head.constData() + 8));
        if (length > kHeaderSize) {
            m.head.resize(qsizetype(length));
            m.file.readAt(kHeaderSize, m.head.data() + kHeaderSize, length - kHeaderSize);
        }
    }
    m.parse();
    m.readRecords();
    return t;
}

DbfTable DbfTable::fromBytes(const QByteArray &bytes, const QString &name)
{
    DbfTable t;
    Impl &m = *t.d;
    m.path = name;
    m.inMemory = true;
    m.fileSize = bytes.size();
    m.head = bytes;
    m.parse();
    const qint64 end = m.recordPos(m.header.recordCount);
    m.hasEnd = end < bytes.size() && bytes[qsizetype(end)] == kEndMarker;
    m.window = bytes.mid(m.header.headerLength, qsizetype(end - m.header.headerLength));
    m.head.truncate(m.header.headerLength);
    m.windowCount = m.header.recordCount;
    return t;
}

void DbfTable::unlock()
{
    if (d->file.isOpen())
        d->file.relock(fileio::Lock::None);
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
        const QString bad = isMemo(f, vfp) ? QStringLiteral("字段 %1：本程序不写备注（memo）字段").arg(f.name)
                                           : checkField(f, vfp);
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
    putLe32(h + 4, m.header.recordCount);
    putLe16(h + 8, m.header.headerLength);
    putLe16(h + 10, m.header.recordLength);
    h[29] = char(m.header.codePageMark);
    char *dsc = h + kHeaderSize;
    auto descriptor = [&](const QByteArray &name, char type, int off, int len, int dec, quint8 flags) {
        std::memcpy(dsc, name.constData(), size_t(name.size()));
        dsc[11] = type;
        putLe32(dsc + 12, quint32(off));
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

    fileio::replaceFile(path, out);
}

quint32 DbfTable::pack(const QString &path)
{
    // A table without deleted records is not touched, nor opened for
    // writing (a read-only table with nothing to remove is fine).
    if (load(path).deletedCount() == 0)
        return 0;
    // Under an exclusive lock for the whole run; readers that waited find the
    // new file once it has the table's name.
    const DbfTable t = load(path, Access::Write);
    const Impl &m = *t.d;
    const quint32 removed = t.deletedCount();
    if (removed == 0)
        return 0;
    QByteArray head = m.head;
    putLe32(head.data() + 4, m.header.recordCount - removed);
    putHeaderDate(head.data() + 1, m.header.version, QDate::currentDate());
    fileio::NewFile out(path);
    out.write(head);
    // Records go out a window at a time: memory stays bounded whatever the
    // table's size.
    QByteArray chunk;
    for (quint32 r = 0; r < m.header.recordCount; ++r) {
        const char *rec = m.record(r);
        if (*rec != '*')
            chunk.append(rec, m.header.recordLength);
        if (chunk.size() >= (1 << 20)) {
            out.write(chunk);
            chunk.clear();
        }
    }
    if (m.hasEnd)
        chunk += kEndMarker;
    out.write(chunk);
    out.commit();
    return removed;
}

const QString &DbfTable::path() const { return d->path; }
const DbfHeader &DbfTable::header() const { return d->header; }
const std::vector<FieldDef> &DbfTable::fields() const { return d->fields; }
const std::vector<FieldDef> &DbfTable::memoFields() const { return d->memoFields; }

QString DbfTable::missingField(const QString &name, const QString &table) const
{
    for (const FieldDef &m : d->memoFields)
        if (m.name.compare(name, Qt::CaseInsensitive) == 0)
            return QStringLiteral("表 %1 的列 %2 是备注（memo）字段，本程序不读取这种字段，请不要在语句中使用它")
                .arg(table, m.name);
    return QStringLiteral("表 %1 中没有列 %2").arg(table, name);
}

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
        switch (codec::parseNumber(raw, out)) {
        case codec::Parsed::Number: return true;
        case codec::Parsed::Blank: return false;
        case codec::Parsed::Other: break;
        }
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

// Every write below works on the records as the file holds them now, under
// an exclusive lock: only the bytes asked for change, whatever this object
// read earlier. Each record goes out in one write, and all of one call as
// one change (see apply).

void DbfTable::writeRecord(quint32 record, const std::vector<QVariant> &values)
{
    d->checkRecord(record);
    if (values.size() != d->fields.size())
        d->encodeRecord(nullptr, values); // raises naming the counts
    const std::vector<quint32> records{record};
    d->write([&](quint32 diskCount) {
        d->requireRecordsInPlace(diskCount);
        return d->recordPlan(records, [&](size_t, char *rec) {
            const QByteArray encoded = d->encodeRecord(rec, values);
            std::memcpy(rec + 1, encoded.constData() + 1, size_t(encoded.size() - 1)); // the deletion flag stays
        });
    });
}

void DbfTable::writeFields(quint32 record, const std::vector<std::pair<int, QVariant>> &values)
{
    if (values.empty()) {
        d->checkRecord(record);
        return;
    }
    writeFields({{record, values}});
}

void DbfTable::writeFields(const std::vector<std::pair<quint32, FieldValues>> &records) { change(records, {}); }

void DbfTable::writeFields(const std::vector<quint32> &records, const std::function<FieldValues(quint32)> &valuesOf)
{
    if (records.empty())
        return;
    for (size_t i = 0; i < records.size(); ++i) {
        d->checkRecord(records[i]);
        // In file order, each once: a record is made from its bytes before
        // the change, which the records written so far never are.
        if (i > 0 && records[i] <= records[i - 1])
            throw d->fault(QStringLiteral("要修改的记录没有按序号排列（程序内部错误），没有做任何修改"));
    }
    d->write([&](quint32 diskCount) {
        d->requireRecordsInPlace(diskCount);
        return d->recordPlan(records, [&](size_t i, char *rec) {
            for (const auto &[index, value] : valuesOf(records[i])) {
                d->checkField(index);
                d->encodeField(rec, d->fields[size_t(index)], value);
            }
        });
    });
}

quint32 DbfTable::appendRecord(const std::vector<QVariant> &values) { return appendRecords({values}); }

quint32 DbfTable::appendRecords(const std::vector<std::vector<QVariant>> &rows) { return change({}, rows); }

quint32 DbfTable::change(const std::vector<std::pair<quint32, FieldValues>> &records,
                         const std::vector<std::vector<QVariant>> &rows)
{
    return d->change(records, rows, false);
}

void DbfTable::replaceRecords(const std::vector<std::vector<QVariant>> &rows)
{
    std::vector<std::pair<quint32, FieldValues>> all;
    all.reserve(d->header.recordCount);
    for (quint32 r = 0; r < d->header.recordCount; ++r)
        if (*d->record(r) != '*')
            all.emplace_back(r, FieldValues{});
    d->change(all, rows, true);
}

quint32 DbfTable::Impl::change(const std::vector<std::pair<quint32, FieldValues>> &given,
                               const std::vector<std::vector<QVariant>> &rows, bool deleteRecords)
{
    Impl *d = this;
    if (given.empty() && rows.empty())
        return d->header.recordCount;
    // One range per record: the values of a record given twice are set in
    // their order, as one edit of it.
    std::vector<std::pair<quint32, FieldValues>> records;
    std::map<quint32, size_t> seen;
    std::vector<quint32> numbers;
    numbers.reserve(given.size());
    for (const auto &[record, values] : given) {
        d->checkRecord(record);
        for (const auto &value : values)
            d->checkField(value.first);
        const auto [at, fresh] = seen.emplace(record, records.size());
        if (fresh) {
            records.emplace_back(record, values);
            numbers.push_back(record);
        } else {
            FieldValues &to = records[at->second].second;
            to.insert(to.end(), values.begin(), values.end());
        }
    }
    QByteArray appended;
    for (const auto &row : rows)
        appended += d->encodeRecord(nullptr, row);
    quint32 first = 0;
    d->write([&](quint32 diskCount) {
        if (!records.empty())
            d->requireRecordsInPlace(diskCount);
        // Encoding a field sets its bytes and its own null bit only.
        Impl::Plan plan = d->recordPlan(numbers, [&](size_t i, char *rec) {
            for (const auto &[index, value] : records[i].second)
                d->encodeField(rec, d->fields[size_t(index)], value);
            if (deleteRecords)
                rec[0] = '*';
        });
        if (rows.empty())
            return plan;
        // New records go after what the file holds now, which another
        // program may have appended to since this object read it: the
        // records first, then the count.
        first = diskCount;
        if (d->hasEnd)
            appended += kEndMarker;
        QByteArray head(7, '\0');
        putHeaderDate(head.data(), d->header.version, QDate::currentDate());
        putLe32(head.data() + 3, diskCount + quint32(rows.size()));
        // The date range of the edits gives way to the appended records and
        // then the header's date and count.
        const auto edits = plan.range;
        const size_t tail = numbers.size();
        const qint64 at = d->recordPos(diskCount);
        plan.count = tail + 2;
        plan.range = [edits, tail, at, appended, head](size_t i) {
            return i < tail ? edits(i) : i == tail ? std::pair<qint64, QByteArray>(at, appended)
                                                   : std::pair<qint64, QByteArray>(1, head);
        };
        return plan;
    });
    return first;
}

void DbfTable::markDeleted(quint32 record, bool deleted) { markDeleted(std::vector<quint32>{record}, deleted); }

void DbfTable::markDeleted(const std::vector<quint32> &given, bool deleted)
{
    if (given.empty())
        return;
    for (quint32 r : given)
        d->checkRecord(r);
    std::vector<quint32> records = given; // each once
    std::sort(records.begin(), records.end());
    records.erase(std::unique(records.begin(), records.end()), records.end());
    d->write([&](quint32 diskCount) {
        d->requireRecordsInPlace(diskCount);
        return d->recordPlan(records, [deleted](size_t, char *rec) { rec[0] = deleted ? '*' : ' '; });
    });
}

} // namespace store
