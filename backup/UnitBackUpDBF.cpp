#include "backup/UnitBackUpDBF.h"

#include "controls/MessageBox.h"
#include "controls/WindowSupport.h"

#include "backup/BackupRun.h"
#include "store/FileIo.h"
#include "check/CheckObjects.h"
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
#include <QInputDialog>
#include <QSettings>

#include <cerrno>

#include <optional>

namespace {

// The command's host on this window: its query objects, its message boxes,
// the check run on its working-table query and status bar (the rules, the
// findings and their report are the run's own).
class WindowBackupHost : public backup::BackupHost {
public:
    WindowBackupHost(QWidget *window, store::Query &temp, store::Query &dbTemp, check::PanelStatusBar &status)
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
        check::RunObjects own;
        const check::WindowCheckObjects objects{m_temp, own.rules, own.findings, m_status, own.report};
        bool notRun = false;
        const bool passed = check::runOnWindow(m_window, objects, CheckMode::Upload, &notRun, &m_busy);
        return notRun ? Checked::NotRun : passed ? Checked::Passed : Checked::Findings;
    }
    void restoreCursor() override { m_busy.reset(); }
    void setPathText(const QString &text) override { m_status.setPanelText(0, text); }

private:
    QWidget *m_window;
    store::Query &m_temp;
    store::Query &m_dbTemp;
    check::PanelStatusBar &m_status;
    std::optional<ui::BusyCursor> m_busy; // a passed check's, until the copy is done
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

TfrmBackUpDBF::TfrmBackUpDBF(QWidget *owner, backup::Mode mode) : QDialog(owner), m_mode(mode)
{
    setObjectName(QStringLiteral("frmBackUpDBF"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(backup::windowCaption(mode));
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

    btn_Backup = new QPushButton(backup::commandText(mode), panel);
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

    btn_NewFolder = new QPushButton(QStringLiteral("新建文件夹"), panel);
    btn_NewFolder->setObjectName(QStringLiteral("btn_NewFolder"));
    btn_NewFolder->setFont(kaiFont());
    btn_NewFolder->setGeometry(27, 258, 90, 25);
    btn_NewFolder->setAutoDefault(false);
    connect(btn_NewFolder, &QPushButton::clicked, this, &TfrmBackUpDBF::btn_NewFolderClick);
    ui::enterPressesFocusedButton(this);

    // Folders appear in the tree as the model reads them; once the chosen
    // one's parents are read, it is brought into view again.
    connect(m_dirModel, &QFileSystemModel::directoryLoaded, this, [this](const QString &loaded) {
        const QString dir = m_directory;
        if (dir == loaded || dir.startsWith(loaded.endsWith(QLatin1Char('/')) ? loaded : loaded + QLatin1Char('/')))
            showInTree(dir);
    });

    connect(DCmb_RestoreDB, &QComboBox::currentIndexChanged, this, &TfrmBackUpDBF::DCmb_RestoreDBChange);
    // Until the window is shown it looks at home, a folder the user can
    // write to.
    setDirectory(QDir::homePath());
    m_directoryChosen = false;
}

QString TfrmBackUpDBF::settingsKey() const
{
    return m_mode == backup::Mode::Upload ? QStringLiteral("folders/upload") : QStringLiteral("folders/backup");
}

QString TfrmBackUpDBF::startFolder() const
{
    QString dir = QDir::cleanPath(ui::programSettings()->value(settingsKey()).toString());
    // A folder that has gone (a stick taken out) gives the nearest folder
    // above it that is still there.
    while (!dir.isEmpty() && dir != QLatin1String(".") && !QFileInfo(dir).isDir()) {
        const QString up = QFileInfo(dir).absolutePath();
        if (up == dir)
            break;
        dir = up;
    }
    if (dir.isEmpty() || dir == QLatin1String(".") || !QFileInfo(dir).isDir() || QDir(dir).isRoot())
        return QDir::homePath();
    return QDir(dir).absolutePath();
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

void TfrmBackUpDBF::showInTree(const QString &dir)
{
    const QModelIndex index = m_dirModel->index(dir);
    if (!index.isValid())
        return;
    const QSignalBlocker blocker(DLb_RestoreDB->selectionModel());
    DLb_RestoreDB->setCurrentIndex(index);
    DLb_RestoreDB->expand(index);
    DLb_RestoreDB->scrollTo(index); // opens the folders above it too
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
    m_directoryChosen = true;
    // The tree shows the place the folder lies in (the deepest one of the
    // chooser's places that holds it), opened down to the folder.
    int best = -1;
    int bestLength = -1;
    for (int i = 0; i < DCmb_RestoreDB->count(); ++i) {
        const QString place = DCmb_RestoreDB->itemData(i).toString();
        const QString prefix = place.endsWith(QLatin1Char('/')) ? place : place + QLatin1Char('/');
        if ((m_directory == place || m_directory.startsWith(prefix)) && int(place.size()) > bestLength) {
            best = i;
            bestLength = int(place.size());
        }
    }
    if (best >= 0 && best != DCmb_RestoreDB->currentIndex()) {
        const QSignalBlocker blocker(DCmb_RestoreDB);
        DCmb_RestoreDB->setCurrentIndex(best);
    }
    const QString place = best >= 0 ? DCmb_RestoreDB->itemData(best).toString() : m_directory;
    if (m_dirModel->rootPath() != place)
        DLb_RestoreDB->setRootIndex(m_dirModel->setRootPath(place));
    showInTree(m_directory);
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
    WindowBackupHost host(this, AQry_Temp->query(), AQry_DBTemp->query(), *StatusBar1);
    const backup::Result result = backup::run(host, m_mode, m_directory);
    m_commandRunning = false;
    // The file list shows the new file; panel 0 keeps the target's path.
    // The next backup (or upload) starts in this folder, in this run or a
    // later one.
    if (result.outcome == backup::Outcome::Written) {
        refreshFileList();
        ui::programSettings()->setValue(settingsKey(), m_directory);
    }
}

void TfrmBackUpDBF::btn_NewFolderClick()
{
    if (busy())
        return;
    QInputDialog ask(this);
    ask.setWindowTitle(QStringLiteral("新建文件夹"));
    ask.setLabelText(QStringLiteral("在 %1 中新建文件夹，名称：").arg(QDir::toNativeSeparators(m_directory)));
    ask.setTextValue(QStringLiteral("新建文件夹"));
    ask.setOkButtonText(QStringLiteral("确定"));
    ask.setCancelButtonText(QStringLiteral("取消"));
    if (ask.exec() != QDialog::Accepted)
        return;
    const QString name = ask.textValue().trimmed();
    const QString failed = QStringLiteral("无法新建文件夹“%1”：%2");
    QString why;
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        why = QStringLiteral("请输入文件夹的名称。");
    else if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')))
        why = QStringLiteral("名称中不能有“/”或“\\”。");
    else if (QFileInfo::exists(QDir(m_directory).filePath(name)))
        why = QStringLiteral("%1 中已有同名的文件或文件夹。").arg(QDir::toNativeSeparators(m_directory));
    else {
        try {
            backup::requireWritableFolder(m_directory);
        } catch (const store::Error &e) {
            why = e.message();
        }
    }
    if (why.isEmpty()) {
        errno = 0;
        if (QDir(m_directory).mkdir(name)) {
            setDirectory(QDir(m_directory).filePath(name));
            return;
        }
        why = store::fileio::reason(errno) + QStringLiteral("。");
    }
    ui::MessageBox::show(this, failed.arg(name, why), QStringLiteral("错误"), ui::Icon::Warning);
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
    // Start where this window's command (backup or upload) last wrote.
    if (!m_directoryChosen)
        setDirectory(startFolder());
}
