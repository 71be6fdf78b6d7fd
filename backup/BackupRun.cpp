#include "backup/BackupRun.h"

#include "store/Error.h"
#include "store/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <exception>

namespace backup {

namespace {

const QString kNotice = QStringLiteral("提示");
const QString kError = QStringLiteral("错误");

QString textOf(const store::Query &query, const QString &column)
{
    const QVariant value = query.fieldByName(column);
    return value.isValid() && !value.isNull() ? value.toString() : QString();
}

// Trimmed yydm of the first row of "select yydm ..." on the query.
QString firstYydm(store::Query &query, const char *statement)
{
    query.close();
    query.clearSql();
    query.setSql(QString::fromUtf8(statement));
    query.open();
    query.first();
    return query.eof() ? QString() : textOf(query, QStringLiteral("yydm")).trimmed();
}

void exec(store::Query &query, const char *statement)
{
    query.close();
    query.clearSql();
    query.setSql(QString::fromUtf8(statement));
    query.execSql();
}

QString pathText(const QString &file) { return QStringLiteral("存放路径：") + QDir::toNativeSeparators(file); }

} // namespace

bool isUploadCaption(const QString &buttonCaption) { return buttonCaption.trimmed() == QStringLiteral("导出"); }

QString joinTarget(const QString &dir, const QString &fileName)
{
    if (dir.endsWith(QLatin1Char('/')) || dir.endsWith(QLatin1Char('\\')))
        return dir + fileName;
    return dir + QLatin1Char('/') + fileName;
}

QString projectCodeOf(const QString &yydm)
{
    const QList<uint> codePoints = yydm.trimmed().toUcs4();
    QString code;
    for (int i = 0; i < codePoints.size() && i < 4; ++i) {
        const char32_t cp = codePoints[i];
        code += QString::fromUcs4(&cp, 1);
    }
    return code;
}

QString refuseProjectCode(const QString &code)
{
    const QString why = QStringLiteral("项目编码“%1”不能用作导出文件名：%2。请在数据录入中重新选择项目后再导出。");
    if (code.isEmpty())
        return why.arg(code, QStringLiteral("编码为空"));
    if (code.contains(QStringLiteral("..")))
        return why.arg(code, QStringLiteral("含有“..”"));
    for (const QChar ch : code) {
        if (ch == QLatin1Char('/') || ch == QLatin1Char('\\'))
            return why.arg(code, QStringLiteral("含有路径分隔符"));
        if (ch.category() == QChar::Other_Control || ch.unicode() < 0x20 || ch.unicode() == 0x7F)
            return why.arg(QString(), QStringLiteral("含有控制字符"));
        if (QStringLiteral(":*?\"<>|").contains(ch))
            return why.arg(code, QStringLiteral("含有文件名中不允许的字符“%1”").arg(ch));
    }
    return QString();
}

QString uploadFileName(const QString &code) { return code + QStringLiteral("SJSB.dbf"); }

void copyReplacing(const QString &source, const QString &target)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        throw store::Error(QStringLiteral("无法读取 %1：%2").arg(QDir::toNativeSeparators(source), in.errorString()));
    QSaveFile out(target);
    // A target that is the source itself (backup into the Result folder) is
    // read whole before the rename replaces it, so nothing is lost either.
    out.setDirectWriteFallback(false);
    if (!out.open(QIODevice::WriteOnly))
        throw store::Error(QStringLiteral("无法写入 %1：%2").arg(QDir::toNativeSeparators(target), out.errorString()));
    char buffer[64 * 1024];
    while (true) {
        const qint64 n = in.read(buffer, sizeof buffer);
        if (n < 0)
            throw store::Error(QStringLiteral("无法读取 %1：%2").arg(QDir::toNativeSeparators(source), in.errorString()));
        if (n == 0)
            break;
        if (out.write(buffer, n) != n)
            throw store::Error(QStringLiteral("无法写入 %1：%2").arg(QDir::toNativeSeparators(target), out.errorString()));
    }
    if (!out.commit())
        throw store::Error(QStringLiteral("无法写入 %1：%2").arg(QDir::toNativeSeparators(target), out.errorString()));
}

Result run(BackupHost &host, const QString &buttonCaption, const QString &targetDir)
{
    Result result;
    bool cursorFromCheck = false;
    QString failure;
    try {
        const QString source = store::paths::resultTable();
        if (!QFileInfo::exists(source)) {
            host.message(QStringLiteral("不存在数据文件表"), kNotice, ui::Icon::Information);
            result.outcome = Outcome::Stopped;
            return result;
        }

        const QString yydm = firstYydm(host.tempQuery(), sql::kSelectYydm);
        if (yydm.isEmpty()) {
            host.message(QStringLiteral("申报表无数据！"), kNotice, ui::Icon::Warning);
            result.outcome = Outcome::Stopped;
            return result;
        }

        QString target;
        if (!isUploadCaption(buttonCaption)) {
            target = joinTarget(targetDir, QStringLiteral("result.dbf"));
        } else {
            // Refuse a code that cannot name the file before anything is
            // written (the flags included).
            const QString refusal = refuseProjectCode(projectCodeOf(yydm));
            if (!refusal.isEmpty())
                throw store::Error(refusal);

            const bool passed = host.runUploadCheck();
            cursorFromCheck = passed;
            if (passed) {
                exec(host.dbTempQuery(), sql::kFlagPassed);
            } else {
                const ui::Answer answer = host.message(QStringLiteral("申报有误差提示，是否申报？"), kNotice,
                                                       ui::Icon::None, ui::Buttons::YesNo);
                if (answer != ui::Answer::Yes) {
                    result.outcome = Outcome::Declined;
                    return result;
                }
                exec(host.dbTempQuery(), sql::kFlagConfirmed);
            }
            const QString code = projectCodeOf(firstYydm(host.dbTempQuery(), sql::kSelectCode));
            const QString refused = refuseProjectCode(code);
            if (!refused.isEmpty())
                throw store::Error(refused);
            target = joinTarget(targetDir, uploadFileName(code));
        }

        // Panel 0 names the target whether the copy worked or not; a failed
        // copy then shows its reason under "错误" and no success message.
        try {
            copyReplacing(source, target);
        } catch (...) {
            host.setPathText(pathText(target));
            throw;
        }
        host.setPathText(pathText(target));
        if (cursorFromCheck) {
            host.restoreCursor();
            cursorFromCheck = false;
        }
        host.message(buttonCaption + QStringLiteral("成功"), kNotice, ui::Icon::Warning);
        result.outcome = Outcome::Written;
        result.targetFile = target;
        return result;
    } catch (const store::Error &e) {
        failure = e.message();
    } catch (const std::exception &e) {
        failure = QString::fromUtf8(e.what());
    } catch (...) {
        failure = QStringLiteral("备份时发生未知错误。");
    }
    if (cursorFromCheck)
        host.restoreCursor();
    host.message(failure, kError, ui::Icon::Warning);
    result.outcome = Outcome::Failed;
    return result;
}

} // namespace backup
