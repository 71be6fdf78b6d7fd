#pragma once
// The check run: every rule of tjjctjk over the rows of result, the findings
// into shtable1, progress in two status panels, the findings report when
// there is anything to report. One routine serves the check window, the
// upload and pdeclare-cli; each caller supplies a CheckHost that gives the
// run its query objects and shows what it shows.
#include "store/Query.h"

#include <QString>

// Window mode: the check window's "检测" (tests for data first, tells the
// user when the data passed). Upload mode: the upload's own check (no data
// test, no pass message; the result decides the upload flag).
enum class CheckMode { Window, Upload };

namespace check {

class CheckHost {
public:
    virtual ~CheckHost() = default;
    virtual store::Query &tempQuery() = 0;     // AQry_Temp, on Result
    virtual store::Query &rulesQuery() = 0;    // AQry_Tjjctjk, on DataMeta
    virtual store::Query &findingsQuery() = 0; // AQry_Shtable1, on DataMeta
    virtual void setPanelText(int panel, const QString &text) = 0;
    virtual void processEvents() = 0;
    virtual void setBusy(bool on) = 0;
    // A notice ("提示", warning icon, OK) owned by the calling window.
    virtual void showMessage(const QString &text) = 0;
    // Shows the findings report over the open findings query; returns when
    // the user has closed it.
    virtual void previewFindings(store::Query &findings) = 0;
};

// Runs the check. Returns true when the run finished without findings
// (window mode: after telling the user; upload mode: with the busy cursor
// still on, for the upload to switch off). Returns false when there was no
// data, when there were findings (after the preview closed) or when a
// statement failed (after its message). Never throws.
// notRun (when given) tells whether the check failed to run at all.
bool runCheck(CheckHost &host, CheckMode mode, bool *notRun = nullptr);

// " 检验，完成：" + the figure in its shortest form with the system's
// decimal separator + "%".
QString progressText(double percent);

// The statements of the run.
namespace sql {
inline const char *const kSelectYydm = "select yydm from result ";
inline const char *const kSelectRules = "select * from tjjctjk ";
inline const char *const kSelectRowsWhere = "select nd from result where ";
inline const char *const kSelectFindings = "select * from shtable1 ";
} // namespace sql

// A column value as text: null reads as the empty text.
QString textOf(const store::Query &query, const QString &column);

} // namespace check
