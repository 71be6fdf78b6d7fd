#include "centre/Collect.h"

#include "centre/Sha256.h"
#include "centre/SqlUtil.h"
#include "store/Catalogue.h"
#include "store/FieldCodec.h"
#include "store/SqlTable.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSqlDriver>
#include <QSysInfo>
#include <QStringDecoder>
#include <QThread>

#include <QScopeGuard>

#include <sqlite3.h>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <array>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <tuple>

namespace centre {

namespace cat = store::catalogue;

namespace {

// An upload file holds five rows of a few hundred bytes; anything far larger
// is not one, and is refused before it is read into memory.
constexpr qint64 kMaxFileSize = 4 * 1024 * 1024;

// The last failure on an SQLite connection as the one error shape, its kind
// from the extended result code and the system's error.
Error liteError(const Database &db, sqlite3 *handle)
{
    const int code = sqlite3_extended_errcode(handle);
    const int system = sqlite3_system_errno(handle);
    return Error(detail::sqliteKind(code, system),
                 QStringLiteral("数据库“%1”出错：%2")
                     .arg(db.shown(), detail::reasonText(code, QString::fromUtf8(sqlite3_errmsg(handle)), system)));
}

// A file that is no sound declaration: why it is refused.
[[noreturn]] void refuseFile(const QString &reason) { throw Error(store::ErrorKind::CorruptFile, reason); }

// Text that decodes as GBK without a fault. One decoder serves the thread:
// opening a converter costs more than decoding a few hundred bytes.
bool validGbk(QByteArrayView bytes)
{
    // Bytes below 0x80 are GBK's own single-byte characters.
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x80; }))
        return true;
#ifdef Q_OS_WIN
    // Qt has no GBK converter on Windows: the system's code page 936 tells.
    return store::codec::decodesWhole(store::codec::kGbkMark, bytes);
#else
    thread_local QStringDecoder decoder("GBK", QStringConverter::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        // The error stays with the decoder (resetState keeps it for ICU's
        // converters): the next text gets a fresh one.
        decoder = QStringDecoder("GBK", QStringConverter::Flag::Stateless);
        return false;
    }
    // A byte GBK does not define (0xFF, 0x80) comes out as a private-use
    // character, which no hospital's text holds: it is a fault too.
    for (const QChar c : text)
        if (c == QChar::ReplacementCharacter || (c.unicode() >= 0xE000 && c.unicode() <= 0xF8FF))
            return false;
    return true;
#endif
}

// The project code a file's name gives: "1006SJSB.dbf" -> "1006"; empty for
// a name without the upload suffix.
QString codeOfName(const QString &fileName)
{
    static const QLatin1String suffix("SJSB.dbf");
    if (!fileName.endsWith(suffix, Qt::CaseInsensitive))
        return QString();
    return fileName.left(fileName.size() - suffix.size()).trimmed();
}

// Who collects: the database user on PostgreSQL (the one the server
// knows), the system's user on SQLite.
QString systemUser()
{
    for (const char *name : {"USER", "USERNAME", "LOGNAME"})
        if (const QString user = qEnvironmentVariable(name); !user.isEmpty())
            return user;
    return QString();
}

QString typeText(const store::FieldDef &f)
{
    return f.decimals > 0 ? QStringLiteral("%1(%2,%3)").arg(QChar::fromLatin1(f.type)).arg(f.length).arg(f.decimals)
                          : QStringLiteral("%1(%2)").arg(QChar::fromLatin1(f.type)).arg(f.length);
}

// What a good upload file gives.
struct Parsed {
    QString code;
    QString yydm;
    QString flag;
    QDate tableDate; // the table's own last-update date, when set
    std::array<std::array<std::optional<double>, 59>, 5> figures;
    struct Hit { int period; QString label; QString text; };
    std::vector<Hit> findings;
};

// The rules' view of one row of an upload file: its figures as collect has
// already read them for storing (blank or unreadable ones the same as the
// table gives them: null, or the file refused before any rule runs), every
// other column from the table. The rules name the same figures again and
// again; reading each from its digits every time was most of their cost.
class FigureRow : public store::expr::Row {
public:
    FigureRow(const store::DbfTable &table, const std::vector<int> &indicatorOfField)
        : m_row(table), m_indicatorOf(indicatorOfField)
    {
    }
    void setRecord(quint32 record, const std::array<std::optional<double>, 59> &figures)
    {
        m_row.setRecord(record);
        m_figures = &figures;
    }
    store::expr::Value column(int index) const override
    {
        const int i = m_indicatorOf[std::size_t(index)];
        if (i < 0)
            return m_row.column(index);
        const std::optional<double> &v = (*m_figures)[std::size_t(i)];
        return v ? store::expr::Value::num(*v) : store::expr::Value::null();
    }

private:
    store::sql::RecordRow m_row;
    const std::vector<int> &m_indicatorOf;
    const std::array<std::optional<double>, 59> *m_figures = nullptr;
};

// One file read, hashed and checked, waiting to be stored.
struct Prepared {
    FileOutcome outcome;           // path; when refused, the reason
    bool refused = false;          // refused before its bytes were read
    QString sha, fileName, sourcePath;
    qint64 size = 0;
    QDateTime mtime;
    QString mtimeText, collectedAt; // as stored; formatting is not free
    std::optional<Parsed> parsed;  // a readable upload file
    std::optional<Error> fault;    // or why it is not one (its message is the reason shown)
};

} // namespace

// A prepared statement of collect's. On SQLite it runs straight through the
// driver's own handle: the same statement text and the same stored types as
// Qt's driver (integers, doubles, UTF-16 texts), without Qt's per-value
// bookkeeping, which otherwise costs more than the statement itself. On
// PostgreSQL it is a QSqlQuery.
class Statement {
public:
    Statement() = default;
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;
    ~Statement()
    {
        if (m_lite)
            sqlite3_finalize(m_lite);
    }

    void prepare(Database &db, sqlite3 *lite, const QString &sql)
    {
        m_db = &db;
        m_handle = lite;
        if (lite) {
            const QByteArray text = sql.toUtf8();
            if (sqlite3_prepare_v2(lite, text.constData(), int(text.size()), &m_lite, nullptr) != SQLITE_OK)
                fail();
        } else {
            m_query = detail::prepare(db, sql);
        }
    }

    // Binds values by position (from 0) and runs the statement; row() then
    // tells whether it gave a row. Raises centre::Error with the database's
    // message.
    void exec(std::initializer_list<QVariant> values)
    {
        if (!m_lite) {
            detail::exec(*m_db, m_query, values);
            m_row = m_query.next();
            return;
        }
        sqlite3_reset(m_lite);
        int i = 0;
        for (const QVariant &v : values)
            bindLite(++i, v);
        step();
    }
    void bind(int index, qint64 v) { m_lite ? void(sqlite3_bind_int64(m_lite, index + 1, v)) : m_query.bindValue(index, v); }
    void bind(int index, std::optional<double> v)
    {
        if (m_lite)
            v ? sqlite3_bind_double(m_lite, index + 1, *v) : sqlite3_bind_null(m_lite, index + 1);
        else
            m_query.bindValue(index, v ? QVariant(*v) : QVariant(QMetaType::fromType<double>()));
    }
    // Runs with the values bound one by one.
    void exec()
    {
        if (!m_lite) {
            detail::exec(*m_db, m_query);
            m_row = m_query.next();
            return;
        }
        step();
    }
    bool row() const { return m_row; }
    qint64 int64(int column) const
    {
        return m_lite ? sqlite3_column_int64(m_lite, column) : m_query.value(column).toLongLong();
    }
    QString text(int column) const
    {
        if (!m_lite)
            return m_query.value(column).toString();
        const void *p = sqlite3_column_text16(m_lite, column);
        return QString(static_cast<const QChar *>(p), sqlite3_column_bytes16(m_lite, column) / 2);
    }
    // Lets go of the result (on SQLite a statement left on a row would hold
    // its read lock).
    void finish()
    {
        m_row = false;
        if (m_lite)
            sqlite3_reset(m_lite);
        else
            m_query.finish();
    }

private:
    void bindLite(int i, const QVariant &v)
    {
        switch (v.typeId()) {
        case QMetaType::Int:
        case QMetaType::LongLong:
            sqlite3_bind_int64(m_lite, i, v.toLongLong());
            break;
        case QMetaType::Double:
            sqlite3_bind_double(m_lite, i, v.toDouble());
            break;
        default: {
            const QString text = v.toString();
            sqlite3_bind_text16(m_lite, i, text.utf16(), int(text.size() * 2), SQLITE_TRANSIENT);
            break;
        }
        }
    }
    void step()
    {
        const int rc = sqlite3_step(m_lite);
        if (rc == SQLITE_ROW) {
            m_row = true;
            return;
        }
        m_row = false;
        if (rc != SQLITE_DONE)
            fail();
        sqlite3_reset(m_lite);
    }
    [[noreturn]] void fail()
    {
        const Error error = liteError(*m_db, m_handle);
        if (m_lite)
            sqlite3_reset(m_lite);
        throw error;
    }

    Database *m_db = nullptr;
    sqlite3 *m_handle = nullptr;
    sqlite3_stmt *m_lite = nullptr;
    QSqlQuery m_query;
    bool m_row = false;
};

struct Collector::Impl {
    Database &db;
    const Reference &ref;
    std::vector<int> indicatorFields; // template field index of each indicator
    std::vector<int> indicatorOfField; // the other way round; -1 for a field that holds no figure
    int yydmField = -1, ndField = -1, flagField = -1;
    sqlite3 *lite = nullptr; // the connection's own handle on SQLite
    QString collectedBy, host;
    Statement bySha, currentOf, insertFile, insertFigures, insertFinding, setCurrent, insertUnknown, insertRefusal;
    std::vector<std::pair<std::string, sqlite3_stmt *>> control; // run()'s statements, prepared

    ~Impl()
    {
        for (const auto &c : control)
            sqlite3_finalize(c.second);
    }

    Impl(Database &d, const Reference &r) : db(d), ref(r)
    {
        const auto &fields = ref.templateFields();
        const auto find = [&](const QString &name) {
            for (int i = 0; i < int(fields.size()); ++i)
                if (fields[std::size_t(i)].name.compare(name, Qt::CaseInsensitive) == 0)
                    return i;
            throw Error(store::ErrorKind::CorruptFile, QStringLiteral("申报表模板 sjsbb 缺少列 %1。").arg(name));
        };
        yydmField = find(QStringLiteral("yydm"));
        ndField = find(QStringLiteral("nd"));
        flagField = find(QStringLiteral("bln_zkjy"));
        for (const auto &ind : cat::indicators())
            indicatorFields.push_back(find(ind.field));
        indicatorOfField.assign(fields.size(), -1);
        for (int i = 0; i < int(indicatorFields.size()); ++i) {
            const int f = indicatorFields[std::size_t(i)];
            if (fields[std::size_t(f)].type == 'N' || fields[std::size_t(f)].type == 'F')
                indicatorOfField[std::size_t(f)] = i;
        }

        const QVariant handle = db.isPostgres() ? QVariant() : db.connection().driver()->handle();
        if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
            lite = *static_cast<sqlite3 *const *>(handle.constData());

        host = QSysInfo::machineHostName();
        collectedBy = systemUser();
        if (db.isPostgres()) {
            QSqlQuery who(db.connection());
            if (who.exec(QStringLiteral("SELECT current_user")) && who.next())
                collectedBy = who.value(0).toString();
        }
        if (collectedBy.isNull())
            collectedBy = QStringLiteral("");
        if (host.isNull())
            host = QStringLiteral("");

        bySha.prepare(db, lite, QStringLiteral("SELECT id FROM files WHERE sha256 = ?"));
        currentOf.prepare(db, lite, QStringLiteral("SELECT id, declared_on, mtime FROM files WHERE project = ? AND is_current = 1"));
        insertFile.prepare(db, lite, QStringLiteral(
            "INSERT INTO files (sha256, project, yydm, name, size, mtime, collected_at, hospital_flag, findings, "
            "mismatch, is_current, source_path, collected_by, host, date_source, declared_on) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id"));
        insertRefusal.prepare(db, lite, QStringLiteral(
            "INSERT INTO refusals (sha256, path, name, project, reason, collected_at, collected_by, host) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (sha256, path) DO UPDATE SET reason = excluded.reason, "
            "collected_at = excluded.collected_at, collected_by = excluded.collected_by, host = excluded.host"));
        // The five periods in one statement: one round trip per file.
        QStringList cols, marks, rowsMarks;
        for (const auto &ind : cat::indicators()) {
            cols << ind.field;
            marks << QStringLiteral("?");
        }
        for (int period = 0; period < 5; ++period)
            rowsMarks << QStringLiteral("(?, ?, %1)").arg(marks.join(QLatin1Char(',')));
        insertFigures.prepare(db, lite, QStringLiteral("INSERT INTO figures (file_id, period, %1) VALUES %2")
                                            .arg(cols.join(QLatin1Char(',')), rowsMarks.join(QLatin1Char(','))));
        insertFinding.prepare(db, lite, QStringLiteral(
            "INSERT INTO findings (file_id, seq, period, label, text) VALUES (?, ?, ?, ?, ?)"));
        setCurrent.prepare(db, lite, QStringLiteral("UPDATE files SET is_current = ? WHERE id = ?"));
        insertUnknown.prepare(db, lite, QStringLiteral(
            "INSERT INTO unknown_files (sha256, project, name, size, mtime, collected_at) VALUES (?, ?, ?, ?, ?, ?) "
            "ON CONFLICT (sha256) DO NOTHING"));
    }

    // Checks and evaluates one file's table; a fault raises the reason the
    // file is refused (CorruptFile).
    Parsed parse(const store::DbfTable &table) const
    {
        const auto &want = ref.templateFields();
        const auto &have = table.fields();
        if (have.size() != want.size())
            refuseFile(QStringLiteral("表结构与申报表模板不符：有 %1 列，模板为 %2 列").arg(have.size()).arg(want.size()));
        for (std::size_t i = 0; i < want.size(); ++i) {
            const store::FieldDef &w = want[i], &h = have[i];
            if (w.name != h.name && w.name.compare(h.name, Qt::CaseInsensitive) != 0)
                refuseFile(QStringLiteral("表结构与申报表模板不符：第 %1 列为 %2，应为 %3").arg(i + 1).arg(h.name, w.name));
            // N and F hold the same digits; FoxPro writes either for a figure.
            const auto digits = [](char t) { return t == 'N' || t == 'F'; };
            const bool sameType = w.type == h.type || (digits(w.type) && digits(h.type));
            if (!sameType || w.length != h.length || w.decimals != h.decimals)
                refuseFile(QStringLiteral("表结构与申报表模板不符：列 %1 为 %2，应为 %3").arg(w.name, typeText(h), typeText(w)));
        }

        Parsed p;
        std::vector<quint32> rows; // live records in record order
        std::vector<const cat::Period *> rowPeriods; // the period of each
        std::array<bool, 5> seen{};
        for (quint32 r = 0; r < table.recordCount(); ++r) {
            if (table.isDeleted(r))
                continue;
            rows.push_back(r);
            const QString nd = table.decodeText(table.rawView(r, ndField)).trimmed();
            const cat::Period *period = cat::periodByCode(nd);
            if (!period)
                refuseFile(QStringLiteral("第 %1 行的时期代码“%2”不是五个申报时期之一").arg(r + 1).arg(nd));
            rowPeriods.push_back(period);
            if (seen[std::size_t(period->index - 1)])
                refuseFile(QStringLiteral("时期 %1 出现了两次").arg(period->label));
            seen[std::size_t(period->index - 1)] = true;
            for (int f : {yydmField, flagField})
                if (!validGbk(table.rawView(r, f)))
                    refuseFile(QStringLiteral("第 %1 行的 %2 列不是有效的 GBK 文字").arg(r + 1).arg(want[std::size_t(f)].name));
            for (int i = 0; i < int(indicatorFields.size()); ++i) {
                double v = 0;
                if (table.number(r, indicatorFields[std::size_t(i)], v))
                    p.figures[std::size_t(period->index - 1)][std::size_t(i)] = v;
            }
        }
        for (const cat::Period &period : cat::periods())
            if (!seen[std::size_t(period.index - 1)])
                refuseFile(QStringLiteral("缺少时期 %1 的数据行（应有五个时期各一行）").arg(period.label));

        p.yydm = table.value(rows.front(), yydmField).toString().trimmed();
        if (p.yydm.isEmpty())
            refuseFile(QStringLiteral("申报表无数据：第一行的项目为空"));
        p.code = p.yydm.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
        p.flag = table.value(rows.front(), flagField).toString().trimmed().toUpper();
        // One declaration is one project with one flag: a row naming another
        // project, or carrying another flag, makes the file two things.
        for (quint32 r : rows) {
            const QString code = table.value(r, yydmField).toString().trimmed().section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
            if (!code.isEmpty() && code != p.code)
                refuseFile(QStringLiteral("各行的项目不一致：第 %1 行为项目 %2，第 %3 行为项目 %4")
                                  .arg(rows.front() + 1).arg(p.code).arg(r + 1).arg(code));
            const QString flag = table.value(r, flagField).toString().trimmed().toUpper();
            if (flag != p.flag)
                refuseFile(QStringLiteral("各行的医院标记不一致：第 %1 行为“%2”，第 %3 行为“%4”")
                                  .arg(rows.front() + 1).arg(p.flag).arg(r + 1).arg(flag));
        }
        const QDate date = table.header().lastUpdate;
        if (date.isValid() && date.year() >= 1990)
            p.tableDate = date;

        // The delivered rules, as the hospital's check runs them: rule by
        // rule, and within a rule the selected rows in record order.
        // Each row's figures are those read above, once per file.
        FigureRow row(table, indicatorOfField);
        for (std::size_t k = 0; k < ref.rules().size(); ++k) {
            const Rule &rule = ref.rules()[k];
            for (std::size_t n = 0; n < rows.size(); ++n) {
                const quint32 r = rows[n];
                const cat::Period &period = *rowPeriods[n];
                row.setRecord(r, p.figures[std::size_t(period.index - 1)]);
                bool holds = false;
                try {
                    holds = rule.expr.holds(row);
                } catch (const store::Error &e) {
                    refuseFile(QStringLiteral("第 %1 条规则无法在此文件上执行：%2").arg(k + 1).arg(e.message()));
                }
                if (holds)
                    p.findings.push_back({period.index, period.label, rule.text});
            }
        }
        return p;
    }

    void storeFigures(qint64 id, const Parsed &p)
    {
        int slot = 0;
        for (int period = 0; period < 5; ++period) {
            insertFigures.bind(slot++, id);
            insertFigures.bind(slot++, qint64(period + 1));
            for (const auto &v : p.figures[std::size_t(period)])
                insertFigures.bind(slot++, v);
        }
        insertFigures.exec();
        insertFigures.finish();
    }

    // Everything about one file that needs no database: read, hash, check
    // and evaluate. Touches only the file and the (read-only) reference, so
    // worker threads prepare the next files while this thread stores.
    Prepared prepare(const QString &path) const
    {
        Prepared pr;
        FileOutcome &out = pr.outcome;
        out.path = path;
        const QFileInfo info(path);
        pr.fileName = info.fileName();
        pr.sourcePath = info.absoluteFilePath();
        const auto refuse = [&](const QString &reason) {
            out.kind = FileOutcome::Kind::Refused;
            out.reason = reason;
            pr.refused = true;
            pr.collectedAt = detail::timeText(QDateTime::currentDateTimeUtc());
            return pr;
        };
#ifdef Q_OS_UNIX
        // The usual case in a few system calls: one open, one status, the
        // reads. (QFileInfo and QFile asked the same status five times and
        // the time zone twice for every file.) Anything unusual goes the
        // portable way below, which gives the reasons.
        if (std::optional<QByteArray> bytes = readRegularFile(path, pr); bytes) {
            finishPrepare(pr, *bytes);
            return pr;
        }
#endif
        if (!info.exists())
            return refuse(QStringLiteral("文件不存在"));
        if (!info.isFile())
            return refuse(QStringLiteral("不是文件"));
        if (info.size() > kMaxFileSize)
            return refuse(QStringLiteral("文件过大（%1 字节），不是上报文件").arg(info.size()));
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return refuse(QStringLiteral("无法读取：%1").arg(file.errorString()));
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return refuse(QStringLiteral("无法读取：%1").arg(file.errorString()));
        pr.mtime = info.lastModified().toUTC();
        pr.size = info.size();
        finishPrepare(pr, bytes);
        return pr;
    }

    // Hashes, checks and evaluates a file read whole (mtime and size set).
    void finishPrepare(Prepared &pr, const QByteArray &bytes) const
    {
        pr.sha = QString::fromLatin1(sha256Hex(bytes));
        pr.mtimeText = detail::timeText(pr.mtime);
        pr.collectedAt = detail::timeText(QDateTime::currentDateTimeUtc());
        std::optional<store::DbfTable> table;
        try {
            table.emplace(store::DbfTable::fromBytes(bytes, pr.fileName));
        } catch (const store::Error &e) {
            pr.fault = Error(e, QStringLiteral("不是可读的 DBF 表：%1").arg(e.message()));
            return;
        }
        try {
            pr.parsed = parse(*table);
        } catch (const store::Error &e) {
            pr.fault = e;
        }
    }

#ifdef Q_OS_UNIX
    // A regular file of upload size read whole, with its time and size set
    // in pr; nothing when it is anything else or a call failed.
    static std::optional<QByteArray> readRegularFile(const QString &path, Prepared &pr)
    {
        const QByteArray name = QFile::encodeName(path);
        const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return std::nullopt;
        const auto closeFile = qScopeGuard([fd] { ::close(fd); });
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxFileSize)
            return std::nullopt;
        // One byte more than its size is asked for: a regular file that
        // gives less is read to its end, without a read that finds nothing
        // more (a call for every file). One that gives it all has grown
        // since, and what is there is read.
        QByteArray bytes(qsizetype(st.st_size) + 1, Qt::Uninitialized);
        qsizetype have = 0;
        for (;;) {
            if (have == bytes.size())
                bytes.resize(have + 4096);
            const std::size_t asked = std::size_t(bytes.size() - have);
            const ssize_t n = ::read(fd, bytes.data() + have, asked);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return std::nullopt;
            }
            have += n;
            if (have > kMaxFileSize)
                return std::nullopt;
            if (std::size_t(n) < asked)
                break;
        }
        bytes.truncate(have);
        // The same instant as QFileInfo::lastModified: milliseconds.
        pr.mtime = QDateTime::fromMSecsSinceEpoch(qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000,
                                                  Qt::UTC);
        pr.size = qint64(st.st_size);
        return bytes;
    }
#endif

    FileOutcome collect(const QString &path)
    {
        const Prepared pr = prepare(path);
        Batch batch(*this);
        FileOutcome out = store(pr);
        batch.commit();
        syncLog();
        return out;
    }

    // Runs a statement that takes no values and gives no rows (transaction
    // control). On PostgreSQL it cannot be a prepared statement.
    // On SQLite each is prepared once (control): parsing "SAVEPOINT one_file"
    // and its release anew for every file cost more than running them.
    void run(const char *sql)
    {
        if (lite) {
            sqlite3_stmt *statement = nullptr;
            for (const auto &[text, prepared] : control)
                if (text == sql) {
                    statement = prepared;
                    break;
                }
            int rc = SQLITE_OK;
            if (!statement) {
                rc = sqlite3_prepare_v2(lite, sql, -1, &statement, nullptr);
                if (rc == SQLITE_OK)
                    control.emplace_back(sql, statement);
            }
            if (rc == SQLITE_OK)
                rc = sqlite3_step(statement);
            if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
                const Error error = liteError(db, lite);
                if (statement)
                    sqlite3_reset(statement);
                throw error;
            }
            sqlite3_reset(statement);
            return;
        }
        QSqlQuery q(db.connection());
        if (!q.exec(QString::fromLatin1(sql)))
            throw detail::statementError(db, q.lastError());
    }

    // Puts what this collect committed on the disk before it returns. With
    // synchronous=NORMAL SQLite syncs its log only at a checkpoint, and the
    // close of the last connection makes one; but while another reviewer
    // (or the window) has the database open, closing makes none. So the
    // collect ends with a checkpoint of its own: it syncs the log, copies it
    // into the database file and syncs that, which the close then need not
    // do again. Where a reader still holds part of the log, one commit with
    // synchronous=FULL syncs the whole log instead.
    void syncLog()
    {
        if (!lite)
            return; // PostgreSQL: a commit is on the server's disk
        int logged = 0, copied = 0;
        if (sqlite3_wal_checkpoint_v2(lite, nullptr, SQLITE_CHECKPOINT_PASSIVE, &logged, &copied) == SQLITE_OK
            && copied == logged)
            return;
        run("PRAGMA synchronous=FULL");
        const auto normal = qScopeGuard([this] { sqlite3_exec(lite, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr); });
        Batch batch(*this);
        run("UPDATE schema_version SET version = version");
        batch.commit();
    }

    // On SQLite files are stored a batch at a time in one transaction, each
    // file in a savepoint of its own: a file that fails takes back only its
    // own rows, and the batch is committed once. A commit per file wrote the
    // same index pages to SQLite's log again for every file. The transaction
    // takes the write lock at its start (waiting for another reviewer's
    // batch), so that it never has to give up half-way.
    class Batch {
    public:
        explicit Batch(Impl &impl) : m(impl) { m.run(m.lite ? "BEGIN IMMEDIATE" : "BEGIN"); }
        ~Batch()
        {
            if (!m_done) {
                try {
                    m.run("ROLLBACK");
                } catch (const Error &) {
                    // The transaction is already gone with the connection's failure.
                }
            }
        }
        void commit()
        {
            m_done = true;
            m.run("COMMIT");
        }

    private:
        Impl &m;
        bool m_done = false;
    };

    // One file's changes inside the batch: released when the file is
    // stored, rolled back when storing it failed half-way.
    class FileScope {
    public:
        explicit FileScope(Impl &impl) : m(impl) { m.run("SAVEPOINT one_file"); }
        ~FileScope()
        {
            if (m_released)
                return;
            try {
                m.run("ROLLBACK TO SAVEPOINT one_file");
                m.run("RELEASE SAVEPOINT one_file");
            } catch (const Error &) {
                // The batch's rollback takes everything back.
            }
        }
        void release()
        {
            m.run("RELEASE SAVEPOINT one_file");
            m_released = true;
        }

    private:
        Impl &m;
        bool m_released = false;
    };

    // Whether the batch's transaction is still open. SQLite ends it by
    // itself on some failures (a full disk, an I/O error); the files stored
    // before in the batch are gone with it then.
    bool inTransaction() const { return !lite || !sqlite3_get_autocommit(lite); }

    // Stores a prepared file in its own savepoint of the running Batch (or
    // finds it unchanged, or refuses it). Runs on the database's thread, in
    // the files' order.
    FileOutcome store(const Prepared &pr)
    {
        FileOutcome out = pr.outcome;
        FileScope scope(*this);
        // Every refusal is kept: what was refused, from where, why and when.
        const auto refuse = [&](const QString &reason, const QString &project) {
            out.kind = FileOutcome::Kind::Refused;
            out.reason = reason;
            // A text never read is empty, not NULL, for PostgreSQL.
            const auto text = [](const QString &t) { return t.isNull() ? QStringLiteral("") : t; };
            insertRefusal.exec({text(pr.sha), text(pr.sourcePath), text(pr.fileName), text(project), text(reason),
                                text(pr.collectedAt), text(collectedBy), text(host)});
            scope.release();
            return out;
        };
        const QString nameCode = codeOfName(pr.fileName);
        if (pr.refused)
            return refuse(out.reason, nameCode);
        const QString &sha = pr.sha;

        bySha.exec({sha});
        if (bySha.row()) {
            bySha.finish();
            out.kind = FileOutcome::Kind::Unchanged;
            scope.release();
            return out;
        }
        bySha.finish();

        // A file already stored is unchanged even when it would now be
        // refused: the same order of tests as one file at a time.
        if (pr.fault)
            return refuse(pr.fault->message(), nameCode);
        const Parsed &p = *pr.parsed;
        out.project = p.code;
        out.findings = int(p.findings.size());
        out.mismatch = p.flag == QLatin1String("Y") && !p.findings.empty();
        const QString &now = pr.collectedAt;

        // A file is what its name says: 1006SJSB.dbf holding project 1007
        // would otherwise silently become 1007's declaration.
        if (!nameCode.isEmpty() && nameCode != p.code)
            return refuse(QStringLiteral("文件名表明是项目 %1，表中却是项目 %2").arg(nameCode, p.code), nameCode);

        if (!ref.project(p.code)) {
            insertUnknown.exec({sha, p.code, pr.fileName, pr.size, pr.mtimeText, now});
            return refuse(QStringLiteral("项目编码“%1”不在项目列表中").arg(p.code), p.code);
        }

        // The declaration's date: the table's own, the file's time otherwise.
        const QString declaredOn = (p.tableDate.isValid() ? p.tableDate : pr.mtime.date()).toString(Qt::ISODate);
        const QString dateSource = p.tableDate.isValid() ? QStringLiteral("table") : QStringLiteral("file");

        currentOf.exec({p.code});
        std::optional<qint64> previous;
        QString previousDate, previousTime;
        if (currentOf.row()) {
            previous = currentOf.int64(0);
            previousDate = currentOf.text(1);
            previousTime = currentOf.text(2);
        }
        currentOf.finish();

        // The newer declaration by its date is current; on the same date the
        // newer file by its time, and on a tie the one collected last. The
        // old current one steps down first: the database keeps one current
        // declaration per project.
        const bool becomesCurrent = !previous || !(std::tie(previousDate, previousTime) > std::tie(declaredOn, pr.mtimeText));
        if (becomesCurrent && previous)
            setCurrent.exec({0, *previous});
        insertFile.exec({sha, p.code, p.yydm, pr.fileName, pr.size, pr.mtimeText, now, p.flag, out.findings,
                         out.mismatch ? 1 : 0, becomesCurrent ? 1 : 0, pr.sourcePath, collectedBy, host, dateSource,
                         declaredOn});
        if (!insertFile.row())
            throw Error(QStringLiteral("数据库“%1”没有返回新文件的编号。").arg(db.shown()));
        const qint64 id = insertFile.int64(0);
        insertFile.finish();

        storeFigures(id, p);
        int seq = 0;
        for (const Parsed::Hit &hit : p.findings)
            insertFinding.exec({id, ++seq, hit.period, hit.label, hit.text});

        scope.release();

        out.current = becomesCurrent;
        out.kind = !previous ? FileOutcome::Kind::New
                             : becomesCurrent ? FileOutcome::Kind::Replaced : FileOutcome::Kind::History;
        if (previous)
            out.reason = becomesCurrent ? QStringLiteral("取代了此前的申报，旧文件存为历史")
                                        : QStringLiteral("比当前的申报旧，存为历史");
        return out;
    }
};

Collector::Collector(Database &db, const Reference &reference) : d(std::make_unique<Impl>(db, reference)) {}
Collector::~Collector() = default;

FileOutcome Collector::collectFile(const QString &path) { return d->collect(path); }

namespace {

// Copies SQLite's log into the database file while collect goes on storing:
// a thread of its own with a connection of its own checkpoints after each
// commit (a passive checkpoint, which never waits for the writer nor holds
// it up). Collect's own checkpoint at its end then has only the last
// transaction left to copy; the log, copied, is written again from its
// start instead of growing. Where the second connection cannot be opened,
// collect's own checkpoint does all the work, as before.
class LogCopier {
public:
    explicit LogCopier(sqlite3 *writer)
    {
        const char *file = writer ? sqlite3_db_filename(writer, "main") : nullptr;
        if (!file || !*file)
            return;
        // A connection knows the database is in WAL mode once it has read
        // it.
        if (sqlite3_open_v2(file, &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK
            || sqlite3_exec(m_db, "PRAGMA schema_version", nullptr, nullptr, nullptr) != SQLITE_OK) {
            sqlite3_close(m_db);
            m_db = nullptr;
            return;
        }
        m_thread = std::thread([this] { run(); });
    }
    ~LogCopier() { stop(); }
    LogCopier(const LogCopier &) = delete;
    LogCopier &operator=(const LogCopier &) = delete;

    // A transaction has been committed: its part of the log can be copied.
    void committed()
    {
        if (!m_db)
            return;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_commits;
        }
        m_changed.notify_one();
    }
    // Waits for a copy under way, then lets the connection go.
    void stop()
    {
        if (m_thread.joinable()) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_stop = true;
            }
            m_changed.notify_one();
            m_thread.join();
        }
        if (m_db) {
            sqlite3_close(m_db);
            m_db = nullptr;
        }
    }

private:
    void run()
    {
        int copied = 0;
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_changed.wait(lock, [&] { return m_stop || m_commits != copied; });
                if (m_stop)
                    return;
                copied = m_commits;
            }
            // A failure here loses nothing: the log stays, and collect's own
            // checkpoint copies it.
            sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
        }
    }

    sqlite3 *m_db = nullptr;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_commits = 0;
    bool m_stop = false;
};

} // namespace

CollectSummary Collector::collect(const QStringList &files, const Progress &progress)
{
    // Reading, hashing and checking a file needs no database, and is about
    // half the work: helper threads prepare the next batch of files while
    // this thread stores the current one, file by file in the given order,
    // each in its own savepoint of the batch's transaction. Two batches
    // at most are held, so memory does not grow with the number of files.
    const int total = int(files.size());
    const int helpers = std::clamp(QThread::idealThreadCount(), 1, 4);
    constexpr int kBatch = 32;

    // The helpers live for the whole collect (a thread started per batch
    // cost more than preparing a small file) and write each prepared file
    // into a ring of two batches' slots: file i goes to slot i % size, and a
    // helper waits while its slot still holds a file not yet stored.
    struct Slot {
        std::optional<Prepared> prepared; // written by its helper before ready
        std::exception_ptr error;
        bool ready = false; // under the mutex
    };
    constexpr int kSlots = 2 * kBatch;
    std::vector<Slot> ring(kSlots);
    std::mutex mutex;
    std::condition_variable changed;
    int taken = 0;     // files taken out of the ring by this thread
    bool stop = false; // cancelled or failed: the helpers end
    std::vector<std::thread> workers;
    for (int h = 0; h < std::min(helpers, total); ++h)
        workers.emplace_back([&, h] {
            for (int i = h; i < total; i += helpers) {
                {
                    std::unique_lock<std::mutex> lock(mutex);
                    changed.wait(lock, [&] { return stop || i < taken + kSlots; });
                    if (stop)
                        return;
                }
                // The slot is this helper's until it is ready: the
                // file is prepared where it will be stored from.
                Slot &slot = ring[std::size_t(i % kSlots)];
                try {
                    slot.prepared.emplace(d->prepare(files[i]));
                } catch (...) {
                    slot.error = std::current_exception();
                }
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    slot.ready = true;
                }
                // This thread waits for whole batches: it is woken by each
                // helper's last file of a batch, not by every file.
                if (i + helpers >= std::min(total, (i / kBatch + 1) * kBatch))
                    changed.notify_all();
            }
        });
    const auto endHelpers = [&] {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stop = true;
        }
        changed.notify_all();
        for (std::thread &t : workers)
            t.join();
        workers.clear();
    };
    // Waits until the files from begin to end are prepared; they are stored
    // where they lie (a prepared file is a few kilobytes, and copying it
    // cost as much as hashing it). A helper's failure is raised here.
    const auto waitForBatch = [&](int begin, int end) {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] {
            for (int i = begin; i < end; ++i) {
                if (!ring[std::size_t(i % kSlots)].ready)
                    return false;
            }
            return true;
        });
        for (int i = begin; i < end; ++i)
            if (const Slot &slot = ring[std::size_t(i % kSlots)]; slot.error)
                std::rethrow_exception(slot.error);
    };
    // Empties the batch's slots for the helpers' next files.
    const auto releaseBatch = [&](int begin, int end) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            for (int i = begin; i < end; ++i)
                ring[std::size_t(i % kSlots)] = Slot();
            taken = end;
        }
        changed.notify_all();
    };

    CollectSummary s;
    // Counted when the database has kept them: on SQLite when the batch
    // commits, on PostgreSQL file by file.
    CollectSummary pending;
    const auto count = [](CollectSummary &into, const FileOutcome &o) {
        switch (o.kind) {
        case FileOutcome::Kind::New: ++into.newFiles; break;
        case FileOutcome::Kind::Replaced: ++into.replaced; break;
        case FileOutcome::Kind::History: ++into.history; break;
        case FileOutcome::Kind::Unchanged: ++into.unchanged; break;
        case FileOutcome::Kind::Refused: ++into.refused; into.refusedFiles.push_back(o); break;
        }
    };
    const auto keep = [&] {
        s.newFiles += pending.newFiles;
        s.replaced += pending.replaced;
        s.history += pending.history;
        s.unchanged += pending.unchanged;
        s.refused += pending.refused;
        for (auto &o : pending.refusedFiles)
            s.refusedFiles.push_back(std::move(o));
        pending = CollectSummary();
    };
    int done = 0;
    // On SQLite a transaction takes one batch at first and twice as many
    // files each time after, up to eight batches: the first files of a
    // collect are committed at once, and the many after them write the
    // index pages they share (the files' hashes go all over the index) to
    // the log a few times instead of once for every batch.
    std::optional<Impl::Batch> tx;
    int txFiles = 0, txSize = kBatch;
    LogCopier copier(total > kBatch ? d->lite : nullptr);
    try {
        for (int begin = 0; begin < total && !s.cancelled; begin += kBatch) {
            const int end = std::min(total, begin + kBatch);
            // The helpers go on with the next batch while this one is stored.
            waitForBatch(begin, end);
            // A transaction starts once its first batch is ready. A cancel
            // commits the files done.
            for (int i = begin; i < end; ++i) {
                if (!tx)
                    tx.emplace(*d);
                const Prepared &pr = *ring[std::size_t(i % kSlots)].prepared;
                FileOutcome o;
                try {
                    o = d->store(pr);
                } catch (const Error &e) {
                    // Another reviewer may have stored the same file or project a
                    // moment ago (a unique key refused ours), or held the database
                    // past the wait: once more, on the state the database holds
                    // now. Any other failure (a full disk, a damaged database) is
                    // the database's and would only fail again; so is a second
                    // one, and a transaction the database has ended by itself.
                    if (!store::isTransient(e.kind()) || !d->inTransaction() || !d->db.connection().isOpen())
                        throw;
                    o = d->store(pr);
                }
                count(pending, o);
                // On PostgreSQL every file commits at once: reviewers collecting
                // at the same time wait for each other's rows, and two batches
                // each holding rows the other needs would deadlock.
                if (d->db.isPostgres()) {
                    tx->commit();
                    tx.reset();
                    keep();
                }
                ++done;
                if (progress && !progress(done, total, o) && done < total) {
                    s.cancelled = true;
                    break;
                }
            }
            txFiles += end - begin;
            if (tx && (txFiles >= txSize || end == total || s.cancelled)) {
                txFiles = 0;
                txSize = std::min(2 * txSize, 8 * kBatch);
                tx->commit();
                tx.reset();
                keep();
                copier.committed();
            }
            releaseBatch(begin, end);
        }
    } catch (const Error &e) {
        // What the database kept is reported; the files of the transaction
        // it took back, and those not reached, are collected by the next run.
        tx.reset();
        s.error = e;
        s.notDone = total - s.total();
    } catch (...) {
        tx.reset();
        endHelpers();
        throw;
    }
    // When cancelled, the helpers' work in hand is dropped.
    endHelpers();
    copier.stop();
    // What was stored is on the disk when collect returns.
    if (!s.error) {
        try {
            d->syncLog();
        } catch (const Error &e) {
            s.error = e;
        }
    }
    return s;
}

QStringList findUploadFiles(const QStringList &paths)
{
    QStringList found;
    for (const QString &path : paths) {
        const QFileInfo info(path);
        if (info.isDir()) {
            QDirIterator it(path, QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString file = it.next();
                if (it.fileName().endsWith(QLatin1String("SJSB.dbf"), Qt::CaseInsensitive))
                    found << QDir::cleanPath(file);
            }
        } else {
            // A missing file stays in the list: collect refuses it by name
            // and goes on with the others.
            found << QDir::cleanPath(path);
        }
    }
    found.sort();
    found.removeDuplicates();
    return found;
}

QString summaryLine(const CollectSummary &s)
{
    QString line = QStringLiteral("新增 %1，替换 %2，未变 %3，拒收 %4").arg(s.newFiles).arg(s.replaced).arg(s.unchanged).arg(s.refused);
    if (s.history > 0)
        line += QStringLiteral("，历史 %1").arg(s.history);
    return line;
}

} // namespace centre
