#include "backup/UnitBackUpDBF.h"

#include "controls/MessageBox.h"
#include "controls/WindowSupport.h"

#include "backup/BackupRun.h"
#include "check/CheckObjects.h"
#include "check/FindingsReport.h"
#include "check/UnitCheck.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QTreeView>

namespace {

// The command's host on this window: its query objects, its message boxes,
// the check run on its own status bar and findings report.
class WindowBackupHost : public backup::BackupHost {
public:
    WindowBackupHost(QWidget *window, store::Query &temp, store::Query &dbTemp, check::PanelStatusBar *status)
        : m_window(window), m_temp(temp), m_dbTemp(dbTemp), m_status(status)
    {
    }
    store::Query &tempQuery() override { return m_temp; }
    store::Query &dbTempQuery() override { return m_dbTemp; }
    ui::Answer message(const QString &text, const QString &caption, ui::Icon icon, ui::Buttons buttons) override
    {
        return ui::MessageBox::show(m_window, text, caption, icon, buttons);
    }
    Checked runUploadCheck() override
    {
        bool notRun = false;
        const bool passed = RunCheck(m_window, CheckMode::Upload, &notRun);
        return notRun ? Checked::NotRun : passed ? Checked::Passed : Checked::Findings;
    }
    void restoreCursor() override { QApplication::restoreOverrideCursor(); }
    void setPathText(const QString &text) override { m_status->setPanelText(0, text); }

private:
    QWidget *m_window;
    store::Query &m_temp;
    store::Query &m_dbTemp;
    check::PanelStatusBar *m_status;
};

QFont kaiFont()
{
    QFont font(QStringLiteral("楷体_GB2312"));
    font.setPixelSize(14);
    return font;
}

} // namespace

QStringList TfrmBackUpDBF::places()
{
    QStringList list;
    auto add = [&list](const QString &path) {
        if (path.isEmpty())
            return;
        const QString clean = QDir::cleanPath(QDir(path).absolutePath());
        if (QFileInfo(clean).isDir() && !list.contains(clean))
            list << clean;
    };
    for (const QFileInfo &drive : QDir::drives())
        add(drive.absoluteFilePath());
    add(QDir::homePath());
    add(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
    // Mounted media: the folders below the usual mount points (and the
    // per-user ones below them).
    for (const QString &base : {QStringLiteral("/media"), QStringLiteral("/run/media"), QStringLiteral("/mnt")}) {
        const QDir dir(base);
        for (const QString &name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
            const QString mounted = dir.filePath(name);
            if (QStorageInfo(mounted).rootPath() == mounted) {
                add(mounted);
                continue;
            }
            const QDir user(mounted);
            for (const QString &sub : user.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
                add(user.filePath(sub));
        }
    }
    return list;
}

TfrmBackUpDBF::TfrmBackUpDBF(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("frmBackUpDBF"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("备份数据"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint, true);
    setFixedSize(380, 314);

    auto *panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameShape(QFrame::NoFrame);
    panel->setGeometry(0, 0, 380, 314 - 22);

    Lbl_Caption = new QLabel(QStringLiteral("存放路径："), panel);
    Lbl_Caption->setObjectName(QStringLiteral("Lbl_Caption"));
    QFont captionFont(QStringLiteral("宋体"));
    captionFont.setPixelSize(19);
    Lbl_Caption->setFont(captionFont);
    Lbl_Caption->setGeometry(27, 8, 95, 19);

    DCmb_RestoreDB = new QComboBox(panel);
    DCmb_RestoreDB->setObjectName(QStringLiteral("DCmb_RestoreDB"));
    DCmb_RestoreDB->setGeometry(27, 34, 159, 19);
    for (const QString &place : places())
        DCmb_RestoreDB->addItem(QDir::toNativeSeparators(place), place);

    m_dirModel = new QFileSystemModel(this);
    m_dirModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    m_dirModel->setReadOnly(true);
    DLb_RestoreDB = new QTreeView(panel);
    DLb_RestoreDB->setObjectName(QStringLiteral("DLb_RestoreDB"));
    DLb_RestoreDB->setGeometry(27, 63, 160, 180);
    DLb_RestoreDB->setModel(m_dirModel);
    for (int column = 1; column < m_dirModel->columnCount(); ++column)
        DLb_RestoreDB->hideColumn(column);
    DLb_RestoreDB->header()->hide();
    connect(DLb_RestoreDB->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) {
                if (current.isValid())
                    DLb_RestoreDBChange(m_dirModel->filePath(current));
            });

    FLb_RestoreDB = new QListWidget(panel);
    FLb_RestoreDB->setObjectName(QStringLiteral("FLb_RestoreDB"));
    FLb_RestoreDB->setGeometry(197, 34, 161, 209);

    btn_Backup = new QPushButton(QStringLiteral("备份"), panel);
    btn_Backup->setObjectName(QStringLiteral("btn_Backup"));
    btn_Backup->setFont(kaiFont());
    btn_Backup->setGeometry(210, 258, 75, 25);
    btn_Backup->setAutoDefault(false);
    connect(btn_Backup, &QPushButton::clicked, this, &TfrmBackUpDBF::btn_BackupClick);

    btn_Close = new QPushButton(QStringLiteral("关闭"), panel);
    btn_Close->setObjectName(QStringLiteral("btn_Close"));
    btn_Close->setFont(kaiFont());
    btn_Close->setGeometry(291, 257, 75, 25);
    btn_Close->setAutoDefault(false);
    connect(btn_Close, &QPushButton::clicked, this, &TfrmBackUpDBF::btn_CloseClick);

    StatusBar1 = new check::PanelStatusBar(this, {250, 50});
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setGeometry(0, 314 - 22, 380, 22);

    AQry_Temp = new check::QueryObject(this, QStringLiteral("AQry_Temp"), QStringLiteral("Result"));
    AQry_DBTemp = new check::QueryObject(this, QStringLiteral("AQry_DBTemp"), QStringLiteral("Result"));
    AQry_Tjjctjk = new check::QueryObject(this, QStringLiteral("AQry_Tjjctjk"), QStringLiteral("DataMeta"));
    AQry_Shtable1 = new check::QueryObject(this, QStringLiteral("AQry_Shtable1"), QStringLiteral("DataMeta"));
    ReportMX = new check::FindingsReport(this);

    connect(DCmb_RestoreDB, &QComboBox::currentIndexChanged, this, &TfrmBackUpDBF::DCmb_RestoreDBChange);
    if (DCmb_RestoreDB->count() > 0)
        DCmb_RestoreDBChange(0);
}

void TfrmBackUpDBF::DCmb_RestoreDBChange(int index)
{
    const QString place = DCmb_RestoreDB->itemData(index).toString();
    if (place.isEmpty())
        return;
    // The tree shows the chosen place and what lies below it.
    const QModelIndex root = m_dirModel->setRootPath(place);
    DLb_RestoreDB->setRootIndex(root);
    setDirectory(place);
}

void TfrmBackUpDBF::DLb_RestoreDBChange(const QString &dir)
{
    if (QDir::cleanPath(dir) == m_directory)
        return;
    m_directory = QDir::cleanPath(dir);
    refreshFileList();
    showDirectoryText();
}

void TfrmBackUpDBF::setDirectory(const QString &dir)
{
    m_directory = QDir::cleanPath(QDir(dir).absolutePath());
    const QModelIndex index = m_dirModel->index(m_directory);
    if (index.isValid()) {
        const QSignalBlocker blocker(DLb_RestoreDB->selectionModel());
        DLb_RestoreDB->setCurrentIndex(index);
        DLb_RestoreDB->scrollTo(index);
    }
    refreshFileList();
    showDirectoryText();
}

void TfrmBackUpDBF::refreshFileList()
{
    FLb_RestoreDB->clear();
    const QDir dir(m_directory);
    FLb_RestoreDB->addItems(dir.entryList({QStringLiteral("*.dbf")}, QDir::Files, QDir::Name | QDir::IgnoreCase));
}

void TfrmBackUpDBF::showDirectoryText()
{
    StatusBar1->setPanelText(0, QStringLiteral("存放路径：") + QDir::toNativeSeparators(m_directory)
                                    + QStringLiteral("  "));
}

QString TfrmBackUpDBF::panelText(int panel) const { return StatusBar1->panelText(panel); }

QStringList TfrmBackUpDBF::listedFiles() const
{
    QStringList names;
    for (int i = 0; i < FLb_RestoreDB->count(); ++i)
        names << FLb_RestoreDB->item(i)->text();
    return names;
}

bool TfrmBackUpDBF::busy() const { return m_commandRunning || check::isCheckRunning(this); }

void TfrmBackUpDBF::btn_BackupClick()
{
    // A press while the upload's check runs (its events are processed after
    // every rule) is ignored.
    if (busy())
        return;
    m_commandRunning = true;
    WindowBackupHost host(this, AQry_Temp->query(), AQry_DBTemp->query(), StatusBar1);
    const backup::Result result = backup::run(host, btn_Backup->text(), m_directory);
    m_commandRunning = false;
    // The file list shows the new file; panel 0 keeps the target's path.
    if (result.outcome == backup::Outcome::Written)
        refreshFileList();
}

void TfrmBackUpDBF::btn_CloseClick()
{
    if (busy())
        return;
    close();
}

void TfrmBackUpDBF::reject()
{
    if (busy())
        return;
    QDialog::reject();
}

void TfrmBackUpDBF::closeEvent(QCloseEvent *event)
{
    // The command works on this window's objects; the close box waits for
    // it like the buttons do.
    if (busy()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TfrmBackUpDBF::showEvent(QShowEvent *event)
{
    ui::centreOnScreen(this);
    QDialog::showEvent(event);
}
