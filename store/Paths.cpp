#include "store/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>

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
    // A folder name may hold ';': what follows a ';' belongs to the path
    // until the next "Key=" part.
    static const QRegularExpression key(QStringLiteral("^\\s*[A-Za-z][A-Za-z ]*="));
    const QStringList parts = connectionString.split(QLatin1Char(';'));
    for (int i = 0; i < parts.size(); ++i) {
        const int eq = parts[i].indexOf(QLatin1Char('='));
        if (eq > 0 && parts[i].left(eq).trimmed().compare(QLatin1String("SourceDB"), Qt::CaseInsensitive) == 0) {
            QString dir = parts[i].mid(eq + 1);
            while (i + 1 < parts.size() && !key.match(parts[i + 1]).hasMatch() && i + 2 < parts.size())
                dir += QLatin1Char(';') + parts[++i];
            return dir;
        }
    }
    return QString();
}

} // namespace store::paths
