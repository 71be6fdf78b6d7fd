#pragma once
// The data-check window TfrmCheck and RunCheck, the check run on objects a
// window hands it: its working-table query (AQry_Temp), the rules and
// findings queries (AQry_Tjjctjk, AQry_Shtable1), its status bar
// (StatusBar1) and the findings report (ReportMX).
#include "check/CheckRun.h"
#include "check/FindingsReport.h"
#include "controls/WindowSupport.h"

#include <QDialog>

#include <optional>

class QLabel;
class QPushButton;
class TfrmCheck;

namespace check {
class PanelStatusBar;
class QueryObject;

// What a run works on, given by its host window.
struct WindowCheckObjects {
    store::Query &temp;     // AQry_Temp, on Result
    store::Query &rules;    // AQry_Tjjctjk, on DataMeta
    store::Query &findings; // AQry_Shtable1, on DataMeta
    PanelStatusBar &status; // StatusBar1: panels 0 and 1
    FindingsReport &report; // ReportMX
};

// The rules and findings queries and the findings report for a window that
// has a working-table query and a status bar of its own but is not the check
// window (the upload's check from the backup window).
class RunObjects {
public:
    RunObjects();
    store::Query rules;
    store::Query findings;
    FindingsReport report;
};

// Runs the check on those objects; message boxes and the preview are owned
// by the window. A call while a run on the same window is going returns
// false at once and does nothing.
// An upload run that passes leaves its busy cursor on for the upload to end:
// busy then holds it (without busy, the run ends its own).
bool runOnWindow(QWidget *window, const WindowCheckObjects &objects, CheckMode mode, bool *notRun = nullptr,
                 std::optional<ui::BusyCursor> *busy = nullptr);

// True while a run works on that window. A window must not close meanwhile.
bool isCheckRunning(const QWidget *window);
} // namespace check

// Runs the check on the check window's own objects (busy as for runOnWindow).
bool RunCheck(TfrmCheck *window, CheckMode mode, bool *notRun = nullptr,
              std::optional<ui::BusyCursor> *busy = nullptr);

class TfrmCheck : public QDialog {
    Q_OBJECT
public:
    explicit TfrmCheck(QWidget *owner = nullptr);

    QString panelText(int panel) const;
    check::PanelStatusBar *statusBar() const { return StatusBar1; }

    void reject() override; // Esc: closes like "退出"

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void Btn_CheckClick();
    void Btn_ExitClick();
    friend bool RunCheck(TfrmCheck *window, CheckMode mode, bool *notRun, std::optional<ui::BusyCursor> *busy);

    QLabel *Label1 = nullptr;
    QPushButton *Btn_Check = nullptr;
    QPushButton *Btn_Exit = nullptr;
    check::PanelStatusBar *StatusBar1 = nullptr;
    check::QueryObject *AQry_Temp = nullptr;
    check::QueryObject *AQry_Tjjctjk = nullptr;
    check::QueryObject *AQry_Shtable1 = nullptr;
    check::FindingsReport *ReportMX = nullptr;
    bool m_closePending = false; // "退出" or the close box pressed during a run
};
