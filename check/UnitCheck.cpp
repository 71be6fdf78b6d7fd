#include "check/UnitCheck.h"

#include "check/CheckObjects.h"
#include "check/FindingsReport.h"
#include "controls/WindowSupport.h"
#include "controls/MessageBox.h"
#include "store/Error.h"
#include "store/Paths.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>

#include <optional>

namespace check {

namespace {

const char *const kRunningProperty = "pdeclareCheckRunning";

// The check run's host on a window: the objects the window handed over.
class WindowCheckHost : public CheckHost {
public:
    WindowCheckHost(QWidget *window, const WindowCheckObjects &objects, std::optional<ui::BusyCursor> *busy)
        : m_window(window), m_objects(objects), m_busy(busy ? *busy : m_ownBusy)
    {
    }

    store::Query &tempQuery() override { return m_objects.temp; }
    store::Query &rulesQuery() override { return m_objects.rules; }
    store::Query &findingsQuery() override { return m_objects.findings; }

    void setPanelText(int panel, const QString &text) override { m_objects.status.setPanelText(panel, text); }
    void processEvents() override { QCoreApplication::processEvents(QEventLoop::AllEvents); }
    void setBusy(bool on) override
    {
        if (on)
            m_busy.emplace();
        else
            m_busy.reset();
    }
    void showMessage(const QString &text) override
    {
        ui::MessageBox::show(m_window, text, QStringLiteral("提示"), ui::Icon::Warning, ui::Buttons::Ok);
    }
    void previewFindings(store::Query &findings) override { m_objects.report.preview(m_window, findings); }

private:
    QWidget *m_window;
    const WindowCheckObjects &m_objects;
    std::optional<ui::BusyCursor> m_ownBusy;
    std::optional<ui::BusyCursor> &m_busy;
};

} // namespace

bool isCheckRunning(const QWidget *window)
{
    return window && window->property(kRunningProperty).toBool();
}

} // namespace check

namespace check {

RunObjects::RunObjects()
    : rules(QStringLiteral("AQry_Tjjctjk")), findings(QStringLiteral("AQry_Shtable1")), report(nullptr)
{
    rules.setDirectory(store::paths::dataMetaDir());
    findings.setDirectory(store::paths::dataMetaDir());
}

bool runOnWindow(QWidget *window, const WindowCheckObjects &objects, CheckMode mode, bool *notRun,
                 std::optional<ui::BusyCursor> *busy)
{
    if (notRun)
        *notRun = false;
    if (!window || isCheckRunning(window))
        return false;
    QPointer<QWidget> guard(window);
    window->setProperty(kRunningProperty, true);
    WindowCheckHost host(window, objects, busy);
    const bool passed = runCheck(host, mode, notRun);
    if (guard)
        window->setProperty(kRunningProperty, false);
    return passed;
}

} // namespace check

bool RunCheck(TfrmCheck *window, CheckMode mode, bool *notRun, std::optional<ui::BusyCursor> *busy)
{
    if (notRun)
        *notRun = false;
    if (!window)
        return false;
    const check::WindowCheckObjects objects{window->AQry_Temp->query(), window->AQry_Tjjctjk->query(),
                                            window->AQry_Shtable1->query(), *window->StatusBar1, *window->ReportMX};
    return check::runOnWindow(window, objects, mode, notRun, busy);
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
    ui::enterPressesFocusedButton(this);

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
