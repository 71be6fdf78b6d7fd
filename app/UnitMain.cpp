#include "app/UnitMain.h"

#include "app/UnitAbout.h"
#include "backup/UnitBackUpDBF.h"
#include "check/UnitCheck.h"
#include "controls/WindowSupport.h"
#include "controls/MessageBox.h"
#include "controls/Skin.h"
#include "entry/UnitInData.h"
#include "print/UnitPrint.h"
#include "store/Paths.h"
#include "store/Query.h"
#include "store/Startup.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QImageReader>
#include <QLabel>
#include <QMenuBar>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QVBoxLayout>

#include <exception>
#include <future>

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

QList<QImage> readIcon()
{
    // Read as PNG, named: an image file of no named format is offered to
    // every image format plugin of the system in turn, each loaded for it.
    QList<QImage> sizes;
    for (int size : {16, 32, 48, 256}) {
        QImageReader reader(QStringLiteral(":/app/pdeclare_%1.png").arg(size), "png");
        reader.setAutoDetectImageFormat(false);
        sizes << reader.read();
    }
    return sizes;
}

QImage readPicture() { return QImageReader(TfrmMain::pictureResource()).read(); }

QIcon iconOf(const QList<QImage> &sizes)
{
    QIcon icon;
    for (const QImage &image : sizes)
        icon.addPixmap(QPixmap::fromImage(image));
    return icon;
}

} // namespace

TfrmMain::TfrmMain(QWidget *parent) : QMainWindow(parent), m_tmp(std::make_unique<store::Query>(QStringLiteral("AQry_Tmp")))
{
    Q_INIT_RESOURCE(PDeclare);
    // The program's own icon on every window (and in the task bar).
    QApplication::setWindowIcon(programIcon());
    // The picture is decoded on another thread while the menu is made.
    std::future<QImage> picture = std::async(std::launch::async, readPicture);
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

    // The start-up sequence before the widgets are made: a style sheet set
    // afterwards would style every one of them a second time.
    runStartup();

    buildMenu();

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::NoFrame);
    auto *layout = new QVBoxLayout(Panel1);
    layout->setContentsMargins(0, 0, 0, 0);
    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setScaledContents(true); // stretched, the aspect ratio not kept
    Image1->setPixmap(QPixmap::fromImage(picture.get()));
    Image1->setMinimumSize(1, 1);
    layout->addWidget(Image1);
    setCentralWidget(Panel1);

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
    return iconOf(readIcon());
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
    applySkin();
    const QStringList problems = store::startup::run();
    connectTmp();
    for (const QString &problem : problems)
        ui::MessageBox::showStandardError(this, problem);
}

bool TfrmMain::applySkin() { return ui::applySkin(); }

bool TfrmMain::createWorkingTable() { return store::startup::createWorkingTable(); }

void TfrmMain::connectTmp() { m_tmp->setDirectory(store::paths::dataMetaDir()); }

void TfrmMain::purgeFindings()
{
    m_tmp->close();
    store::startup::purgeFindings();
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
