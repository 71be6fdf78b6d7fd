#include "app/UnitMain.h"

#include "app/UnitAbout.h"
#include "backup/UnitBackUpDBF.h"
#include "check/UnitCheck.h"
#include "controls/WindowSupport.h"
#include "controls/MessageBox.h"
#include "entry/UnitInData.h"
#include "print/UnitPrint.h"
#include "store/DbfTable.h"
#include "store/FileIo.h"
#include "store/Paths.h"
#include "store/Query.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QDir>
#include <QVBoxLayout>

#include <exception>

namespace {

QString T(const char *utf8) { return QString::fromUtf8(utf8); }

// The menu tree, in display order. No item has a shortcut.
struct MenuItem {
    const char *name;
    const char *text;
    void (TfrmMain::*handler)();
};
struct MenuEntry {
    const char *name;
    const char *text;
    std::vector<MenuItem> items;
};

const std::vector<MenuEntry> &menuTree()
{
    static const std::vector<MenuEntry> tree = {
        {"N1", "数据编辑", {{"N2", "数据录入", &TfrmMain::N2Click}}},
        {"N3", "报表打印", {{"N4", "打印空白表", &TfrmMain::N4Click}, {"N5", "打印数据表", &TfrmMain::N5Click}}},
        {"N6",
         "数据转存",
         {{"N7", "数据检验", &TfrmMain::N7Click},
          {"N9", "数据备份", &TfrmMain::N9Click},
          {"N8", "上报监测中心", &TfrmMain::N8Click}}},
        {"N12",
         "帮助",
         {{"N13", "评审数据表说明", &TfrmMain::N13Click},
          {"N14", "程序操作手册", &TfrmMain::N14Click},
          {"N15", "关于", &TfrmMain::N15Click}}},
        {"N10", "退出", {{"N11", "退出程序", &TfrmMain::N11Click}}},
    };
    return tree;
}

// The style sheet this program applied last, so that a later start-up
// without a skin file takes only its own skin away again.
QString &appliedSkin()
{
    static QString sheet;
    return sheet;
}

} // namespace

TfrmMain::TfrmMain(QWidget *parent) : QMainWindow(parent), m_tmp(std::make_unique<store::Query>(QStringLiteral("AQry_Tmp")))
{
    Q_INIT_RESOURCE(PDeclare);
    // The program's own icon on every window (and in the task bar).
    QApplication::setWindowIcon(programIcon());
    setObjectName(QStringLiteral("frmMain"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(T("Orvandel\"十五\"重点专科（专病）项目建设评审验收数据申报表"));
    QFont windowFont(QStringLiteral("MS Sans Serif"));
    windowFont.setPixelSize(11);
    setFont(windowFont);
    // Button-face background.
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Button));
    setPalette(palette);
    setAutoFillBackground(true);

    buildMenu();

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::NoFrame);
    auto *layout = new QVBoxLayout(Panel1);
    layout->setContentsMargins(0, 0, 0, 0);
    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setScaledContents(true); // stretched, the aspect ratio not kept
    Image1->setPixmap(QPixmap(pictureResource()));
    Image1->setMinimumSize(1, 1);
    layout->addWidget(Image1);
    setCentralWidget(Panel1);

    runStartup();
    // After the skin: its menu bar may be taller than the plain one.
    fitToClientArea();
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint, true);
    ui::centreOnScreen(this);
}

void TfrmMain::fitToClientArea()
{
    // Fixed size: the client area below the menu bar is 616 x 425.
    setFixedSize(ClientWidth, ClientHeight + menuBar()->sizeHint().height());
}

void TfrmMain::showEvent(QShowEvent *event)
{
    fitToClientArea();
    QMainWindow::showEvent(event);
}

TfrmMain::~TfrmMain() = default;

QString TfrmMain::pictureResource() { return QStringLiteral(":/app/still_life.jpg"); }

QIcon TfrmMain::programIcon()
{
    Q_INIT_RESOURCE(PDeclare);
    QIcon icon;
    for (int size : {16, 32, 48, 256})
        icon.addFile(QStringLiteral(":/app/pdeclare_%1.png").arg(size), QSize(size, size));
    return icon;
}

store::Query &TfrmMain::AQry_Tmp() const { return *m_tmp; }

void TfrmMain::buildMenu()
{
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    for (const MenuEntry &entry : menuTree()) {
        QMenu *menu = bar->addMenu(T(entry.text));
        menu->setObjectName(QLatin1String(entry.name));
        for (const MenuItem &item : entry.items) {
            QAction *action = menu->addAction(T(item.text));
            action->setObjectName(QLatin1String(item.name));
            connect(action, &QAction::triggered, this, item.handler);
        }
    }
}

void TfrmMain::runStartup()
{
    // Temporary files of a write that a kill interrupted.
    store::fileio::removeLeftovers(store::paths::dataMetaDir());
    store::fileio::removeLeftovers(store::paths::resultDir());
    QString resultProblem;
    try {
        applySkin();
        store::paths::prepareProgramDir(); // the user's own folder on first start
        try {
            createWorkingTable();
        } catch (const store::Error &e) {
            resultProblem = e.message(); // told below; the other steps run
        }
        connectTmp();
        purgeFindings();
    } catch (const std::exception &e) {
        ui::MessageBox::showStandardError(this, ui::errorText(e));
    }
    if (!resultProblem.isEmpty())
        ui::MessageBox::showStandardError(this, resultProblem);
}

bool TfrmMain::applySkin()
{
    auto *application = qobject_cast<QApplication *>(QCoreApplication::instance());
    if (!application)
        return false;
    QFile file(store::paths::skinFile());
    if (!file.open(QIODevice::ReadOnly)) {
        if (!appliedSkin().isEmpty() && application->styleSheet() == appliedSkin())
            application->setStyleSheet(QString());
        appliedSkin().clear();
        return false;
    }
    appliedSkin() = QString::fromUtf8(file.readAll());
    application->setStyleSheet(appliedSkin());
    return true;
}

bool TfrmMain::createWorkingTable()
{
    const QString target = store::paths::resultTable();
    const QString dir = store::paths::resultDir();
    const QString templ = store::paths::templateTable();
    auto unwritable = [&](const QString &why) {
        return store::Error(QStringLiteral("无法在文件夹 %1 中保存数据：%2。录入的数据将无法保存，请先解决这个问题再录入。")
                                .arg(QDir::toNativeSeparators(dir), why));
    };
    if (QFileInfo::exists(target)) {
        const QString why = store::fileio::cannotWrite(dir);
        if (!why.isEmpty())
            throw unwritable(why);
        return false;
    }
    if (!QFileInfo(dir).isDir() || !QFileInfo::exists(templ))
        return false;
    // Only a sound table is copied: a damaged template would give a working
    // table that every later step refuses.
    QByteArray bytes;
    try {
        const store::DbfTable table = store::DbfTable::load(templ);
        store::fileio::File file = store::fileio::File::open(templ, false, store::fileio::Lock::None);
        bytes.resize(qsizetype(file.size()));
        file.readAt(0, bytes.data(), bytes.size());
    } catch (const store::Error &e) {
        throw store::Error(QStringLiteral("数据模板不是有效的表，没有建立工作表 result.dbf。请重新安装程序。\n%1").arg(e.message()));
    }
    const QString why = store::fileio::cannotWrite(dir);
    if (!why.isEmpty())
        throw unwritable(why);
    // The copy is written whole beside the target and then given its name
    // only when the name is free: the working table appears whole or not at
    // all, and an existing one is never replaced.
    try {
        store::fileio::NewFile copy(target);
        copy.write(bytes);
        return copy.commit(false);
    } catch (const store::Error &e) {
        throw unwritable(e.message());
    }
}

void TfrmMain::connectTmp() { m_tmp->setConnectionString(store::paths::connectionString(QStringLiteral("DataMeta"))); }

void TfrmMain::purgeFindings()
{
    m_tmp->close();
    m_tmp->clearSql();
    m_tmp->setSql(QStringLiteral("Pack shtable1 "));
    m_tmp->execSql();
}

template <class Window, class... Choice>
void TfrmMain::showModal(Choice... choice)
{
    QPointer<Window> window;
    try {
        window = new Window(this, choice...);
        window->exec();
    } catch (const std::exception &e) {
        ui::MessageBox::showStandardError(this, ui::errorText(e));
    }
    // Every menu window frees itself on closing; one closed by other means
    // than a close (done(), a failure above) is freed here.
    if (window) {
        window->hide();
        window->deleteLater();
    }
}

void TfrmMain::N2Click() { showModal<TfrmInData>(); }

void TfrmMain::N4Click() { showModal<TfrmPrint>(print::FormVariant::Blank); }

void TfrmMain::N5Click() { showModal<TfrmPrint>(print::FormVariant::Data); }

void TfrmMain::N7Click() { showModal<TfrmCheck>(); }

void TfrmMain::N9Click() { showModal<TfrmBackUpDBF>(backup::Mode::Backup); }

void TfrmMain::N8Click() { showModal<TfrmBackUpDBF>(backup::Mode::Upload); }

void TfrmMain::N13Click() { openHelpDocument(this, store::paths::formDescriptionDoc()); }

void TfrmMain::N14Click() { openHelpDocument(this, store::paths::operationManualDoc()); }

void TfrmMain::N15Click() { showModal<TfrmAbout>(); }

void TfrmMain::N11Click() { close(); }
