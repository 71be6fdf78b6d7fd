#include "store/SqlTable.h"

#include "store/FileIo.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace store::sql {

using expr::Value;

namespace {

QString withSlash(QString dir)
{
    dir.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!dir.isEmpty() && !dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

// Decimal text of an N/F field, the common shape only: blanks, an optional
// sign, at most 15 digits with one optional point, blanks. Anything else is
// left to the table reader (which also knows overflow stars and bad bytes).
enum class Parsed { Number, Blank, Other };
Parsed parseDecimal(const char *p, int len, double &out)
{
    static const double powers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    int i = 0;
    while (i < len && p[i] == ' ')
        ++i;
    if (i == len)
        return Parsed::Blank;
    bool negative = false;
    if (p[i] == '-' || p[i] == '+') {
        negative = p[i] == '-';
        ++i;
    }
    quint64 mantissa = 0;
    int digits = 0;
    int decimals = 0;
    bool point = false;
    for (; i < len; ++i) {
        const char c = p[i];
        if (c >= '0' && c <= '9') {
            mantissa = mantissa * 10 + quint64(c - '0');
            ++digits;
            decimals += point ? 1 : 0;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    for (int j = i; j < len; ++j)
        if (p[j] != ' ')
            return Parsed::Other;
    if (digits == 0 || digits > 15)
        return Parsed::Other;
    // mantissa < 2^53 and an exact power of ten: the quotient is correctly rounded.
    const double v = double(mantissa) / powers[decimals];
    out = negative ? -v : v;
    return Parsed::Number;
}

Value fromVariant(const QVariant &v)
{
    if (!v.isValid() || v.isNull())
        return Value::null();
    switch (v.typeId()) {
    case QMetaType::Bool: return Value::boolean(v.toBool());
    case QMetaType::QString: return Value::string(v.toString());
    case QMetaType::QDate: return Value::date(v.toDate().toJulianDay());
    case QMetaType::QDateTime: {
        const QDateTime t = v.toDateTime();
        return Value::num(double(t.date().toJulianDay()) + t.time().msecsSinceStartOfDay() / 86400000.0);
    }
    default: return Value::num(v.toDouble());
    }
}

const char *typeName(char type)
{
    switch (type) {
    case 'C': return "文字";
    case 'L': return "逻辑值";
    case 'D':
    case 'T': return "日期";
    default: return "数值";
    }
}

// Whether a number fits an N/F field as the table writer formats it.
bool fitsField(const FieldDef &f, double d)
{
    if (!std::isfinite(d))
        return false;
    if (f.type != 'N' && f.type != 'F')
        return true;
    char buf[400];
    int n = std::snprintf(buf, sizeof buf, "%.*f", f.decimals, d);
    if (n > 0 && buf[0] == '-' && std::strspn(buf + 1, "0.") == size_t(n - 1))
        --n;
    return n > 0 && n <= f.length;
}

QVariant checked(const QString &where, const FieldDef &f, const Value &v)
{
    auto mismatch = [&]() -> QVariant {
        throw Error(QStringLiteral("%1：列 %2 是%3，不能存入%4")
                        .arg(where, f.name, QString::fromUtf8(typeName(f.type)),
                             v.kind == Value::Kind::Text ? QStringLiteral("文字 \"%1\"").arg(v.toQString()) : v.toQString()));
    };
    if (v.isNull())
        return QVariant();
    switch (f.type) {
    case 'C':
        if (v.kind != Value::Kind::Text)
            return mismatch();
        return expr::decodeText(v.text);
    case 'L':
        if (v.kind != Value::Kind::Bool)
            return mismatch();
        return v.flag;
    case 'D':
    case 'T':
        if (v.kind != Value::Kind::Date)
            return mismatch();
        if (f.type == 'T')
            return QDateTime(QDate::fromJulianDay(qint64(v.number)), QTime(0, 0));
        return QDate::fromJulianDay(qint64(v.number));
    default:
        if (v.kind != Value::Kind::Number)
            return mismatch();
        if (!fitsField(f, v.number) || (f.type == 'I' && (v.number < -2147483648.0 || v.number > 2147483647.0)))
            throw Error(QStringLiteral("%1：数值 %2 超出列 %3 的宽度（%4 位，%5 位小数）")
                            .arg(where, v.toQString(), f.name)
                            .arg(f.length)
                            .arg(f.decimals));
        return f.type == 'I' ? QVariant(qint32(std::llround(v.number))) : QVariant(v.number);
    }
}

} // namespace

QString tableFile(const QString &dirIn, const QString &name)
{
    const QString dir = withSlash(dirIn);
    if (dir.isEmpty())
        throw Error(QStringLiteral("无法打开表 %1：查询没有设置数据目录").arg(name));
    const QString wanted = name + QStringLiteral(".dbf");
    const QString exact = dir + wanted;
    if (QFileInfo(exact).isFile())
        return exact;
    if (!QFileInfo(dir).isDir()) {
        // A symlink loop, a file where a folder should be, no permission:
        // each is told as what it is, "missing" only when it is.
        const int error = fileio::pathError(dir);
        if (error != 0 && error != ENOENT)
            throw Error(QStringLiteral("无法打开表 %1：无法打开目录 %2：%3").arg(name, dir, fileio::reason(error)));
        throw Error(ErrorKind::NotFound, QStringLiteral("无法打开表 %1：目录 %2 不存在").arg(name, dir));
    }
    const QStringList files = QDir(dir).entryList(QDir::Files | QDir::Hidden);
    for (const QString &f : files)
        if (f.compare(wanted, Qt::CaseInsensitive) == 0)
            return dir + f;
    throw Error(ErrorKind::NotFound, QStringLiteral("无法打开表 %1：文件 %2 不存在").arg(name, exact));
}

DbfTable openTable(const QString &dir, const QString &name, QString *path, DbfTable::Access access)
{
    // The usual case costs no look-up of its own: the file of that exact
    // name is loaded, and only when that fails is the directory searched.
    const QString exact = withSlash(dir) + name + QStringLiteral(".dbf");
    if (!dir.isEmpty()) {
        try {
            DbfTable t = DbfTable::load(exact, access);
            if (path)
                *path = exact;
            return t;
        } catch (const Error &e) {
            if (QFileInfo::exists(exact) || QFileInfo(exact).isSymLink())
                throw Error(e, QStringLiteral("无法打开表 %1：%2").arg(name, e.message()));
        }
    }
    const QString found = tableFile(dir, name);
    if (path)
        *path = found;
    return loadTable(found, name, access);
}

DbfTable loadTable(const QString &path, const QString &name, DbfTable::Access access)
{
    try {
        return DbfTable::load(path, access);
    } catch (const Error &e) {
        throw Error(e, QStringLiteral("无法打开表 %1：%2").arg(name, e.message()));
    }
}

RecordRow::RecordRow(const DbfTable &table) : m_table(table), m_fields(table.fields()) {}

Value RecordRow::column(int index) const
{
    const FieldDef &f = m_fields[size_t(index)];
    if (f.nullBit >= 0 && m_table.isNull(m_record, index))
        return Value::null();
    const char *p = m_data + f.offset;
    switch (f.type) {
    case 'C':
        return Value::bytes(QByteArray::fromRawData(p, f.length));
    case 'N':
    case 'F': {
        double d = 0;
        switch (parseDecimal(p, f.length, d)) {
        case Parsed::Number: return Value::num(d);
        case Parsed::Blank: return Value::null();
        case Parsed::Other: break;
        }
        break;
    }
    default:
        break;
    }
    return fromVariant(m_table.value(m_record, index));
}

QVariant cellValue(const DbfTable &table, quint32 record, int field)
{
    QVariant v = table.value(record, field);
    if (!v.isValid() || v.isNull())
        return QVariant();
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Float:
        return v.toDouble();
    default:
        return v;
    }
}

QVariant storableValue(const Statement &statement, const NameAt &column, const FieldDef &field, const Value &v)
{
    return checked(QStringLiteral("语句 \"%1\" 无法执行（第 %2 个字符处的列 %3）").arg(statement.text).arg(column.pos + 1).arg(column.name),
                   field, v);
}

QVariant storableValue(const QString &table, const FieldDef &field, const QVariant &v)
{
    if (!v.isValid() || v.isNull())
        return QVariant();
    Value value;
    if (v.typeId() == QMetaType::QString && field.type != 'C') {
        // Typed figures arrive as text; blank means no value.
        const QString s = v.toString().trimmed();
        if (s.isEmpty())
            return QVariant();
        if (field.type == 'L') {
            value = Value::boolean(s.compare(QLatin1String("T"), Qt::CaseInsensitive) == 0
                                   || s.compare(QLatin1String("Y"), Qt::CaseInsensitive) == 0
                                   || s.compare(QLatin1String(".T."), Qt::CaseInsensitive) == 0);
        } else if (field.type == 'D' || field.type == 'T') {
            QDate d = QDate::fromString(s, QStringLiteral("yyyyMMdd"));
            if (!d.isValid())
                d = QDate::fromString(s, Qt::ISODate);
            if (!d.isValid())
                throw Error(QStringLiteral("表 %1 的列 %2 是日期，\"%3\" 不是日期").arg(table, field.name, s));
            value = Value::date(d.toJulianDay());
        } else {
            bool ok = false;
            const double d = s.toDouble(&ok);
            if (!ok)
                throw Error(QStringLiteral("表 %1 的列 %2 是数值，\"%3\" 不是数").arg(table, field.name, s));
            value = Value::num(d);
        }
    } else if (field.type == 'C') {
        value = v.typeId() == QMetaType::QString ? Value::string(v.toString()) : fromVariant(v);
        if (value.kind == Value::Kind::Number)
            value = Value::string(v.toString()); // a figure written into a text column keeps its digits
    } else {
        value = fromVariant(v);
    }
    return checked(QStringLiteral("无法写入表 %1").arg(table), field, value);
}

std::vector<quint32> selectRecords(const DbfTable &table, const expr::Expr &where)
{
    std::vector<quint32> records;
    const quint32 count = table.recordCount();
    RecordRow row(table);
    const bool all = where.isNull();
    for (quint32 r = 0; r < count; ++r) {
        const char *data = table.recordData(r);
        if (*data == '*')
            continue;
        if (!all) {
            row.setRecord(r);
            if (!where.holds(row))
                continue;
        }
        records.push_back(r);
    }
    return records;
}

void saveKeyedRows(const QString &dir, const QString &name, const QString &keyColumn, const std::vector<KeyedRow> &rows)
{
    DbfTable table = openTable(dir, name, nullptr, DbfTable::Access::Write);
    const TableSchema schema(table, name);
    auto column = [&](const QString &c) {
        const int f = table.fieldIndex(c);
        if (f < 0)
            throw Error(QStringLiteral("无法写入表 %1：表中没有列 %2").arg(name, c));
        return f;
    };
    const int key = column(keyColumn);
    std::vector<std::pair<quint32, DbfTable::FieldValues>> edits;
    std::vector<std::vector<QVariant>> appends;
    for (const KeyedRow &row : rows) {
        DbfTable::FieldValues values;
        for (const auto &[c, v] : row.values) {
            const int f = column(c);
            values.emplace_back(f, storableValue(name, table.fields()[size_t(f)], v));
        }
        const QChar quote = row.key.contains(QLatin1Char('\'')) ? QLatin1Char('"') : QLatin1Char('\'');
        if (row.key.contains(quote))
            throw Error(QStringLiteral("无法写入表 %1：键值 %2 中同时含有两种引号").arg(name, row.key));
        expr::Expr where =
            parse(QStringLiteral("select * from %1 where %2=%3%4%3").arg(name, keyColumn, quote, row.key))->where;
        where.bind(schema);
        const std::vector<quint32> found = selectRecords(table, where);
        if (!found.empty()) {
            edits.emplace_back(found.front(), std::move(values));
            continue;
        }
        std::vector<QVariant> record(table.fields().size());
        record[size_t(key)] = storableValue(name, table.fields()[size_t(key)], row.key);
        for (const auto &[f, v] : values)
            record[size_t(f)] = v;
        appends.push_back(std::move(record));
    }
    try {
        table.change(edits, appends);
    } catch (const Error &e) {
        throw Error(QStringLiteral("无法保存到表 %1：%2").arg(name, e.message()));
    }
}

int execute(const Statement &s, const QString &dir)
{
    if (s.kind == Statement::Kind::Pack) {
        const QString path = tableFile(dir, s.table.name);
        try {
            return int(DbfTable::pack(path));
        } catch (const Error &e) {
            throw Error(e, QStringLiteral("无法整理表 %1：%2").arg(s.table.name, e.message()));
        }
    }
    // The table stays locked for the statement's whole run: no other
    // process changes it between the records read and the records written.
    DbfTable table = openTable(dir, s.table.name, nullptr,
                               s.isSelect() ? DbfTable::Access::Read : DbfTable::Access::Write);
    const TableSchema schema(table, s.table.name);
    expr::Expr where = s.where;
    if (!where.isNull())
        where.bind(schema);

    if (s.kind == Statement::Kind::Select)
        return int(selectRecords(table, where).size());

    struct Target {
        int field;
        expr::Expr value;
        const Assignment *assignment;
    };
    std::vector<Target> targets;
    for (const Assignment &a : s.assignments) {
        const int field = table.fieldIndex(a.column.name);
        if (field < 0)
            failAtName(s, a.column, QStringLiteral("表 %1 中没有列 %2").arg(s.table.name, a.column.name),
                       ErrorKind::NotFound);
        Target t{field, a.value, &a};
        t.value.bind(schema);
        targets.push_back(std::move(t));
    }

    const std::vector<quint32> records = selectRecords(table, where);
    // A write that fails names the table; a fault of the statement itself
    // (a value that does not fit, say) already names the statement.
    auto write = [&](const auto &apply) {
        try {
            apply();
        } catch (const Error &e) {
            throw Error(e, QStringLiteral("无法写入表 %1：%2").arg(s.table.name, e.message()));
        }
    };
    if (s.kind == Statement::Kind::Delete) {
        write([&] { table.markDeleted(records, true); });
        return int(records.size());
    }
    // UPDATE: every new value is computed and checked first, from the
    // records before the statement; then only the columns set are
    // written, the bytes of the others stay as they are.
    std::vector<std::pair<quint32, DbfTable::FieldValues>> rows;
    rows.reserve(records.size());
    RecordRow row(table);
    for (quint32 r : records) {
        row.setRecord(r);
        DbfTable::FieldValues values;
        values.reserve(targets.size());
        for (const Target &t : targets)
            values.emplace_back(t.field, storableValue(s, t.assignment->column, table.fields()[size_t(t.field)],
                                                       t.value.evaluate(row)));
        rows.emplace_back(r, std::move(values));
    }
    write([&] { table.writeFields(rows); }); // all records or none
    return int(records.size());
}

} // namespace store::sql
