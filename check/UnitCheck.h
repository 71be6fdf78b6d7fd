#pragma once
// The data-check window TfrmCheck and RunCheck, the check run on the objects
// of a window (its StatusBar1, AQry_Temp, AQry_Tjjctjk, AQry_Shtable1 and
// findings report ReportMX).
#include "check/CheckRun.h"

#include <QDialog>

class QLabel;
class QPushButton;

namespace check {
class FindingsReport;
class PanelStatusBar;
class QueryObject;
} // namespace check

// Runs the check on the window's own objects; message boxes and the preview
// are owned by the window. A call while a run on the same window is going
// returns false at once and does nothing.
bool RunCheck(QWidget *window, CheckMode mode, bool *notRun = nullptr);

namespace check {
// True while RunCheck runs on that window. A window must not close meanwhile.
bool isCheckRunning(const QWidget *window);
} // namespace check

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
