#include "backup/BackupRun.h"

#include "store/DbfTable.h"
#include "store/Error.h"
#include "store/FileIo.h"
#include "store/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
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

QString windowCaption(Mode mode)
{
    return mode == Mode::Upload ? QStringLiteral("上报监测中心") : QStringLiteral("备份数据");
}

QString commandText(Mode mode) { return mode == Mode::Upload ? QStringLiteral("导出") : QStringLiteral("备份"); }

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

void requireSafeProjectCode(const QString &code)
{
    const auto refuse = [&](const QString &shown, const QString &why) {
        throw store::Error(store::ErrorKind::Range,
                           QStringLiteral("项目编码“%1”不能用作导出文件名：%2。请在数据录入中重新选择项目后再导出。").arg(shown, why));
    };
    if (code.isEmpty())
        refuse(code, QStringLiteral("编码为空"));
    if (code.contains(QStringLiteral("..")))
        refuse(code, QStringLiteral("含有“..”"));
    for (const QChar ch : code) {
        if (ch == QLatin1Char('/') || ch == QLatin1Char('\\'))
            refuse(code, QStringLiteral("含有路径分隔符"));
        if (ch.category() == QChar::Other_Control || ch.unicode() < 0x20 || ch.unicode() == 0x7F)
            refuse(QString(), QStringLiteral("含有控制字符"));
        if (QStringLiteral(":*?\"<>|").contains(ch))
            refuse(code, QStringLiteral("含有文件名中不允许的字符“%1”").arg(ch));
    }
}

QString uploadFileName(const QString &code) { return code + QStringLiteral("SJSB.dbf"); }

void requireWritableFolder(const QString &dir)
{
    const QFileInfo info(dir);
    const QString shown = QDir::toNativeSeparators(dir);
    if (!info.exists())
        throw store::Error(store::ErrorKind::NotFound,
                           QStringLiteral("文件夹 %1 不存在（也许移动存储设备已拔出）。请重新选择存放路径。").arg(shown));
    if (!info.isDir())
        throw store::Error(store::ErrorKind::NotFound, QStringLiteral("%1 不是文件夹。请重新选择存放路径。").arg(shown));
    if (!info.isWritable())
        throw store::Error(store::ErrorKind::Io,
                           QStringLiteral("没有在文件夹 %1 中写入的权限。请选择您自己的文件夹，例如主文件夹或移动存储设备。").arg(shown));
    // A read-only medium or mount, or a full disk.
    try {
        store::fileio::requireWritable(dir);
    } catch (const store::Error &e) {
        throw store::Error(e, QStringLiteral("无法在文件夹 %1 中写入：%2。请重新选择存放路径。").arg(shown, e.message()));
    }
}

void copyReplacing(const QString &source, const QString &target)
{
    // The usual reasons are looked at first and told plainly.
    if (!QFileInfo(source).isFile())
        throw store::Error(store::ErrorKind::NotFound, QStringLiteral("找不到数据文件 %1。").arg(QDir::toNativeSeparators(source)));
    try {
        requireWritableFolder(QFileInfo(target).absolutePath());
    } catch (const store::Error &e) {
        throw store::Error(e, QStringLiteral("无法写入 %1：%2").arg(QDir::toNativeSeparators(target), e.message()));
    }
    if (QFileInfo(target).isDir())
        throw store::Error(store::ErrorKind::Io, QStringLiteral("无法写入 %1：同名的文件夹已存在。请换一个存放路径。")
                               .arg(QDir::toNativeSeparators(target)));

    // The table is read as one statement would (sound, no change half
    // done, no writer meanwhile); the copy gets the target's name only when
    // it is whole on disk, so a full disk leaves an earlier copy as it was.
    // A target that is the source itself (backup into the Result folder) is
    // read whole before the rename replaces it, so nothing is lost either.
    const store::DbfTable table = store::DbfTable::load(source);
    store::fileio::File in = store::fileio::File::open(source, false, store::fileio::Lock::None);
    store::fileio::NewFile out(target);
    const qint64 size = in.size();
    QByteArray buffer;
    for (qint64 pos = 0; pos < size; pos += buffer.size()) {
        buffer.resize(qsizetype(std::min<qint64>(size - pos, 1 << 20)));
        in.readAt(pos, buffer.data(), buffer.size());
        out.write(buffer);
    }
    out.commit();
}

Result run(BackupHost &host, Mode mode, const QString &targetDir)
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
        if (mode == Mode::Backup) {
            target = joinTarget(targetDir, QStringLiteral("result.dbf"));
        } else {
            // Refuse a code that cannot name the file before anything is
            // written (the flags included).
            requireSafeProjectCode(projectCodeOf(yydm));
            target = joinTarget(targetDir, uploadFileName(projectCodeOf(yydm)));
        }
        // The folder comes first: one that is gone or cannot be written is
        // told before the upload's check runs or its flags are written.
        try {
            requireWritableFolder(targetDir);
        } catch (const store::Error &e) {
            host.setPathText(pathText(target));
            throw store::Error(e, QStringLiteral("无法写入 %1：%2").arg(QDir::toNativeSeparators(target), e.message()));
        }
        if (mode == Mode::Upload) {
            const BackupHost::Checked checked = host.runUploadCheck();
            if (checked == BackupHost::Checked::NotRun) {
                // Nothing is flagged or exported for data that was not
                // checked; the check has shown its reason.
                result.outcome = Outcome::Failed;
                return result;
            }
            const bool passed = checked == BackupHost::Checked::Passed;
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
            requireSafeProjectCode(code);
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
        host.message(commandText(mode) + QStringLiteral("成功"), kNotice, ui::Icon::Warning);
        result.outcome = Outcome::Written;
        result.targetFile = target;
        return result;
    } catch (...) {
        failure = store::errorText(QStringLiteral("备份时发生未知错误。"));
    }
    if (cursorFromCheck)
        host.restoreCursor();
    host.message(failure, kError, ui::Icon::Warning);
    result.outcome = Outcome::Failed;
    return result;
}

} // namespace backup
