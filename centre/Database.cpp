#include "centre/Database.h"

#include "centre/SqlUtil.h"
#include "store/Catalogue.h"

#include <QAtomicInteger>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QThread>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUrlQuery>

namespace centre {

namespace {

QAtomicInteger<quint64> g_connections;

QString sqlError(const QSqlError &e, bool sqlite) { return detail::errorText(e, sqlite); }

// A failed statement: text's %1 is subject, %2 the database's reason; the
// kind comes from the database's code.
Error failure(const QString &text, const QString &subject, const QSqlError &e, bool sqlite)
{
    return Error(detail::errorKind(e, sqlite), text.arg(subject, sqlError(e, sqlite)));
}

// The schema, one list of statements per version. The only difference
// between the drivers is how a table numbers its rows.
QStringList migration(int version, bool postgres)
{
    const QString idColumn = postgres ? QStringLiteral("id BIGSERIAL PRIMARY KEY")
                                      : QStringLiteral("id INTEGER PRIMARY KEY");
    QStringList s;
    if (version == 1) {
        s << QStringLiteral("CREATE TABLE files (%1, sha256 VARCHAR(64) NOT NULL UNIQUE, "
                            "project VARCHAR(40) NOT NULL, yydm VARCHAR(240) NOT NULL, "
                            "name VARCHAR(400) NOT NULL, size BIGINT NOT NULL, mtime VARCHAR(32) NOT NULL, "
                            "collected_at VARCHAR(32) NOT NULL, hospital_flag VARCHAR(4) NOT NULL, "
                            "findings INTEGER NOT NULL, mismatch INTEGER NOT NULL, is_current INTEGER NOT NULL)")
                 .arg(idColumn);
        // At most one current declaration per project, kept by the database
        // itself even when several reviewers collect at once.
        s << QStringLiteral("CREATE UNIQUE INDEX files_current ON files (project) WHERE is_current = 1");
        QStringList columns;
        for (const auto &ind : store::catalogue::indicators())
            columns << ind.field + QStringLiteral(" DOUBLE PRECISION");
        s << QStringLiteral("CREATE TABLE figures (file_id BIGINT NOT NULL REFERENCES files (id), "
                            "period INTEGER NOT NULL, %1, PRIMARY KEY (file_id, period))")
                 .arg(columns.join(QStringLiteral(", ")));
        s << QStringLiteral("CREATE TABLE findings (file_id BIGINT NOT NULL REFERENCES files (id), "
                            "seq INTEGER NOT NULL, period INTEGER NOT NULL, label VARCHAR(40) NOT NULL, "
                            "text VARCHAR(1000) NOT NULL, PRIMARY KEY (file_id, seq))");
        s << QStringLiteral("CREATE TABLE unknown_files (sha256 VARCHAR(64) PRIMARY KEY, "
                            "project VARCHAR(40) NOT NULL, name VARCHAR(400) NOT NULL, size BIGINT NOT NULL, "
                            "mtime VARCHAR(32) NOT NULL, collected_at VARCHAR(32) NOT NULL)");
        s << QStringLiteral("CREATE VIEW current_figures AS SELECT f.project, g.* FROM files f "
                            "JOIN figures g ON g.file_id = f.id WHERE f.is_current = 1");
    }
    if (version == 2) {
        // Where each file came from and who took it; where its date came from.
        s << QStringLiteral("ALTER TABLE files ADD COLUMN source_path VARCHAR(2000) NOT NULL DEFAULT ''");
        s << QStringLiteral("ALTER TABLE files ADD COLUMN collected_by VARCHAR(200) NOT NULL DEFAULT ''");
        s << QStringLiteral("ALTER TABLE files ADD COLUMN host VARCHAR(200) NOT NULL DEFAULT ''");
        s << QStringLiteral("ALTER TABLE files ADD COLUMN date_source VARCHAR(8) NOT NULL DEFAULT ''");
        // The declaration's date (yyyy-MM-dd): the table's own last-update
        // date, or the file's time where the table has none.
        s << QStringLiteral("ALTER TABLE files ADD COLUMN declared_on VARCHAR(10) NOT NULL DEFAULT ''");
        s << QStringLiteral("UPDATE files SET declared_on = substr(mtime, 1, 10), date_source = 'file'");
        // Every refused file: one row per file content and path, its time
        // the last time it was refused.
        s << QStringLiteral("CREATE TABLE refusals (%1, sha256 VARCHAR(64) NOT NULL, path VARCHAR(2000) NOT NULL, "
                            "name VARCHAR(400) NOT NULL, project VARCHAR(40) NOT NULL, reason VARCHAR(2000) NOT NULL, "
                            "collected_at VARCHAR(32) NOT NULL, collected_by VARCHAR(200) NOT NULL, "
                            "host VARCHAR(200) NOT NULL, UNIQUE (sha256, path))")
                 .arg(idColumn);
        s << QStringLiteral("CREATE INDEX refusals_project ON refusals (project, collected_at)");
    }
    return s;
}

} // namespace

bool Database::isPostgresName(const QString &name)
{
    return name.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive)
        || name.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

void Database::loadDriver(const QString &name)
{
    const QString driver = isPostgresName(name) ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE");
    const QString connection = QStringLiteral("pdeclare-centre-driver-%1").arg(++g_connections);
    if (QSqlDatabase::isDriverAvailable(driver))
        QSqlDatabase::addDatabase(driver, connection);
    QSqlDatabase::removeDatabase(connection);
}

std::unique_ptr<Database> Database::open(const QString &name)
{
    return std::unique_ptr<Database>(new Database(name, true));
}

std::unique_ptr<Database> Database::openExisting(const QString &name)
{
    return std::unique_ptr<Database>(new Database(name, false));
}

Database::Database(const QString &name, bool create)
    : m_name(name)
    , m_connectionName(QStringLiteral("pdeclare-centre-%1").arg(++g_connections))
    , m_postgres(isPostgresName(name))
{
    // Another scheme would otherwise become a strange file name.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    if (!m_postgres && scheme.match(name).hasMatch())
        throw Error(QStringLiteral("不支持数据库地址“%1”：请给出 SQLite 数据库文件，或 postgresql://用户@主机:端口/数据库。").arg(shownName(name)));
    if (m_postgres) {
        if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
#ifdef Q_OS_WIN
            throw Error(QStringLiteral("无法连接 PostgreSQL：Windows 版监测中心不带 PostgreSQL 驱动。请使用 SQLite 数据库文件，或在 Linux 上运行监测中心。"));
#else
            throw Error(QStringLiteral("无法连接 PostgreSQL：缺少 Qt 的 PostgreSQL 驱动（Debian 软件包 libqt6sql6-psql）。"));
#endif
        const QUrl url(name);
        const QString db = url.path().mid(1);
        if (!url.isValid() || db.isEmpty())
            throw Error(QStringLiteral("数据库地址“%1”无效：应为 postgresql://用户@主机:端口/数据库。").arg(shownName(name)));
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connectionName);
        QString host = url.host();
        const QUrlQuery query(url);
        if (query.hasQueryItem(QStringLiteral("host")))
            host = query.queryItemValue(QStringLiteral("host"), QUrl::FullyDecoded); // a socket directory
        if (!host.isEmpty())
            m_db.setHostName(host);
        if (url.port() > 0)
            m_db.setPort(url.port());
        m_db.setDatabaseName(db);
        if (!url.userName().isEmpty())
            m_db.setUserName(url.userName(QUrl::FullyDecoded));
        if (!url.password().isEmpty())
            m_db.setPassword(url.password(QUrl::FullyDecoded));
        m_db.setConnectOptions(QStringLiteral("connect_timeout=10"));
    } else {
        if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
            throw Error(QStringLiteral("无法打开数据库：缺少 Qt 的 SQLite 驱动（Debian 软件包 libqt6sql6-sqlite）。"));
        // Only a path: SQLite would read "file:x.db?mode=memory" as a URI
        // and keep everything in memory, and ":memory:" is no file either.
        const QString trimmed = name.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)
            || trimmed.startsWith(QLatin1String(":memory:"), Qt::CaseInsensitive))
            throw Error(QStringLiteral("“%1”不是数据库文件的路径：请给出 SQLite 数据库文件的路径（例如 centre.db），"
                                       "或 postgresql://用户@主机:端口/数据库。").arg(name));
        const QFileInfo info(name);
        if (!create && !info.exists())
            throw Error(store::ErrorKind::NotFound, QStringLiteral("数据库文件“%1”不存在：请先用 collect 收集上报文件。").arg(name));
        if (info.exists() && !info.isFile())
            throw Error(store::ErrorKind::NotFound, QStringLiteral("“%1”不是数据库文件。").arg(name));
        const bool folderWritable = QFileInfo(info.absolutePath()).isWritable();
        const bool writable = info.exists() ? info.isWritable() && folderWritable : folderWritable;
        if (!writable) {
            if (create)
                throw Error(QStringLiteral("数据库“%1”是只读的（文件或所在文件夹不可写）：收集要写入数据库，"
                                           "请检查权限，或换一个可写的位置。").arg(name));
            m_readOnly = true;
        }
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
        if (!m_readOnly) {
            // An absolute path is never taken for a URI.
            m_db.setDatabaseName(info.absoluteFilePath());
            m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
        } else {
            // SQLite reads a WAL database in a folder this user cannot write
            // only through an existing -shm file. With no log left (no
            // reviewer collecting), everything is in the database file, and
            // it is read as it stands.
            QString uri = QUrl::fromLocalFile(info.absoluteFilePath()).toString(QUrl::FullyEncoded)
                          + QStringLiteral("?mode=ro");
            const QFileInfo wal(info.absoluteFilePath() + QStringLiteral("-wal"));
            if (!wal.exists() || wal.size() == 0)
                uri += QStringLiteral("&immutable=1");
            m_db.setDatabaseName(uri);
            m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000;QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
        }
    }
    if (!m_db.open()) {
        const QString why = sqlError(m_db.lastError(), !m_postgres);
        const store::ErrorKind kind = detail::errorKind(m_db.lastError(), !m_postgres);
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connectionName);
        throw Error(kind, QStringLiteral("无法打开数据库“%1”：%2").arg(shownName(name), why));
    }
    try {
        if (!m_postgres) {
            // An SQLite file of some other program is left as it is, byte for byte.
            QSqlQuery q(m_db);
            if (!q.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'")))
                throw failure(QStringLiteral("无法打开数据库“%1”：%2"), name, q.lastError(), true);
            QStringList tables;
            while (q.next())
                tables << q.value(0).toString();
            q.finish();
            if (!tables.isEmpty() && !tables.contains(QStringLiteral("schema_version")))
                throw Error(QStringLiteral("“%1”是其他程序的数据库，不是监测中心的数据库：请换一个文件名。").arg(name));
            if (m_readOnly) {
                if (tables.isEmpty())
                    throw Error(store::ErrorKind::CorruptFile, QStringLiteral("“%1”是空文件，不是监测中心的数据库。").arg(name));
                checkReadOnlySchema();
                return;
            }
            // WAL: a commit appends to the log without waiting for the disk
            // twice; a crash of the program loses nothing committed. A
            // reviewer starting at the same moment may hold the file for an
            // instant: asked again while it is busy.
            //
            // synchronous=NORMAL comes first: a new file is switched to WAL
            // through a rollback journal, which then is synced once instead
            // of twice. That journal holds no page (the file was empty), so
            // the second sync protected nothing. Once in WAL, NORMAL syncs
            // the log at every checkpoint, and closing the database ends with
            // one: a collect that has returned has its files on the disk.
            //
            // Each setting is read back: SQLite leaves one it cannot apply
            // as it was without an error (WAL where the file system has no
            // shared memory for the log's index), and the database would
            // run on in a weaker mode than the one its safety is built on.
            const auto refused = [&](const char *setting, const QString &got) {
                return Error(store::ErrorKind::Io,
                             QStringLiteral("无法打开数据库“%1”：数据库没有接受设置 %2（得到的是“%3”），为免在较弱的模式下"
                                            "写入数据，没有继续。请把数据库文件放在本机磁盘上再打开（网络文件夹或特殊的"
                                            "文件系统可能不支持这一设置）。")
                                 .arg(name, QString::fromLatin1(setting), got));
            };
            // Runs a setting and returns what the database reports it as now.
            const auto set = [&](const char *statement, const char *readBack) {
                if (!q.exec(QString::fromLatin1(statement)) || (readBack && !q.exec(QString::fromLatin1(readBack))))
                    throw failure(QStringLiteral("无法打开数据库“%1”：%2"), name, q.lastError(), true);
                const QString value = q.next() ? q.value(0).toString() : QString();
                q.finish();
                return value;
            };
            if (const QString got = set("PRAGMA synchronous=NORMAL", "PRAGMA synchronous"); got != QLatin1String("1"))
                throw refused("synchronous=NORMAL", got);
            QString mode;
            for (int attempt = 0;; ++attempt) {
                if (q.exec(QStringLiteral("PRAGMA journal_mode=WAL"))) {
                    mode = q.next() ? q.value(0).toString() : QString();
                    q.finish();
                    break;
                }
                if (detail::errorKind(q.lastError(), true) != store::ErrorKind::Busy || attempt == 200)
                    throw failure(QStringLiteral("无法打开数据库“%1”：%2"), name, q.lastError(), true);
                QThread::msleep(50);
            }
            if (mode.compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
                throw refused("journal_mode=WAL", mode);
            // Each collected file has a savepoint of its own: its journal
            // is kept in memory, not in a temporary file written page by
            // page (which took as many writes as the database itself).
            set("PRAGMA temp_store=MEMORY", nullptr);
            set("PRAGMA wal_autocheckpoint=16384", nullptr);
            if (const QString got = set("PRAGMA foreign_keys=ON", "PRAGMA foreign_keys"); got != QLatin1String("1"))
                throw refused("foreign_keys=ON", got);
        }
        migrate();
    } catch (...) {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connectionName);
        throw;
    }
}

Database::~Database()
{
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

int Database::schemaVersion() const
{
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("SELECT version FROM schema_version")) || !q.next())
        return 0;
    return q.value(0).toInt();
}

QString Database::shownName(const QString &name)
{
    if (!isPostgresName(name))
        return name;
    QUrl url(name);
    if (url.password().isEmpty())
        return name;
    url.setPassword(QString());
    return url.toString();
}

void Database::checkReadOnlySchema()
{
    const int version = schemaVersion();
    if (version > kSchemaVersion)
        throw Error(QStringLiteral("数据库“%1”由较新版本的程序建立（结构版本 %2），请使用新版程序。").arg(m_name).arg(version));
    if (version < kSchemaVersion)
        throw Error(QStringLiteral("数据库“%1”是只读的，而它的结构（版本 %2）需要升级到版本 %3：请由能写入它的用户运行一次 collect。")
                        .arg(m_name).arg(version).arg(kSchemaVersion));
}

// Schema creation and upgrades are serialised between reviewers opening
// the same database at the same moment: on PostgreSQL by an advisory lock
// held until the transaction ends, on SQLite by a write transaction taken
// at its start (waiting while another holds it).
void Database::migrate()
{
    const auto fail = [this](const QSqlQuery &q) {
        throw failure(QStringLiteral("无法建立数据库“%1”的结构：%2"), shown(), q.lastError(), !m_postgres);
    };
    QSqlQuery q(m_db);
    const auto hasSchemaTable = [&] {
        return m_postgres ? m_db.tables().contains(QStringLiteral("schema_version"))
                          : q.exec(QStringLiteral("SELECT 1 FROM sqlite_master WHERE name = 'schema_version'")) && q.next();
    };
    // Most opens find the schema current and take no lock at all.
    if (hasSchemaTable() && schemaVersion() == kSchemaVersion) {
        q.finish();
        return;
    }
    q.finish();
    if (!q.exec(m_postgres ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE")))
        fail(q);
    bool done = false;
    const auto rollback = qScopeGuard([&] {
        if (!done)
            QSqlQuery(m_db).exec(QStringLiteral("ROLLBACK"));
    });
    if (m_postgres && !q.exec(QStringLiteral("SELECT pg_advisory_xact_lock(727100021)")))
        fail(q);
    q.finish();
    if (!hasSchemaTable()) {
        q.finish();
        if (!q.exec(QStringLiteral("CREATE TABLE schema_version (version INTEGER NOT NULL)")))
            fail(q);
        if (!q.exec(QStringLiteral("INSERT INTO schema_version (version) VALUES (0)")))
            fail(q);
    }
    q.finish();
    int version = schemaVersion();
    if (version > kSchemaVersion)
        throw Error(QStringLiteral("数据库“%1”由较新版本的程序建立（结构版本 %2），请使用新版程序。")
                        .arg(shown()).arg(version));
    while (version < kSchemaVersion) {
        ++version;
        for (const QString &statement : migration(version, m_postgres))
            if (!q.exec(statement))
                fail(q);
        q.prepare(QStringLiteral("UPDATE schema_version SET version = ?"));
        q.addBindValue(version);
        if (!q.exec())
            fail(q);
    }
    if (!q.exec(QStringLiteral("COMMIT")))
        fail(q);
    done = true;
}

Database::Transaction::Transaction(Database &db) : m_db(db)
{
    if (!m_db.m_db.transaction())
        throw failure(QStringLiteral("数据库“%1”无法开始事务：%2"), m_db.shown(), m_db.m_db.lastError(), !m_db.m_postgres);
}

Database::Transaction::~Transaction()
{
    if (!m_done)
        m_db.m_db.rollback();
}

void Database::Transaction::commit()
{
    if (!m_db.m_db.commit())
        throw failure(QStringLiteral("数据库“%1”无法提交：%2"), m_db.shown(), m_db.m_db.lastError(), !m_db.m_postgres);
    m_done = true;
}

} // namespace centre
