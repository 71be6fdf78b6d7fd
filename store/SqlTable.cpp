#include "store/SqlTable.h"

#include "store/FieldCodec.h"
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

// Whether a number fits the field as the table writer stores it.
bool fitsField(const FieldDef &f, double d)
{
    if (!std::isfinite(d))
        return false;
    if (f.type == 'I')
        return d >= -2147483648.0 && d <= 2147483647.0;
    QByteArray text;
    return (f.type != 'N' && f.type != 'F') || codec::numberText(d, f.length, f.decimals, text);
}

Value::Kind kindOf(char type)
{
    switch (type) {
    case 'C': return Value::Kind::Text;
    case 'L': return Value::Kind::Bool;
    case 'D': return Value::Kind::Date;
    default: return Value::Kind::Number; // N F I B Y, and T as RecordRow gives it
    }
}

const char *kindText(Value::Kind k)
{
    switch (k) {
    case Value::Kind::Bool: return "逻辑值";
    case Value::Kind::Text: return "文字";
    case Value::Kind::Date: return "日期";
    default: return "数值";
    }
}

[[noreturn]] void mismatch(const QString &where, const FieldDef &f, const QString &value)
{
    throw Error(ErrorKind::Type, QStringLiteral("%1：列 %2 是%3，不能存入%4").arg(where, f.name, QString::fromUtf8(typeName(f.type)), value));
}

QVariant checked(const QString &where, const FieldDef &f, const Value &v, quint8 codePage)
{
    if (v.isNull())
        return QVariant();
    const bool fits = f.type == 'C' ? v.kind == Value::Kind::Text
                    : f.type == 'T' ? v.kind == Value::Kind::Date
                                    : v.kind == kindOf(f.type);
    if (!fits)
        mismatch(where, f, v.kind == Value::Kind::Text ? QStringLiteral("文字 \"%1\"").arg(codec::decode(codePage, v.text))
                                                       : v.toQString());
    switch (f.type) {
    case 'C':
        return codec::decode(codePage, v.text);
    case 'L':
        return v.flag;
    case 'D':
        return QDate::fromJulianDay(qint64(v.number));
    case 'T':
        return QDateTime(QDate::fromJulianDay(qint64(v.number)), QTime(0, 0));
    default:
        if (!fitsField(f, v.number))
            throw Error(ErrorKind::Range, QStringLiteral("%1：数值 %2 超出列 %3 的宽度（%4 位，%5 位小数）")
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
#ifndef Q_OS_WIN
    if (QFileInfo(exact).isFile())
        return exact;
#else
    // Windows finds a file whatever the case of its name: there the name
    // as it lies on the disk is looked up below, so that a table written
    // back keeps its own name (RESULT.DBF stays RESULT.DBF). Asking the
    // file layer first puts back a table that a kill left aside.
    fileio::pathError(exact);
#endif
    if (!QFileInfo(dir).isDir()) {
        // A symlink loop, a file where a folder should be, no permission:
        // each is told as what it is, "missing" only when it is.
        const fileio::Status error = fileio::pathError(dir);
        if (!error.ok() && error.code != fileio::Errc::NotFound)
            throw Error(ErrorKind::Io, QStringLiteral("无法打开表 %1：无法打开目录 %2：%3").arg(name, dir, fileio::reason(error)));
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
    // Not on Windows, which would find the file under any case of its name
    // (see tableFile).
#ifdef Q_OS_WIN
    constexpr bool exactFirst = false;
#else
    constexpr bool exactFirst = true;
#endif
    const QString exact = withSlash(dir) + name + QStringLiteral(".dbf");
    if (exactFirst && !dir.isEmpty()) {
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
        switch (codec::parseNumber(QByteArrayView(p, f.length), d)) {
        case codec::Parsed::Number: return Value::num(d);
        case codec::Parsed::Blank: return Value::null();
        case codec::Parsed::Other: break; // the reader names the fault
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

Value::Kind TableSchema::columnKind(int index) const { return kindOf(m_table.fields()[size_t(index)].type); }

QVariant storableValue(const Statement &statement, const NameAt &column, const FieldDef &field, const Value &v,
                       quint8 codePage)
{
    return checked(QStringLiteral("语句 \"%1\" 无法执行（第 %2 个字符处的列 %3）").arg(statement.text).arg(column.pos + 1).arg(column.name),
                   field, v, codePage);
}

// A caller's value is taken as the table writer takes it (store/FieldCodec):
// typed text for a figure, a logical or a date, blank for no value.
QVariant storableValue(const QString &table, const FieldDef &field, const QVariant &v)
{
    if (!v.isValid() || v.isNull())
        return QVariant();
    const QString where = QStringLiteral("无法写入表 %1").arg(table);
    const bool typed = v.typeId() == QMetaType::QString;
    const QString s = typed ? v.toString().trimmed() : QString();
    if (typed && field.type != 'C' && s.isEmpty())
        return QVariant();
    switch (field.type) {
    case 'C':
        if (v.typeId() == QMetaType::Bool || v.typeId() == QMetaType::QDate || v.typeId() == QMetaType::QDateTime)
            mismatch(where, field, fromVariant(v).toQString());
        return v.toString(); // a figure written into a text column keeps its digits
    case 'L': {
        if (!typed)
            return checked(where, field, fromVariant(v), codec::kGbkMark);
        const std::optional<bool> b = codec::parseLogical(s);
        if (!b)
            throw Error(ErrorKind::Type, QStringLiteral("表 %1 的列 %2 是逻辑值，\"%3\" 不是逻辑值（应为 T 或 F）").arg(table, field.name, s));
        return *b;
    }
    case 'D':
    case 'T': {
        if (!typed)
            return checked(where, field, fromVariant(v), codec::kGbkMark);
        const QDate d = codec::parseDate(s);
        if (!d.isValid())
            throw Error(ErrorKind::Type, QStringLiteral("表 %1 的列 %2 是日期，\"%3\" 不是日期").arg(table, field.name, s));
        return checked(where, field, Value::date(d.toJulianDay()), codec::kGbkMark);
    }
    default: {
        if (!typed)
            return checked(where, field, fromVariant(v), codec::kGbkMark);
        const std::optional<double> d = codec::parseNumberText(s);
        if (!d)
            throw Error(ErrorKind::Type, QStringLiteral("表 %1 的列 %2 是数值，\"%3\" 不是数").arg(table, field.name, s));
        return checked(where, field, Value::num(*d), codec::kGbkMark);
    }
    }
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
            throw Error(ErrorKind::NotFound, QStringLiteral("无法写入表 %1：表中没有列 %2").arg(name, c));
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
            throw Error(ErrorKind::Range, QStringLiteral("无法写入表 %1：键值 %2 中同时含有两种引号").arg(name, row.key));
        expr::Expr where =
            parse(QStringLiteral("select * from %1 where %2=%3%4%3").arg(name, keyColumn, quote, row.key))->where;
        where.bindCondition(schema);
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
        throw Error(e, QStringLiteral("无法保存到表 %1：%2").arg(name, e.message()));
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
        where.bindCondition(schema);

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
            failAtName(s, a.column, table.missingField(a.column.name, s.table.name), ErrorKind::NotFound);
        Target t{field, a.value, &a};
        t.value.bind(schema);
        // A value of the wrong kind fails here, whether or not a row is selected.
        const FieldDef &f = table.fields()[size_t(field)];
        const Value::Kind k = t.value.resultKind();
        if (k != Value::Kind::Null && k != (f.type == 'T' ? Value::Kind::Date : kindOf(f.type)))
            failAtName(s, a.column, QStringLiteral("列 %1 是%2，不能存入%3")
                                        .arg(f.name, QString::fromUtf8(typeName(f.type)), QString::fromUtf8(kindText(k))),
                       ErrorKind::Type);
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
    // written, the bytes of the others stay as they are. The values are
    // not kept: the write computes them again, record by record, from the
    // same records as they still are (a whole-table update of millions of
    // records needs no memory per record but its number).
    RecordRow row(table);
    auto valuesOf = [&](quint32 r) {
        row.setRecord(r);
        DbfTable::FieldValues values;
        values.reserve(targets.size());
        for (const Target &t : targets)
            values.emplace_back(t.field, storableValue(s, t.assignment->column, table.fields()[size_t(t.field)],
                                                       t.value.evaluate(row), table.header().codePageMark));
        return values;
    };
    for (quint32 r : records)
        valuesOf(r);
    write([&] { table.writeFields(records, valuesOf); }); // all records or none
    return int(records.size());
}

} // namespace store::sql
