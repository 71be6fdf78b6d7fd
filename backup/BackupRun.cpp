#include "backup/BackupRun.h"

#include "store/Error.h"
#include "store/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
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

QString folderProblem(const QString &dir)
{
    const QFileInfo info(dir);
    if (!info.exists())
        return QStringLiteral("文件夹 %1 不存在（也许移动存储设备已拔出）。请重新选择存放路径。")
            .arg(QDir::toNativeSeparators(dir));
    if (!info.isDir())
        return QStringLiteral("%1 不是文件夹。请重新选择存放路径。").arg(QDir::toNativeSeparators(dir));
    if (!info.isWritable())
        return QStringLiteral("没有在文件夹 %1 中写入的权限。请选择您自己的文件夹，例如主文件夹或移动存储设备。")
            .arg(QDir::toNativeSeparators(dir));
    return QString();
}

QString reasonOf(int error)
{
    switch (error) {
    case 0: return QStringLiteral("原因不明");
    case ENOENT: return QStringLiteral("文件或文件夹不存在");
    case EACCES:
    case EPERM: return QStringLiteral("没有权限");
    case EROFS: return QStringLiteral("磁盘是只读的");
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return QStringLiteral("磁盘空间不足");
    case EIO: return QStringLiteral("读写设备出错（也许移动存储设备已拔出或已损坏）");
    case ENOTDIR: return QStringLiteral("路径中有一部分不是文件夹");
    case EISDIR: return QStringLiteral("同名的文件夹已存在");
    case ENAMETOOLONG: return QStringLiteral("路径太长");
    case EMFILE:
    case ENFILE: return QStringLiteral("打开的文件太多");
    case EBUSY:
    case ETXTBSY: return QStringLiteral("文件正被其他程序使用");
    default: break;
    }
    return QStringLiteral("系统错误（代码 %1）").arg(error);
}

namespace {

// The reason of the file call that just failed, from the system's error
// number (the file classes give only the system's English text).
[[noreturn]] void failed(const char *what, const QString &file, int error)
{
    throw store::Error(QStringLiteral("%1 %2 失败：%3。")
                           .arg(QString::fromUtf8(what), QDir::toNativeSeparators(file), reasonOf(error)));
}

} // namespace

void copyReplacing(const QString &source, const QString &target)
{
    // The usual reasons are looked at first and told plainly; what fails
    // after that is told by the system's error number.
    if (!QFileInfo(source).isFile())
        throw store::Error(QStringLiteral("找不到数据文件 %1。").arg(QDir::toNativeSeparators(source)));
    const QString problem = folderProblem(QFileInfo(target).absolutePath());
    if (!problem.isEmpty())
        throw store::Error(QStringLiteral("无法写入 %1：%2").arg(QDir::toNativeSeparators(target), problem));
    if (QFileInfo(target).isDir())
        throw store::Error(QStringLiteral("无法写入 %1：同名的文件夹已存在。请换一个存放路径。")
                               .arg(QDir::toNativeSeparators(target)));

    static const char kRead[] = "读取";
    static const char kWrite[] = "写入";
    QFile in(source);
    errno = 0;
    if (!in.open(QIODevice::ReadOnly))
        failed(kRead, source, errno);
    QSaveFile out(target);
    // A target that is the source itself (backup into the Result folder) is
    // read whole before the rename replaces it, so nothing is lost either.
    out.setDirectWriteFallback(false);
    errno = 0;
    if (!out.open(QIODevice::WriteOnly))
        failed(kWrite, target, errno);
    char buffer[64 * 1024];
    while (true) {
        errno = 0;
        const qint64 n = in.read(buffer, sizeof buffer);
        if (n < 0)
            failed(kRead, source, errno);
        if (n == 0)
            break;
        errno = 0;
        if (out.write(buffer, n) != n)
            failed(kWrite, target, errno);
    }
    errno = 0;
    if (!out.commit())
        failed(kWrite, target, errno);
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
