#include "store/Paths.h"

#include <QCoreApplication>
#include <QDir>

namespace store::paths {

namespace {
QString &overrideDir()
{
    static QString dir;
    return dir;
}
QString withSlash(QString dir)
{
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}
} // namespace

QString programDir()
{
    if (!overrideDir().isEmpty())
        return overrideDir();
    return withSlash(QCoreApplication::applicationDirPath());
}

void setProgramDir(const QString &dir)
{
    overrideDir() = dir.isEmpty() ? QString() : withSlash(QDir(dir).absolutePath());
}

QString dataMetaDir() { return programDir() + QStringLiteral("DataMeta/"); }
QString resultDir() { return programDir() + QStringLiteral("Result/"); }
QString templateTable() { return dataMetaDir() + QStringLiteral("sjsbb.dbf"); }
QString resultTable() { return resultDir() + QStringLiteral("result.dbf"); }
QString skinFile() { return programDir() + QStringLiteral("风格/Main.skn"); }
QString formDescriptionDoc() { return programDir() + QStringLiteral("评审数据表说明.doc"); }
QString operationManualDoc() { return programDir() + QStringLiteral("TessalyV1.0操作手册.doc"); }

QString connectionString(const QString &subdir)
{
    return QStringLiteral("Driver={Microsoft Visual FoxPro Driver};UID=;SourceDB=") + programDir() + subdir
        + QStringLiteral("/;SourceType=DBF;Exclusive=No;BackgroundFetch=Yes;Collate=Machine;Null=Yes;Deleted=yes;");
}

QString sourceDbOf(const QString &connectionString)
{
    const QStringList parts = connectionString.split(QLatin1Char(';'));
    for (const QString &part : parts) {
        const int eq = part.indexOf(QLatin1Char('='));
        if (eq > 0 && part.left(eq).trimmed().compare(QLatin1String("SourceDB"), Qt::CaseInsensitive) == 0)
            return part.mid(eq + 1);
    }
    return QString();
}

} // namespace store::paths
