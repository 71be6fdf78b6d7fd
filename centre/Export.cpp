#include "centre/Export.h"

#include "report/Format.h"
#include "store/Catalogue.h"
#include "store/FileIo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace centre {

namespace cat = store::catalogue;

bool parseExportPart(const QString &word, ExportPart *part)
{
    static const std::pair<const char *, ExportPart> parts[] = {
        {"declarations", ExportPart::Declarations}, {"findings", ExportPart::Findings}, {"implausible", ExportPart::Implausible},
        {"missing", ExportPart::Missing}};
    for (const auto &[name, value] : parts)
        if (word == QLatin1String(name)) {
            *part = value;
            return true;
        }
    return false;
}

ExportTable buildExportTable(ExportPart part, const std::vector<Declaration> &declarations, const Reference &reference,
                             const ImplausibleOptions &options)
{
    const auto nameOf = [&](const Declaration &d) {
        const Project *p = reference.project(d.file.project);
        return p ? p->name : d.file.yydm;
    };
    ExportTable t;
    const QString code = QStringLiteral("项目编码"), name = QStringLiteral("项目名称"), period = QStringLiteral("时期");
    switch (part) {
    case ExportPart::Declarations:
        t.title = QStringLiteral("申报数据");
        t.headers << code << name << period;
        for (int i = 0; i < kIndicators; ++i)
            t.headers << indicatorTitle(i);
        t.headers << QStringLiteral("空白数值");
        for (const Declaration &d : declarations) {
            for (int p = 0; p < kPeriods; ++p) {
                std::vector<QVariant> row{d.file.project, nameOf(d), cat::periods()[std::size_t(p)].label};
                double blanks = 0;
                for (const auto &v : d.figures[std::size_t(p)]) {
                    row.push_back(v ? QVariant(*v) : QVariant());
                    blanks += !v;
                }
                row.push_back(blanks);
                t.rows.push_back(std::move(row));
            }
        }
        break;
    case ExportPart::Findings:
        t.title = QStringLiteral("审核发现");
        t.headers << code << name << period << QStringLiteral("审核发现") << QStringLiteral("医院标记")
                  << QStringLiteral("标记不符");
        for (const Declaration &d : declarations)
            for (const Finding &f : d.findings)
                t.rows.push_back({d.file.project, nameOf(d), f.label, f.text, d.file.hospitalFlag,
                                  d.file.mismatch ? QStringLiteral("是") : QString()});
        break;
    case ExportPart::Implausible:
        t.title = QStringLiteral("异常数值");
        t.headers << code << name << QStringLiteral("指标") << QStringLiteral("字段") << period << QStringLiteral("数值")
                  << QStringLiteral("说明");
        for (const ImplausibleFlag &f : findImplausible(declarations, reference, options))
            t.rows.push_back({f.code, f.name, f.caption, f.field, f.periodLabel, f.value, f.explanation});
        break;
    case ExportPart::Missing:
        return missingTable(computeStatus(declarations, 0, {}, reference, options));
    }
    return t;
}

ExportTable buildExportTable(ExportPart part, Database &db, const Reference &reference, const ImplausibleOptions &options)
{
    if (part == ExportPart::Missing)
        return missingTable(computeStatus(db, reference, options));
    return buildExportTable(part, listedDeclarations(currentDeclarations(db), reference), reference, options);
}

ExportTable missingTable(const StatusReport &status)
{
    ExportTable t;
    t.title = QStringLiteral("未报送");
    t.headers << QStringLiteral("项目编码") << QStringLiteral("项目名称") << QStringLiteral("状态") << QStringLiteral("最近拒收的原因")
              << QStringLiteral("被拒收的文件");
    for (const ProjectStatus &p : status.projects)
        if (!p.sent || p.refusedLast)
            t.rows.push_back({p.code, p.name, stateText(p), p.refusedLast ? p.refusalReason : QString(),
                              p.refusedLast ? p.refusalPath : QString()});
    return t;
}

QString cellText(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QString();
    if (value.typeId() == QMetaType::Double)
        return report::formatValue(value, true);
    return value.toString();
}

namespace {

QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n'))
        && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

void writeCsv(const ExportTable &table, const QString &path)
{
    QByteArray bytes("\xEF\xBB\xBF");
    const auto line = [&](const QStringList &cells) {
        QStringList quoted;
        for (const QString &c : cells)
            quoted << csvField(c);
        bytes += quoted.join(QLatin1Char(',')).toUtf8();
        bytes += "\r\n";
    };
    line(table.headers);
    for (const auto &row : table.rows) {
        QStringList cells;
        for (const QVariant &v : row)
            cells << cellText(v);
        line(cells);
    }
    store::fileio::replaceFile(path, bytes);
}

namespace {

// Where a write to path lands: the file at the end of a chain of symbolic
// links (dangling or not), as an absolute path with its folders resolved.
QString landingPath(const QString &path)
{
    QString p = QFileInfo(path).absoluteFilePath();
    for (int hops = 0; hops < 40; ++hops) {
        const QFileInfo info(p);
        if (info.isSymLink()) {
            p = info.symLinkTarget();
            continue;
        }
        if (info.exists())
            return info.canonicalFilePath();
        const QString dir = info.absoluteDir().canonicalPath();
        return dir.isEmpty() ? info.absoluteFilePath() : QDir(dir).filePath(info.fileName());
    }
    return p;
}

// Two landing paths name one file: the same path, or (on POSIX) the same
// device and inode, which also catches a hard link.
bool sameFile(const QString &a, const QString &b)
{
    if (a == b)
        return true;
#ifdef Q_OS_UNIX
    struct stat sa, sb;
    if (::stat(QFile::encodeName(a).constData(), &sa) == 0 && ::stat(QFile::encodeName(b).constData(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
#endif
    return false;
}

// An SQLite database, its write-ahead log or its rollback journal, known by
// the first bytes SQLite writes to each.
bool looksLikeSqlite(const QString &path)
{
    QFile f(path);
    if (!QFileInfo(path).isFile() || !f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = f.read(16);
    return head == QByteArray("SQLite format 3\0", 16) || head.startsWith("\x37\x7f\x06\x82")
        || head.startsWith("\x37\x7f\x06\x83") || head.startsWith("\xd9\xd5\x05\xf9\x20\xa1\x63\xd7");
}

} // namespace

void refuseOutputOverDatabase(const QString &output, const QString &dbName)
{
    const QString target = landingPath(output);
    const QString shown = QDir::toNativeSeparators(output);
    if (!dbName.isEmpty() && !Database::isPostgresName(dbName)) {
        const QString db = landingPath(dbName);
        for (const char *suffix : {"", "-wal", "-shm", "-journal"})
            if (sameFile(target, db + QLatin1String(suffix)))
                throw Error(QStringLiteral("不能导出到“%1”：它是正在使用的数据库%2，写入会毁掉数据库。请另选一个文件名。")
                                .arg(shown, *suffix ? QStringLiteral("的附属文件（%1）").arg(QLatin1String(suffix + 1))
                                                    : QString()));
    }
    if (looksLikeSqlite(target))
        throw Error(QStringLiteral("不能导出到“%1”：它是一个 SQLite 数据库文件，导出不会覆盖它。请另选一个文件名。").arg(shown));
}

ExportTableModel::ExportTableModel(QObject *parent) : QAbstractTableModel(parent) {}

void ExportTableModel::setTable(ExportTable table)
{
    beginResetModel();
    m_table = std::move(table);
    endResetModel();
}

int ExportTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_table.rows.size());
}

int ExportTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_table.headers.size());
}

QVariant ExportTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return {};
    const auto &row = m_table.rows[std::size_t(index.row())];
    if (std::size_t(index.column()) >= row.size())
        return {};
    const QVariant &v = row[std::size_t(index.column())];
    switch (role) {
    case Qt::DisplayRole: return cellText(v);
    case Qt::EditRole:
    case Qt::UserRole: return v;
    case Qt::TextAlignmentRole:
        return v.typeId() == QMetaType::Double ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter)) : QVariant();
    default: return {};
    }
}

QVariant ExportTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return section < m_table.headers.size() ? QVariant(m_table.headers[section]) : QVariant();
    return section + 1;
}

} // namespace centre
