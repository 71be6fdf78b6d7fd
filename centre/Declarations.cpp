#include "centre/Declarations.h"

#include "centre/SqlUtil.h"
#include "store/Catalogue.h"

#include <QHash>

namespace centre {

using detail::exec;

namespace {

const QString kFileColumns = QStringLiteral(
    "f.id, f.project, f.yydm, f.name, f.size, f.mtime, f.collected_at, f.sha256, f.hospital_flag, f.findings, "
    "f.mismatch, f.is_current");

StoredFile fileFrom(const QSqlQuery &q)
{
    StoredFile f;
    f.id = q.value(0).toLongLong();
    f.project = q.value(1).toString();
    f.yydm = q.value(2).toString();
    f.name = q.value(3).toString();
    f.size = q.value(4).toLongLong();
    f.mtime = detail::timeFromText(q.value(5).toString());
    f.collectedAt = detail::timeFromText(q.value(6).toString());
    f.sha256 = q.value(7).toString();
    f.hospitalFlag = q.value(8).toString();
    f.findings = q.value(9).toInt();
    f.mismatch = q.value(10).toInt() != 0;
    f.current = q.value(11).toInt() != 0;
    return f;
}

QString figureColumns()
{
    QStringList cols;
    for (const auto &ind : store::catalogue::indicators())
        cols << QStringLiteral("g.") + ind.field;
    return cols.join(QStringLiteral(", "));
}

// Reads the current declarations, all of them or one project's; or one
// stored file's, current or not.
std::vector<Declaration> readCurrent(Database &db, const QString *code, const qint64 *fileId = nullptr)
{
    const QString filter = fileId ? QStringLiteral(" AND f.id = ?") : code ? QStringLiteral(" AND f.project = ?") : QString();
    const auto run = [&](QSqlQuery &q) { fileId ? exec(db, q, {*fileId}) : code ? exec(db, q, {*code}) : exec(db, q); };
    std::vector<Declaration> out;
    QHash<qint64, std::size_t> byId;

    QSqlQuery files = detail::prepare(
        db, QStringLiteral("SELECT %1 FROM files f WHERE %3%2 ORDER BY f.project").arg(kFileColumns, filter, fileId ? QStringLiteral("1 = 1") : QStringLiteral("f.is_current = 1")));
    run(files);
    while (files.next()) {
        Declaration d;
        d.file = fileFrom(files);
        byId.insert(d.file.id, out.size());
        out.push_back(std::move(d));
    }
    if (out.empty())
        return out;

    QSqlQuery figures = detail::prepare(
        db, QStringLiteral("SELECT g.file_id, g.period, %1 FROM figures g JOIN files f ON f.id = g.file_id "
                           "WHERE %3%2")
                .arg(figureColumns(), filter, fileId ? QStringLiteral("1 = 1") : QStringLiteral("f.is_current = 1")));
    run(figures);
    while (figures.next()) {
        const auto it = byId.constFind(figures.value(0).toLongLong());
        const int period = figures.value(1).toInt();
        if (it == byId.constEnd() || period < 1 || period > kPeriods)
            continue;
        auto &row = out[*it].figures[std::size_t(period - 1)];
        for (int i = 0; i < kIndicators; ++i) {
            const QVariant v = figures.value(2 + i);
            if (!v.isNull())
                row[std::size_t(i)] = v.toDouble();
        }
    }

    QSqlQuery findings = detail::prepare(
        db, QStringLiteral("SELECT g.file_id, g.period, g.label, g.text FROM findings g JOIN files f ON f.id = g.file_id "
                           "WHERE %2%1 ORDER BY g.file_id, g.seq")
                .arg(filter, fileId ? QStringLiteral("1 = 1") : QStringLiteral("f.is_current = 1")));
    run(findings);
    while (findings.next()) {
        const auto it = byId.constFind(findings.value(0).toLongLong());
        if (it != byId.constEnd())
            out[*it].findings.push_back({findings.value(1).toInt(), findings.value(2).toString(), findings.value(3).toString()});
    }
    return out;
}

} // namespace

std::vector<Declaration> currentDeclarations(Database &db) { return readCurrent(db, nullptr); }

std::optional<Declaration> currentDeclaration(Database &db, const QString &code)
{
    std::vector<Declaration> one = readCurrent(db, &code);
    if (one.empty())
        return std::nullopt;
    return std::move(one.front());
}

std::vector<StoredFile> filesOfProject(Database &db, const QString &code)
{
    QSqlQuery q = detail::prepare(
        db, QStringLiteral("SELECT %1 FROM files f WHERE f.project = ? ORDER BY f.collected_at DESC, f.id DESC").arg(kFileColumns));
    exec(db, q, {code});
    std::vector<StoredFile> out;
    while (q.next())
        out.push_back(fileFrom(q));
    return out;
}

int storedFileCount(Database &db)
{
    QSqlQuery q = detail::prepare(db, QStringLiteral("SELECT COUNT(*) FROM files"));
    exec(db, q);
    return q.next() ? q.value(0).toInt() : 0;
}

std::vector<RefusalRecord> storedRefusals(Database &db)
{
    QSqlQuery q = detail::prepare(db, QStringLiteral("SELECT path, name, project, reason, sha256, collected_at, collected_by, host "
                                                     "FROM refusals ORDER BY collected_at, id"));
    exec(db, q);
    std::vector<RefusalRecord> out;
    while (q.next())
        out.push_back({q.value(0).toString(), q.value(1).toString(), q.value(2).toString(), q.value(3).toString(),
                       q.value(4).toString(), detail::timeFromText(q.value(5).toString()), q.value(6).toString(),
                       q.value(7).toString()});
    return out;
}

std::vector<StoredFileDetail> fileHistory(Database &db, const QString &code)
{
    QSqlQuery q = detail::prepare(
        db, QStringLiteral("SELECT %1, f.source_path, f.collected_by, f.host, f.date_source, f.declared_on FROM files f "
                           "WHERE f.project = ? ORDER BY f.collected_at DESC, f.id DESC").arg(kFileColumns));
    exec(db, q, {code});
    std::vector<StoredFileDetail> out;
    while (q.next()) {
        StoredFileDetail d;
        static_cast<StoredFile &>(d) = fileFrom(q);
        d.sourcePath = q.value(12).toString();
        d.collectedBy = q.value(13).toString();
        d.host = q.value(14).toString();
        d.dateSource = q.value(15).toString();
        d.declaredOn = q.value(16).toString();
        out.push_back(std::move(d));
    }
    return out;
}

std::optional<Declaration> storedDeclaration(Database &db, qint64 fileId)
{
    std::vector<Declaration> one = readCurrent(db, nullptr, &fileId);
    if (one.empty())
        return std::nullopt;
    return std::move(one.front());
}

QHash<QString, QDateTime> lastCollected(Database &db)
{
    QSqlQuery q = detail::prepare(db, QStringLiteral("SELECT project, MAX(collected_at) FROM files GROUP BY project"));
    exec(db, q);
    QHash<QString, QDateTime> out;
    while (q.next())
        out.insert(q.value(0).toString(), detail::timeFromText(q.value(1).toString()));
    return out;
}

int blankFigures(const Declaration &declaration)
{
    int n = 0;
    for (const auto &period : declaration.figures)
        for (const auto &v : period)
            n += !v;
    return n;
}

bool isEmptyDeclaration(const Declaration &declaration)
{
    for (const auto &period : declaration.figures)
        for (const auto &v : period)
            if (v && *v != 0)
                return false;
    return true;
}

QStringList unknownProjectCodes(Database &db)
{
    QSqlQuery q = detail::prepare(db, QStringLiteral("SELECT DISTINCT project FROM unknown_files ORDER BY project"));
    exec(db, q);
    QStringList out;
    while (q.next())
        out << q.value(0).toString();
    return out;
}

} // namespace centre
