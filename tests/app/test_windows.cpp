// The main window's look, its menu tree and the windows its commands open.
#include "controls/Skin.h"
#include "app/UnitMain.h"
#include "controls/Fonts.h"
#include "controls/MessageBox.h"
#include "report/Preview.h"
#include "store/Paths.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QRawFont>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>
#include <QToolBar>
#include <QToolButton>
#include <QWindow>
#include <QTimer>
#include <QtTest>

#include <memory>

using testsupport::TempProgramDir;

namespace {

QString T(const char *utf8) { return QString::fromUtf8(utf8); }

// True when the face a font resolves to draws the text itself, without a
// fallback face of the system's choosing.
bool drawsChinese(const QFont &font)
{
    const QRawFont raw = QRawFont::fromFont(font);
    if (!raw.isValid())
        return false;
    for (const QChar c : T("数据编辑帮助关于退出（）"))
        if (!raw.supportsCharacter(c))
            return false;
    return true;
}

struct Seen {
    QString className;
    QString title;
    QString label1;    // text of a child Label1, if any
    QString btnBackup; // text of a child btn_Backup, if any
    QWidget *parent = nullptr;
    QPointer<QWidget> window;
};

// Triggers an action whose command shows a modal window; records what the
// window looked like once shown and closes it.
Seen runCommand(TfrmMain &main, const char *actionName)
{
    Seen seen;
    QTimer::singleShot(0, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        seen.className = QString::fromUtf8(modal->metaObject()->className());
        seen.title = modal->windowTitle();
        seen.parent = modal->parentWidget();
        seen.window = modal;
        for (QLabel *l : modal->findChildren<QLabel *>())
            if (l->objectName().compare(QStringLiteral("Label1"), Qt::CaseInsensitive) == 0)
                seen.label1 = l->text();
        for (QAbstractButton *b : modal->findChildren<QAbstractButton *>())
            if (b->objectName().compare(QStringLiteral("btn_Backup"), Qt::CaseInsensitive) == 0)
                seen.btnBackup = b->text();
        modal->close();
    });
    QAction *action = main.findChild<QAction *>(QLatin1String(actionName));
    if (action)
        action->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return seen;
}

} // namespace

class WindowsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        ui::MessageBox::setTestMode(true);
        report::PreviewWindow::setTestMode(true);
    }
    void init() { ui::MessageBox::clearShown(); }

    void pictureDecodesThroughTheJpegPlugin()
    {
        TempProgramDir dir(true);
        TfrmMain main; // makes sure the resources are registered
        QImageReader reader(TfrmMain::pictureResource());
        QCOMPARE(reader.format(), QByteArray("jpeg"));
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(image.size(), QSize(640, 480));
        QVERIFY(QImageReader::supportedImageFormats().contains("jpeg"));
        QImageReader arrow(QStringLiteral(":/app/arrow_left.png"));
        QCOMPARE(arrow.read().size(), QSize(16, 16));
    }

    void mainWindowLook_data()
    {
        QTest::addColumn<bool>("skinned");
        QTest::newRow("plain") << false;
        QTest::newRow("delivered skin") << true;
    }

    void mainWindowLook()
    {
        QFETCH(bool, skinned);
        TempProgramDir dir(true);
        if (skinned) {
            QVERIFY(QDir().mkpath(dir.file(QString::fromUtf8("风格"))));
            QVERIFY(QFile::copy(testsupport::sourceDir() + QStringLiteral("app/skin/Main.skn"), store::paths::skinFile()));
        }
        TfrmMain main;
        QCOMPARE(qApp->styleSheet().isEmpty(), !skinned);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        QCOMPARE(main.windowTitle(), T("Orvandel\"十五\"重点专科（专病）项目建设评审验收数据申报表"));
        // The client area below the menu bar, and a window that cannot be resized.
        QCOMPARE(main.centralWidget()->size(), QSize(616, 425));
        QCOMPARE(main.centralWidget()->objectName(), QStringLiteral("Panel1"));
        QCOMPARE(main.minimumSize(), main.maximumSize());
        // Centred on the screen.
        const QPoint offCentre = main.frameGeometry().center() - main.screen()->availableGeometry().center();
        QVERIFY2(offCentre.manhattanLength() <= 4, qPrintable(QStringLiteral("%1,%2").arg(offCentre.x()).arg(offCentre.y())));
        QCOMPARE(main.font().family(), QStringLiteral("MS Sans Serif"));
        QCOMPARE(main.font().pixelSize(), 11);
        QCOMPARE(main.palette().color(QPalette::Window), main.palette().color(QPalette::Button));
        auto *image = main.findChild<QLabel *>(QStringLiteral("Image1"));
        QVERIFY(image);
        QVERIFY(image->hasScaledContents());
        QCOMPARE(image->size(), QSize(616, 425));
        QCOMPARE(image->pixmap().size(), QSize(640, 480));
        QVERIFY(ui::MessageBox::shown().empty());
        // The program's own icon, on this window and the ones it opens.
        QCOMPARE(main.windowIcon().availableSizes(), (QList<QSize>{{16, 16}, {32, 32}, {48, 48}, {256, 256}}));
        QCOMPARE(QApplication::windowIcon().cacheKey(), main.windowIcon().cacheKey());
    }

    void menuTree()
    {
        TempProgramDir dir(true);
        TfrmMain main;
        const QList<QAction *> top = main.menuBar()->actions();
        const QStringList menuNames{"N1", "N3", "N6", "N12", "N10"};
        const QStringList menuTexts{T("数据编辑"), T("报表打印"), T("数据转存"), T("帮助"), T("退出")};
        const QList<QStringList> itemNames{{"N2"}, {"N4", "N5"}, {"N7", "N9", "N8"}, {"N13", "N14", "N15"}, {"N11"}};
        const QList<QStringList> itemTexts{{T("数据录入")},
                                           {T("打印空白表"), T("打印数据表")},
                                           {T("数据检验"), T("数据备份"), T("上报监测中心")},
                                           {T("评审数据表说明"), T("程序操作手册"), T("关于")},
                                           {T("退出程序")}};
        QCOMPARE(top.size(), menuNames.size());
        for (int m = 0; m < top.size(); ++m) {
            QMenu *menu = top[m]->menu();
            QVERIFY(menu);
            QCOMPARE(menu->objectName(), menuNames[m]);
            QCOMPARE(menu->title(), menuTexts[m]);
            const QList<QAction *> items = menu->actions();
            QCOMPARE(items.size(), itemNames[m].size());
            for (int i = 0; i < items.size(); ++i) {
                QCOMPARE(items[i]->objectName(), itemNames[m][i]);
                QCOMPARE(items[i]->text(), itemTexts[m][i]);
                QVERIFY(items[i]->shortcut().isEmpty());
                QVERIFY(items[i]->isEnabled());
            }
        }
    }

    void commandsOpenFreshModalWindows()
    {
        TempProgramDir dir(true);
        TfrmMain main;
        main.show();

        const Seen blank = runCommand(main, "N4");
        QCOMPARE(blank.className, QStringLiteral("TfrmPrint"));
        QCOMPARE(blank.parent, &main);
        QCOMPARE(blank.title, T("打印空白表"));
        QCOMPARE(blank.label1, T("打印空白表 "));
        QVERIFY(!blank.window); // freed on closing

        // The next command works on a fresh window: the designed texts again.
        const Seen data = runCommand(main, "N5");
        QCOMPARE(data.className, QStringLiteral("TfrmPrint"));
        QVERIFY(data.title != T("打印空白表"));
        QVERIFY(data.label1 != T("打印空白表 "));
        QVERIFY(!data.window);

        const Seen upload = runCommand(main, "N8");
        QCOMPARE(upload.className, QStringLiteral("TfrmBackUpDBF"));
        QCOMPARE(upload.parent, &main);
        QCOMPARE(upload.title, T("上报监测中心"));
        QCOMPARE(upload.btnBackup, T("导出"));
        const Seen backup = runCommand(main, "N9");
        QCOMPARE(backup.className, QStringLiteral("TfrmBackUpDBF"));
        QVERIFY(backup.title != T("上报监测中心"));
        QVERIFY(backup.btnBackup != T("导出"));
        QVERIFY(!backup.window);

        for (const char *name : {"N2", "N7", "N15"}) {
            const Seen seen = runCommand(main, name);
            QVERIFY2(!seen.className.isEmpty(), name);
            QCOMPARE(seen.parent, &main);
            QVERIFY(!seen.window);
        }
        QCOMPARE(runCommand(main, "N2").className, QStringLiteral("TfrmInData"));
        QCOMPARE(runCommand(main, "N7").className, QStringLiteral("TfrmCheck"));
    }

    // Enter on a focused button presses it, as on Windows: 检测 in 数据检验,
    // 打印 in 打印数据表 and 打印空白表.
    void enterPressesTheFocusedButton()
    {
        TempProgramDir dir(true);
        TfrmMain main;
        main.show();
        report::PreviewWindow::clearShownReports();
        const auto pressWithEnter = [&](const char *action, const char *button) {
            QTimer::singleShot(0, [button] {
                QWidget *modal = QApplication::activeModalWidget();
                if (!modal)
                    return;
                auto *b = modal->findChild<QAbstractButton *>(QLatin1String(button));
                if (b) {
                    b->setFocus(Qt::TabFocusReason);
                    QTest::keyClick(b, Qt::Key_Return);
                }
                modal->close();
            });
            main.findChild<QAction *>(QLatin1String(action))->trigger();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        };
        pressWithEnter("N7", "Btn_Check");
        QCOMPARE(int(ui::MessageBox::shown().size()), 1);
        QCOMPARE(ui::MessageBox::shown().front().text, T("无数据可检验！")); // the check ran
        pressWithEnter("N5", "Btn_Print");
        QCOMPARE(int(report::PreviewWindow::shownReports().size()), 1);
        pressWithEnter("N4", "Btn_Print");
        QCOMPARE(int(report::PreviewWindow::shownReports().size()), 2);
    }

    void exitCommandClosesAndFreesTheMainWindow()
    {
        TempProgramDir dir(true);
        // "退出程序" and the close box both close and free the main window.
        for (const bool byMenu : {true, false}) {
            QPointer<TfrmMain> main = new TfrmMain;
            main->show();
            QVERIFY(QTest::qWaitForWindowExposed(main));
            if (byMenu)
                main->findChild<QAction *>(QStringLiteral("N11"))->trigger();
            else
                QVERIFY(main->windowHandle()->close());
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QVERIFY(!main);
        }
    }

    // The faces the windows and forms name, and the application's default
    // face (menus, message boxes, whatever the skin restyles), all draw
    // Chinese text themselves.
    void fontsDrawChinese_data()
    {
        QTest::addColumn<bool>("skinned");
        QTest::newRow("plain") << false;
        QTest::newRow("delivered skin") << true;
    }

    void fontsDrawChinese()
    {
        QFETCH(bool, skinned);
        const QFont before = QApplication::font();
        ui::installFontSubstitutions();
        ui::installDefaultFont();
        for (const char *family : {"宋体", "SimSun", "MS Sans Serif", "Tahoma", "楷体_GB2312", "华文新魏"}) {
            QFont font(T(family));
            font.setPixelSize(14);
            QVERIFY2(drawsChinese(font), family);
        }
        QVERIFY(drawsChinese(QApplication::font()));

        TempProgramDir dir(true);
        if (skinned) {
            QVERIFY(QDir().mkpath(dir.file(QString::fromUtf8("风格"))));
            QVERIFY(QFile::copy(testsupport::sourceDir() + QStringLiteral("app/skin/Main.skn"), store::paths::skinFile()));
        }
        {
            TfrmMain main;
            main.show();
            QVERIFY(QTest::qWaitForWindowExposed(&main));
            QVERIFY(drawsChinese(main.menuBar()->font()));
            for (QMenu *menu : main.findChildren<QMenu *>())
                QVERIFY2(drawsChinese(menu->font()), qPrintable(menu->objectName()));
        }
        qApp->setStyleSheet(QString());
        QApplication::setFont(before);
    }

    void applicationTitleComesFromTheProgramName()
    {
        QCOMPARE(ui::applicationTitleFor(QStringLiteral("/opt/pdeclare/PDeclare")), QStringLiteral("Pdeclare"));
        QCOMPARE(ui::applicationTitleFor(QStringLiteral("C:/Program/PDeclare.exe")), QStringLiteral("Pdeclare"));
        ui::MessageBox::showStandardError(nullptr, QStringLiteral("x"));
        QCOMPARE(ui::MessageBox::shown().back().caption,
                 ui::applicationTitleFor(QCoreApplication::applicationFilePath()));
    }

    // Last: it changes the application's style for the rest of the run.
    void overflowArrowsAreTheStylesOwn()
    {
        // The program's style asks for the arrows a too narrow menu bar or
        // tool bar shows only when one is drawn; drawn, they are the
        // platform style's own.
        const std::unique_ptr<QStyle> plain(QStyleFactory::create(QApplication::style()->name()));
        QVERIFY(plain);
        ui::installStyle();
        for (const auto which : {QStyle::SP_ToolBarHorizontalExtensionButton, QStyle::SP_ToolBarVerticalExtensionButton}) {
            const QIcon arrow = QApplication::style()->standardIcon(which);
            const QIcon own = plain->standardIcon(which);
            QVERIFY(!own.isNull());
            QVERIFY(!arrow.isNull());
            QCOMPARE(arrow.availableSizes(), own.availableSizes());
            QCOMPARE(arrow.pixmap(16).toImage(), own.pixmap(16).toImage());
        }
        // A tool bar too narrow for its buttons shows the arrow.
        QToolBar bar;
        for (int i = 0; i < 20; ++i)
            bar.addAction(QStringLiteral("按钮%1").arg(i));
        bar.resize(120, 40);
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));
        QToolButton *extension = nullptr;
        for (QToolButton *b : bar.findChildren<QToolButton *>())
            if (b->objectName() == QLatin1String("qt_toolbar_ext_button"))
                extension = b;
        QVERIFY(extension);
        QVERIFY(extension->isVisible());
        QCOMPARE(extension->icon().pixmap(16).toImage(),
                 plain->standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton).pixmap(16).toImage());
    }
};

QTEST_MAIN(WindowsTest)
#include "test_windows.moc"
