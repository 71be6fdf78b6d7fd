#pragma once
// The backup and upload command: copies Result/result.dbf into a chosen
// directory, as "result.dbf" (backup) or, after the upload's check and the
// upload flag, as the project code + "SJSB.dbf" (upload). One routine serves
// the backup window and pdeclare-cli; the caller supplies a BackupHost.
#include "controls/Message.h"
#include "store/Query.h"

#include <QString>

namespace backup {

class BackupHost {
public:
    virtual ~BackupHost() = default;
    virtual store::Query &tempQuery() = 0;   // AQry_Temp, on Result
    virtual store::Query &dbTempQuery() = 0; // AQry_DBTemp, on Result
    // Every message of the command, owned by the calling window.
    virtual ui::Answer message(const QString &text, const QString &caption, ui::Icon icon,
                               ui::Buttons buttons = ui::Buttons::Ok) = 0;
    // The check run in upload mode. Passed: it finished without findings and
    // left the busy cursor on; NotRun: it could not run at all (rules or
    // findings unreadable) and has told why.
    enum class Checked { Passed, Findings, NotRun };
    virtual Checked runUploadCheck() = 0;
    virtual void restoreCursor() = 0;      // switches the check's busy cursor off
    virtual void setPathText(const QString &text) = 0; // status panel 0
};

// What the command does; chosen by the menu item that opens the window.
enum class Mode {
    Backup, // "备份数据": result.dbf into the directory
    Upload, // "上报监测中心": check, flag, project code + "SJSB.dbf"
};

// The texts of each mode: the window's caption and the command button's
// text, which also names the success message (text + "成功").
QString windowCaption(Mode mode);
QString commandText(Mode mode);

enum class Outcome {
    Written,  // the file was copied and the success message shown
    Declined, // the user answered No to the question: nothing written
    Stopped,  // no table or no data: told the user
    Failed,   // a failure, shown under "错误"
};

struct Result {
    Outcome outcome = Outcome::Failed;
    QString targetFile; // when Written
};

// targetDir is the chosen directory.
Result run(BackupHost &host, Mode mode, const QString &targetDir);

// The chosen directory joined with a file name: one separator between them,
// none added when the directory already ends with one (a root such as "/").
QString joinTarget(const QString &dir, const QString &fileName);

// First four characters (not bytes, not UTF-16 units) of the trimmed code.
QString projectCodeOf(const QString &yydm);
// Raises store::Error (Range) with the reason, in Chinese, unless code +
// "SJSB.dbf" is a safe plain file name in the target directory.
void requireSafeProjectCode(const QString &code);
QString uploadFileName(const QString &code); // code + "SJSB.dbf"

// Replaces target with a copy of source: the bytes go to a temporary file in
// the target's directory which is then renamed over the target, so a failed
// copy leaves an earlier file whole and no half file behind. Throws
// store::Error with the reason, in Chinese.
void copyReplacing(const QString &source, const QString &target);

// Raises store::Error when files cannot be written into dir (NotFound: it
// is missing or no folder; Io: no right to write, a read-only medium, a
// full disk), told to the user in Chinese with what to do.
void requireWritableFolder(const QString &dir);

namespace sql {
inline const char *const kSelectYydm = "select yydm from result ";
inline const char *const kFlagPassed = "update result set bln_zkjy='Y'";
inline const char *const kFlagConfirmed = "update result set bln_zkjy='N'";
inline const char *const kSelectCode = "select yydm from result";
} // namespace sql

} // namespace backup
