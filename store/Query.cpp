#include "store/Query.h"

#include "store/Format.h"
#include "store/SqlTable.h"

#include <optional>
#include <unordered_map>

namespace store {

struct Query::Impl {
    QString objectName;
    QString directory;
    QString sql;

    State state = State::Inactive;
    std::shared_ptr<const sql::Statement> statement; // of the open SELECT
    QString tablePath;
    QString tableName;
    std::optional<DbfTable> table;  // the file as it was read by open()
    std::vector<int> columns;       // result column -> field index
    QStringList columnNames;
    std::vector<quint32> records;   // result row -> record number
    // Rows whose record was written by post(): their values as written
    // (one per table field), which the snapshot in `table` does not hold.
    std::unordered_map<int, std::vector<QVariant>> written;
    int current = -1;
    bool atEof = true;
    bool atBof = true;

    // Edit / Insert buffer, one value per table field.
    std::vector<QVariant> buffer;
    std::vector<bool> changed;

    // Messages name the table and the statement a user knows, never the
    // object name, which is the windows' (and the report layouts') own.
    void requireOpen(const char *what) const
    {
        if (state == State::Inactive)
            throw Error(QStringLiteral("查询没有打开，不能%1（语句 \"%2\"）").arg(QString::fromUtf8(what), sql));
    }

    int fieldIndexOf(const QString &name) const
    {
        for (size_t i = 0; i < columns.size(); ++i)
            if (columnNames[int(i)].compare(name, Qt::CaseInsensitive) == 0)
                return columns[i];
        return -1;
    }

    int requireField(const QString &name) const
    {
        const int f = fieldIndexOf(name);
        if (f < 0)
            throw Error(ErrorKind::NotFound, QStringLiteral("表 %1 的查询结果中没有列 %2").arg(tableName, name));
        return f;
    }

    QVariant rowValue(int row, int field) const
    {
        const auto it = written.find(row);
        if (it != written.end())
            return it->second[size_t(field)];
        return sql::cellValue(*table, records[size_t(row)], field);
    }

    std::vector<QVariant> blankRow() const { return std::vector<QVariant>(table->fields().size()); }

    void dropEdit()
    {
        if (state == State::Edit || state == State::Insert)
            state = State::Browse;
        buffer.clear();
        changed.clear();
    }

    void reset()
    {
        state = State::Inactive;
        statement.reset();
        table.reset();
        columns.clear();
        columnNames.clear();
        records.clear();
        written.clear();
        buffer.clear();
        changed.clear();
        current = -1;
        atEof = atBof = true;
    }
};

Query::Query(const QString &objectName) : d(std::make_unique<Impl>()) { d->objectName = objectName; }
Query::~Query() = default;

QString Query::objectName() const { return d->objectName; }
void Query::setObjectName(const QString &name) { d->objectName = name; }

void Query::setDirectory(const QString &dir)
{
    close();
    d->directory = dir;
}

QString Query::directory() const { return d->directory; }

void Query::close() { d->reset(); }

void Query::clearSql()
{
    close();
    d->sql.clear();
}

void Query::setSql(const QString &sql)
{
    close();
    d->sql = sql;
}

QString Query::sql() const { return d->sql; }

QString Query::tableName() const { return d->state == State::Inactive ? QString() : d->tableName; }

void Query::open()
{
    close();
    std::shared_ptr<const sql::Statement> s = sql::parse(d->sql);
    if (!s->isSelect())
        throw Error(QStringLiteral("语句 \"%1\" 不返回数据行，应当执行（execSql）而不是打开").arg(d->sql));
    QString path;
    DbfTable table = sql::openTable(d->directory, s->table.name, &path);

    std::vector<int> columns;
    QStringList names;
    if (s->allColumns) {
        for (size_t i = 0; i < table.fields().size(); ++i) {
            columns.push_back(int(i));
            names.push_back(table.fields()[i].name);
        }
    } else {
        for (const sql::NameAt &c : s->columns) {
            const int f = table.fieldIndex(c.name);
            if (f < 0)
                sql::failAtName(*s, c, table.missingField(c.name, s->table.name), ErrorKind::NotFound);
            columns.push_back(f);
            names.push_back(table.fields()[size_t(f)].name);
        }
    }
    expr::Expr where = s->where;
    if (!where.isNull())
        where.bindCondition(sql::TableSchema(table, s->table.name));
    std::vector<quint32> records = sql::selectRecords(table, where);
    // The statement is over: the rows are chosen (and a small table is held
    // whole), other programs may write again.
    table.unlock();

    d->statement = s;
    d->tablePath = path;
    d->tableName = s->table.name;
    d->table.emplace(std::move(table));
    d->columns = std::move(columns);
    d->columnNames = names;
    d->records = std::move(records);
    d->state = State::Browse;
    d->current = d->records.empty() ? -1 : 0;
    d->atEof = d->records.empty();
    d->atBof = true;
}

int Query::execSql()
{
    close();
    std::shared_ptr<const sql::Statement> s = sql::parse(d->sql);
    return sql::execute(*s, d->directory);
}

bool Query::isOpen() const { return d->state != State::Inactive; }
Query::State Query::state() const { return d->state; }

int Query::recordCount() const { return int(d->records.size()); }
int Query::recNo() const { return d->current; }

// Moving to another row leaves an unposted edit behind without writing it:
// nothing reaches the file but an explicit post().
void Query::first()
{
    d->dropEdit();
    d->current = d->records.empty() ? -1 : 0;
    d->atEof = d->records.empty();
    d->atBof = true;
}

void Query::next()
{
    d->dropEdit();
    if (d->records.empty()) {
        d->atEof = true;
        return;
    }
    if (d->current + 1 < int(d->records.size())) {
        ++d->current;
        d->atBof = false;
    } else {
        d->atEof = true;
    }
}

void Query::prior()
{
    d->dropEdit();
    if (d->current > 0) {
        --d->current;
        d->atEof = false;
    } else {
        d->atBof = true;
    }
}

void Query::last()
{
    d->dropEdit();
    d->current = int(d->records.size()) - 1;
    d->atEof = d->records.empty();
    d->atBof = d->records.empty();
}

void Query::moveTo(int row)
{
    d->dropEdit();
    if (d->records.empty()) {
        d->current = -1;
        d->atEof = d->atBof = true;
        return;
    }
    d->current = std::max(0, std::min(row, int(d->records.size()) - 1));
    d->atEof = false;
    d->atBof = d->current == 0;
}

bool Query::eof() const { return d->atEof; }
bool Query::bof() const { return d->atBof; }

QStringList Query::fieldNames() const { return d->columnNames; }

bool Query::hasField(const QString &name) const { return d->fieldIndexOf(name) >= 0; }

bool Query::isNumericField(const QString &name) const
{
    const int f = d->fieldIndexOf(name);
    return f >= 0 && d->table->fields()[size_t(f)].isNumeric();
}

QVariant Query::fieldByName(const QString &name) const
{
    d->requireOpen("读取列");
    const int f = d->requireField(name);
    if (d->state == State::Edit || d->state == State::Insert)
        return d->buffer[size_t(f)];
    if (d->current < 0)
        return QVariant();
    return d->rowValue(d->current, f);
}

QVariant Query::value(int row, const QString &name) const
{
    d->requireOpen("读取列");
    const int f = d->requireField(name);
    if ((d->state == State::Edit || d->state == State::Insert) && row == d->current)
        return d->buffer[size_t(f)];
    if (row < 0 || row >= int(d->records.size()))
        return QVariant();
    return d->rowValue(row, f);
}

void Query::edit()
{
    d->requireOpen("修改");
    if (d->state == State::Edit || d->state == State::Insert)
        return;
    if (d->records.empty()) {
        append();
        return;
    }
    d->buffer = d->blankRow();
    for (size_t f = 0; f < d->buffer.size(); ++f)
        d->buffer[f] = d->rowValue(d->current, int(f));
    d->changed.assign(d->buffer.size(), false);
    d->state = State::Edit;
}

void Query::append()
{
    d->requireOpen("添加行");
    d->dropEdit();
    d->buffer = d->blankRow();
    d->changed.assign(d->buffer.size(), false);
    d->state = State::Insert;
}

void Query::setFieldValue(const QString &name, const QVariant &value)
{
    d->requireOpen("修改");
    const int f = d->fieldIndexOf(name);
    if (f < 0 || !d->statement->allColumns)
        throw Error(ErrorKind::NotFound, QStringLiteral("不能修改列 %1：表 %2 中没有这一列，或查询不是 select *").arg(name, d->tableName));
    if (d->state == State::Browse)
        edit();
    const FieldDef &field = d->table->fields()[size_t(f)];
    d->buffer[size_t(f)] = sql::storableValue(d->tableName, field, value);
    d->changed[size_t(f)] = true;
}

void Query::post()
{
    if (d->state != State::Edit && d->state != State::Insert)
        return;
    if (!d->statement->allColumns)
        throw Error(QStringLiteral("只能保存 select * 查询的行（语句 \"%1\"）").arg(d->sql));
    // Written against the file as it is now, which other query objects may
    // have changed since open(): only the columns set here replace its values.
    DbfTable fresh = sql::loadTable(d->tablePath, d->tableName, DbfTable::Access::Write);
    if (fresh.fields().size() != d->table->fields().size())
        throw Error(ErrorKind::Conflict, QStringLiteral("无法保存到表 %1：文件 %2 的结构已被其他程序改变，请重新打开").arg(d->tableName, d->tablePath));
    std::vector<QVariant> values;
    try {
        if (d->state == State::Edit) {
            const quint32 record = d->records[size_t(d->current)];
            if (record >= fresh.recordCount() || fresh.isDeleted(record))
                throw Error(ErrorKind::Conflict, QStringLiteral("第 %1 条记录已被删除或移走，请重新打开").arg(record + 1));
            // Only the columns set are written: the bytes of the others stay
            // as the file holds them (a text another program wrote that
            // does not decode is not replaced by its decoded form).
            std::vector<std::pair<int, QVariant>> set;
            for (size_t f = 0; f < d->buffer.size(); ++f)
                if (d->changed[f])
                    set.emplace_back(int(f), d->buffer[f]);
            fresh.writeFields(record, set);
            values.resize(d->buffer.size());
            for (size_t f = 0; f < values.size(); ++f)
                values[f] = sql::cellValue(fresh, record, int(f));
            d->written[d->current] = values;
        } else {
            values = d->buffer;
            const quint32 record = fresh.appendRecord(values);
            d->records.push_back(record);
            d->current = int(d->records.size()) - 1;
            d->written[d->current] = values;
            d->atEof = false;
            d->atBof = d->current == 0;
        }
    } catch (const Error &e) {
        throw Error(e, QStringLiteral("无法保存到表 %1：%2").arg(d->tableName, e.message()));
    }
    d->buffer.clear();
    d->changed.clear();
    d->state = State::Browse;
}

void Query::cancel() { d->dropEdit(); }

bool Query::locate(const QString &column, const QString &text, bool caseInsensitive, bool partial)
{
    d->requireOpen("查找");
    const int f = d->requireField(column);
    const Qt::CaseSensitivity cs = caseInsensitive ? Qt::CaseInsensitive : Qt::CaseSensitive;
    const bool numeric = d->table->fields()[size_t(f)].isNumeric();
    for (int row = 0; row < int(d->records.size()); ++row) {
        const QVariant v = d->rowValue(row, f);
        QString stored;
        if (v.isValid() && !v.isNull())
            stored = numeric ? formatNumber(v.toDouble()) : v.toString();
        while (stored.endsWith(QLatin1Char(' ')))
            stored.chop(1);
        const bool hit = partial ? stored.startsWith(text, cs) : stored.compare(text, cs) == 0;
        if (hit) {
            d->dropEdit();
            d->current = row;
            d->atEof = false;
            d->atBof = row == 0;
            return true;
        }
    }
    return false;
}

} // namespace store
