// Help commands, the About window, and the help documents the build writes.
#include "app/Shell.h"
#include "app/UnitAbout.h"
#include "app/UnitMain.h"
#include "app/helpdocs/HelpDocuments.h"
#include "app/helpdocs/Rtf.h"
#include "controls/MessageBox.h"
#include "store/Catalogue.h"
#include "store/Paths.h"
#include "tests/support/TestSupport.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

#include <stdexcept>

using testsupport::TempProgramDir;
namespace cat = store::catalogue;

namespace {

QString T(const char *utf8) { return QString::fromUtf8(utf8); }

// The text an RTF reader shows: groups of the header (font and colour
// tables, document info) skipped, \uN? decoded, \par and \line as line
// breaks, \cell and \tab as tabs. Fails the test on unbalanced braces or a
// byte outside 7-bit ASCII.
QString rtfText(const QByteArray &rtf, bool *ok)
{
    *ok = false;
    QString out;
    int depth = 0;
    int skipBelow = -1; // skip everything while depth > skipBelow
    for (int i = 0; i < rtf.size(); ++i) {
        const char c = rtf[i];
        if (uchar(c) > 0x7F)
            return out;
        if (c == '{') {
            ++depth;
            continue;
        }
        if (c == '}') {
            if (--depth < 0)
                return out;
            if (skipBelow >= 0 && depth <= skipBelow)
                skipBelow = -1;
            continue;
        }
        if (c == '\r' || c == '\n')
            continue;
        const bool skipping = skipBelow >= 0;
        if (c != '\\') {
            if (!skipping)
                out += QLatin1Char(c);
            continue;
        }
        const char next = i + 1 < rtf.size() ? rtf[i + 1] : '\0';
        if (next == '\\' || next == '{' || next == '}') {
            if (!skipping)
                out += QLatin1Char(next);
            ++i;
            continue;
        }
        int j = i + 1;
        while (j < rtf.size() && std::isalpha(uchar(rtf[j])))
            ++j;
        const QByteArray word = rtf.mid(i + 1, j - i - 1);
        int k = j;
        if (k < rtf.size() && (rtf[k] == '-' || std::isdigit(uchar(rtf[k]))))
            ++k;
        while (k < rtf.size() && std::isdigit(uchar(rtf[k])))
            ++k;
        const int param = rtf.mid(j, k - j).toInt();
        if (k < rtf.size() && rtf[k] == ' ')
            ++k;
        i = k - 1;
        if (word == "fonttbl" || word == "colortbl" || word == "info") {
            skipBelow = depth - 1;
            continue;
        }
        if (skipping)
            continue;
        if (word == "u") {
            out += QChar(ushort(param < 0 ? param + 65536 : param));
            ++i; // the fallback character
        } else if (word == "par" || word == "line") {
            out += QLatin1Char('\n');
        } else if (word == "cell" || word == "tab") {
            out += QLatin1Char('\t');
        }
    }
    *ok = depth == 0;
    return out;
}

void writeFile(const QString &path)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("{\\rtf1 x}");
}

} // namespace

class HelpTest : public QObject {
    Q_OBJECT
    QList<QUrl> opened;

private slots:
    void initTestCase()
    {
        ui::MessageBox::setTestMode(true);
        app::Shell::setOpener([this](const QUrl &url) {
            opened << url;
            return true;
        });
    }
    void init()
    {
        ui::MessageBox::clearShown();
        opened.clear();
    }

    void missingDocumentGivesItsMessageWhileTheOtherOpens()
    {
        TempProgramDir dir(true);
        writeFile(store::paths::operationManualDoc());
        TfrmMain main;
        main.findChild<QAction *>(QStringLiteral("N13"))->trigger();
        QCOMPARE(int(ui::MessageBox::shown().size()), 1);
        const ui::ShownBox box = ui::MessageBox::shown().front();
        QCOMPARE(box.text, T("无法找到说明文件，可能已丢失！"));
        QCOMPARE(box.caption, T("提示"));
        QCOMPARE(box.icon, ui::Icon::None);
        QCOMPARE(box.buttons, ui::Buttons::Ok);
        QVERIFY(opened.isEmpty());

        main.findChild<QAction *>(QStringLiteral("N14"))->trigger();
        QCOMPARE(int(ui::MessageBox::shown().size()), 1);
        QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(store::paths::operationManualDoc())});

        writeFile(store::paths::formDescriptionDoc());
        main.findChild<QAction *>(QStringLiteral("N13"))->trigger();
        QCOMPARE(opened.last(), QUrl::fromLocalFile(store::paths::formDescriptionDoc()));
        QVERIFY(opened.last().toLocalFile().startsWith(dir.path()));
        QCOMPARE(int(ui::MessageBox::shown().size()), 1);
    }

    void aFailingHandOverIsShownAsANotice()
    {
        TempProgramDir dir(true);
        writeFile(store::paths::formDescriptionDoc());
        app::Shell::setOpener([](const QUrl &) -> bool { throw std::runtime_error("no handler"); });
        openHelpDocument(nullptr, store::paths::formDescriptionDoc());
        app::Shell::setOpener([this](const QUrl &url) {
            opened << url;
            return true;
        });
        QCOMPARE(int(ui::MessageBox::shown().size()), 1);
        // The library's own (English) words, inside a Chinese sentence.
        QVERIFY(ui::MessageBox::shown().front().text.endsWith(QStringLiteral("：no handler")));
        QCOMPARE(ui::MessageBox::shown().front().caption, T("提示"));
        QCOMPARE(ui::MessageBox::shown().front().icon, ui::Icon::Information);
        // No program on the machine opens a .doc: said, not silent.
        app::Shell::setOpener([](const QUrl &) { return false; });
        openHelpDocument(nullptr, store::paths::formDescriptionDoc());
        QCOMPARE(int(ui::MessageBox::shown().size()), 2);
        QCOMPARE(ui::MessageBox::shown().back().text,
                 T("无法打开说明文件 %1：这台电脑上没有能打开 .doc 文件的程序。\n"
                   "请安装能打开 Word 文档的程序（例如 WPS Office 或 LibreOffice）后再试。")
                     .arg(QDir::toNativeSeparators(store::paths::formDescriptionDoc())));
        QCOMPARE(ui::MessageBox::shown().back().caption, T("提示"));
        app::Shell::setOpener([this](const QUrl &url) {
            opened << url;
            return true;
        });
    }

    void aboutWindowLayoutAndLinks()
    {
        QPointer<TfrmAbout> about = new TfrmAbout;
        about->show();
        QVERIFY(QTest::qWaitForWindowExposed(about));
        QCOMPARE(about->windowTitle(), T("关于"));
        QCOMPARE(about->size(), QSize(356, 291));
        QCOMPARE(about->minimumSize(), about->maximumSize());

        auto get = [&](const char *name) { return about->findChild<QWidget *>(QLatin1String(name)); };
        const struct {
            const char *name;
            QPoint pos;
        } places[] = {{"Label1", {33, 16}},  {"Label6", {80, 58}},  {"Label3", {80, 82}},  {"Image1", {224, 80}},
                      {"Label4", {80, 114}}, {"Label5", {80, 140}}, {"Label2", {80, 204}}, {"GroupBox1", {8, 231}},
                      {"BitBtn1", {256, 243}}};
        for (const auto &place : places) {
            QWidget *w = get(place.name);
            QVERIFY2(w, place.name);
            QCOMPARE(w->pos(), place.pos);
            // Everything lies inside the window.
            QVERIFY2(about->rect().contains(w->geometry()), place.name);
        }
        QCOMPARE(get("Image1")->size(), QSize(16, 16));
        QCOMPARE(get("GroupBox1")->size(), QSize(329, 7));
        QCOMPARE(get("BitBtn1")->size(), QSize(75, 25));
        QCOMPARE(qobject_cast<QLabel *>(get("Label6"))->text(), T("版本V1.0(2006.09.12)"));
        QVERIFY(qobject_cast<QLabel *>(get("Label4"))->text().startsWith(T("E_mail：")));
        QVERIFY(qobject_cast<QLabel *>(get("Label5"))->text().startsWith(T("研制单位：")));
        QCOMPARE(qobject_cast<QLabel *>(get("Label5"))->text().count(QLatin1Char('\n')), 2);
        QVERIFY(qobject_cast<QLabel *>(get("Label2"))->text().startsWith(T("技术支持电话：")));
        QCOMPARE(qobject_cast<QPushButton *>(get("BitBtn1"))->text(), T("退出"));
        // The web address ends before the arrow that points at it, and no
        // text runs into the next one.
        QVERIFY(get("Label3")->geometry().right() < get("Image1")->x());
        QVERIFY(get("Label1")->geometry().bottom() < get("Label6")->y());
        QVERIFY(get("Label4")->geometry().bottom() < get("Label5")->y());
        QVERIFY(get("Label5")->geometry().bottom() < get("Label2")->y());
        QVERIFY(get("Label2")->geometry().bottom() < get("GroupBox1")->y());
        QVERIFY(get("Label1")->geometry().right() < about->width());

        QTest::mouseClick(get("Label3"), Qt::LeftButton);
        QTest::mouseClick(get("Label4"), Qt::LeftButton);
        QTest::mouseClick(get("Label6"), Qt::LeftButton);
        QCOMPARE(opened.size(), 2);
        QCOMPARE(opened[0], QUrl(TfrmAbout::webAddress()));
        QCOMPARE(opened[0].scheme(), QStringLiteral("http"));
        QCOMPARE(opened[1], QUrl(QStringLiteral("mailto:") + TfrmAbout::mailAddress()));
        QVERIFY(qobject_cast<QLabel *>(get("Label4"))->text().endsWith(TfrmAbout::mailAddress()));

        QTest::mouseClick(get("BitBtn1"), Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!about);
    }

    void rtfEscapes()
    {
        using helpdocs::RtfDocument;
        QCOMPARE(RtfDocument::escape(QStringLiteral("a{b}\\c")), QByteArray("a\\{b\\}\\\\c"));
        QCOMPARE(RtfDocument::escape(T("数")), QByteArray("\\u25968?"));
        QCOMPARE(RtfDocument::escape(T("表")), QByteArray("\\u-30616?"));
        // Above 0x7FFF the number is negative: （ is U+FF08.
        QCOMPARE(RtfDocument::escape(T("（")), QByteArray("\\u-248?"));
        QCOMPARE(RtfDocument::escape(QStringLiteral("a\r\nb")), QByteArray("a\\line b"));
        bool ok = false;
        RtfDocument doc(QStringLiteral("t"));
        doc.paragraph(T("数据{审核}提示\\（一）"));
        QVERIFY(rtfText(doc.toRtf(), &ok).contains(T("数据{审核}提示\\（一）")));
        QVERIFY(ok);
    }

    void formDescriptionCoversEveryIndicator()
    {
        bool ok = false;
        const QString text = rtfText(helpdocs::formDescription(), &ok);
        QVERIFY(ok);
        for (const cat::Group &group : cat::groups())
            QVERIFY2(text.contains(group.name), qPrintable(group.name));
        for (const cat::Period &period : cat::periods())
            QVERIFY(text.contains(period.code) && text.contains(period.label));
        const auto &all = cat::indicators();
        for (size_t i = 0; i < all.size(); ++i) {
            const cat::Indicator &indicator = all[i];
            const QString caption = helpdocs::flatCaption(cat::rowCaption(indicator));
            const QString definition = helpdocs::definitionOf(int(i));
            QVERIFY2(text.contains(caption), qPrintable(caption));
            QVERIFY2(text.contains(QLatin1Char('\t') + indicator.field + QLatin1Char('\t')),
                     qPrintable(indicator.field));
            QVERIFY2(!definition.isEmpty() && text.contains(definition), qPrintable(indicator.field));
            if (!indicator.unit.isEmpty())
                QVERIFY(text.contains(QLatin1Char('\t') + indicator.unit + QLatin1Char('\t')));
        }
        // Indicators without a tooltip of their own take their item's.
        const int sbj = cat::indicatorIndex(QStringLiteral("zykt_sbj"));
        QVERIFY(sbj >= 0);
        QCOMPARE(helpdocs::definitionOf(sbj), cat::itemOf(all[std::size_t(sbj)]).tooltip.trimmed());
        QCOMPARE(helpdocs::flatCaption(T("5.投入与\r\n  效益\r\n（万元）")), T("5.投入与效益（万元）"));
    }

    void manualNamesTheProgramsWindowsAndMessages()
    {
        bool ok = false;
        const QString text = rtfText(helpdocs::operationManual(), &ok);
        QVERIFY(ok);
        const char *expected[] = {"数据录入", "选择...", "保存退出", "请输入项目编号", "按编码查询", "按PY码查询",
                                  "检测数据", "检测", "无数据可检验！", "数据通过检验！", "{数据申报表}审核提示",
                                  "打印空白表", "打印数据表", "备份数据", "存放路径：", "备份成功",
                                  "不存在数据文件表", "申报表无数据！", "上报监测中心", "导出",
                                  "申报有误差提示，是否申报？", "SJSB.dbf", "导出成功",
                                  "无法找到说明文件，可能已丢失！", "退出程序", "关于"};
        for (const char *phrase : expected)
            QVERIFY2(text.contains(T(phrase)), phrase);
    }

    void buildWroteTheCurrentDocuments()
    {
        const QString dir = testsupport::builtProgramDir();
        QCOMPARE(testsupport::fileBytes(dir + T("评审数据表说明.doc")), helpdocs::formDescription());
        QCOMPARE(testsupport::fileBytes(dir + T("TessalyV1.0操作手册.doc")), helpdocs::operationManual());

        // writeAll replaces documents whole and leaves nothing else behind.
        QTemporaryDir target;
        helpdocs::writeAll(target.path());
        QCOMPARE(QDir(target.path()).entryList(QDir::Files).size(), 2);
        // A directory that cannot be made is reported, not passed over.
        const QString blocker = target.filePath(QStringLiteral("blocker"));
        writeFile(blocker);
        QVERIFY_THROWS_EXCEPTION(store::Error, helpdocs::writeAll(blocker + QStringLiteral("/sub")));
    }
};

QTEST_MAIN(HelpTest)
#include "test_help.moc"
