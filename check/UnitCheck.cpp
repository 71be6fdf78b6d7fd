#include "check/UnitCheck.h"

#include "check/CheckObjects.h"
#include "check/FindingsReport.h"
#include "controls/WindowSupport.h"
#include "controls/MessageBox.h"
#include "store/Error.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>

namespace check {

namespace {

const char *const kRunningProperty = "pdeclareCheckRunning";

// The check run's host on a window: the objects are looked up by name, so
// any window carrying them (check window, backup window) can run the check.
class WindowCheckHost : public CheckHost {
public:
    explicit WindowCheckHost(QWidget *window) : m_window(window)
    {
        m_temp = QueryObject::find(window, QStringLiteral("AQry_Temp"));
        m_rules = QueryObject::find(window, QStringLiteral("AQry_Tjjctjk"));
        m_findings = QueryObject::find(window, QStringLiteral("AQry_Shtable1"));
        m_status = window->findChild<PanelStatusBar *>(QStringLiteral("StatusBar1"));
        m_report = window->findChild<FindingsReport *>(QStringLiteral("ReportMX"));
    }

    store::Query &tempQuery() override { return need(m_temp, "AQry_Temp"); }
    store::Query &rulesQuery() override { return need(m_rules, "AQry_Tjjctjk"); }
    store::Query &findingsQuery() override { return need(m_findings, "AQry_Shtable1"); }

    void setPanelText(int panel, const QString &text) override
    {
        if (m_status)
            m_status->setPanelText(panel, text);
    }
    void processEvents() override { QCoreApplication::processEvents(QEventLoop::AllEvents); }
    void setBusy(bool on) override
    {
        if (on)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    }
    void showMessage(const QString &text) override
    {
        ui::MessageBox::show(m_window, text, QStringLiteral("提示"), ui::Icon::Warning, ui::Buttons::Ok);
    }
    void previewFindings(store::Query &findings) override
    {
        if (m_report) {
            m_report->preview(m_window, findings);
        } else {
            const FindingsReport report(nullptr);
            report.preview(m_window, findings);
        }
    }

private:
    store::Query &need(store::Query *query, const char *name)
    {
        if (!query)
            throw store::Error(QStringLiteral("窗口缺少查询对象 %1。").arg(QString::fromLatin1(name)));
        return *query;
    }

    QWidget *m_window;
    store::Query *m_temp = nullptr;
    store::Query *m_rules = nullptr;
    store::Query *m_findings = nullptr;
    PanelStatusBar *m_status = nullptr;
    FindingsReport *m_report = nullptr;
};

} // namespace

bool isCheckRunning(const QWidget *window)
{
    return window && window->property(kRunningProperty).toBool();
}

} // namespace check

bool RunCheck(QWidget *window, CheckMode mode, bool *notRun)
{
    if (notRun)
        *notRun = false;
    if (!window || check::isCheckRunning(window))
        return false;
    QPointer<QWidget> guard(window);
    window->setProperty(check::kRunningProperty, true);
    check::WindowCheckHost host(window);
    const bool passed = check::runCheck(host, mode, notRun);
    if (guard)
        window->setProperty(check::kRunningProperty, false);
    return passed;
}

TfrmCheck::TfrmCheck(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmCheck"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("检测数据  "));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint, true);
    setFixedSize(291, 116);

    Label1 = new QLabel(QStringLiteral("检测数据  "), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont titleFont(QStringLiteral("宋体"));
    titleFont.setPixelSize(21);
    titleFont.setBold(true);
    Label1->setFont(titleFont);
    Label1->move(96, 16);
    Label1->adjustSize();

    Btn_Check = new QPushButton(QStringLiteral("检测"), this);
    Btn_Check->setObjectName(QStringLiteral("Btn_Check"));
    Btn_Check->setGeometry(64, 56, 75, 25);
    Btn_Check->setAutoDefault(false);
    connect(Btn_Check, &QPushButton::clicked, this, &TfrmCheck::Btn_CheckClick);

    Btn_Exit = new QPushButton(QStringLiteral("退出"), this);
    Btn_Exit->setObjectName(QStringLiteral("Btn_Exit"));
    Btn_Exit->setGeometry(152, 56, 75, 25);
    Btn_Exit->setAutoDefault(false);
    connect(Btn_Exit, &QPushButton::clicked, this, &TfrmCheck::Btn_ExitClick);

    StatusBar1 = new check::PanelStatusBar(this, {150, 120});
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    QFont panelFont(QStringLiteral("Tahoma"));
    panelFont.setPixelSize(11);
    StatusBar1->setFont(panelFont);
    const int statusHeight = 19;
    StatusBar1->setGeometry(0, height() - statusHeight, width(), statusHeight);

    // Connection strings are built when the window is created.
    AQry_Temp = new check::QueryObject(this, QStringLiteral("AQry_Temp"), QStringLiteral("Result"));
    AQry_Tjjctjk = new check::QueryObject(this, QStringLiteral("AQry_Tjjctjk"), QStringLiteral("DataMeta"));
    AQry_Shtable1 = new check::QueryObject(this, QStringLiteral("AQry_Shtable1"), QStringLiteral("DataMeta"));
    ReportMX = new check::FindingsReport(this);
}

QString TfrmCheck::panelText(int panel) const { return StatusBar1->panelText(panel); }

void TfrmCheck::Btn_CheckClick()
{
    // A click that arrives while a run is going (its events are processed
    // after every rule) is ignored: RunCheck refuses to start a second run.
    if (check::isCheckRunning(this))
        return;
    RunCheck(this, CheckMode::Window);
    if (m_closePending) {
        m_closePending = false;
        close();
    }
}

void TfrmCheck::Btn_ExitClick() { close(); }

void TfrmCheck::reject()
{
    // Esc (and QDialog's own close handling) ends up here.
    if (check::isCheckRunning(this)) {
        m_closePending = true;
        return;
    }
    QDialog::reject();
}

void TfrmCheck::closeEvent(QCloseEvent *event)
{
    // The run works on this window's objects: closing (and so freeing) the
    // window waits until the run has ended, then happens by itself.
    if (check::isCheckRunning(this)) {
        m_closePending = true;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TfrmCheck::showEvent(QShowEvent *event)
{
    ui::centreOnScreen(this);
    QDialog::showEvent(event);
}
