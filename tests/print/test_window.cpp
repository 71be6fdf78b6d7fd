// The print window: its controls, the five period queries it opens when
// shown, the variant its caption selects, repeated previews, and the table
// left untouched.
#include "PrintTestSupport.h"

#include "controls/MessageBox.h"
#include "print/UnitPrint.h"
#include "report/Preview.h"
#include "store/Catalogue.h"
#include "store/Paths.h"
#include "store/Query.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

namespace cat = store::catalogue;

namespace {

// Texts the preview was given in the value columns of the table (below the
// header row, right of the label columns).
QStringList valueTexts(const report::PreparedReport &r)
{
    QStringList out;
    for (const auto &page : r.pages)
        for (const auto &t : page.texts)
            if (t.cell.rect.left() >= 79.0 && t.cell.rect.top() > 28.8)
                out << t.cell.text;
    return out;
}

QString projectText(const report::PreparedReport &r)
{
    for (const auto &t : r.pages.at(0).texts)
        if (t.cell.rect.left() >= 30.0 && t.cell.rect.top() >= 17.0 && t.cell.rect.bottom() <= 22.0)
            return t.cell.text;
    return QStringLiteral("<none>");
}

void settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
}

class PrintWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ui::MessageBox::clearShown();
        report::PreviewWindow::clearShownReports();
    }
    void TearDown() override
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (qobject_cast<TfrmPrint *>(w))
                w->close();
        settle();
    }
    // Created as the main window does it.
    TfrmPrint *open(print::FormVariant variant = print::FormVariant::Data)
    {
        auto *w = new TfrmPrint(nullptr, variant);
        w->show();
        return w;
    }
};

} // namespace

TEST_F(PrintWindow, ControlsCarryTheirNamesTextsAndPlaces)
{
    testsupport::TempProgramDir dir;
    TfrmPrint *w = open();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("打印数据表"));
    EXPECT_TRUE(w->testAttribute(Qt::WA_DeleteOnClose));
    auto *label = w->findChild<QLabel *>(QStringLiteral("Label1"));
    auto *print = w->findChild<QPushButton *>(QStringLiteral("Btn_Print"));
    auto *exit = w->findChild<QPushButton *>(QStringLiteral("Btn_Exit"));
    ASSERT_TRUE(label && print && exit && w->findChild<QWidget *>(QStringLiteral("Panel1")));
    EXPECT_EQ(label->text(), QStringLiteral("打印数据表  "));
    EXPECT_EQ(label->geometry(), QRect(72, 16, 134, 21));
    EXPECT_TRUE(label->font().bold());
    EXPECT_EQ(label->font().pixelSize(), 21);
    EXPECT_EQ(print->text(), QStringLiteral("打印"));
    EXPECT_EQ(print->geometry(), QRect(48, 56, 75, 25));
    EXPECT_EQ(exit->text(), QStringLiteral("退出"));
    EXPECT_EQ(exit->geometry(), QRect(136, 56, 75, 25));
    EXPECT_EQ(print->nextInFocusChain(), exit);
    // Both buttons lie inside the client area.
    EXPECT_TRUE(w->rect().contains(exit->geometry()));
    EXPECT_LE(w->width(), 265);
    EXPECT_LE(w->height(), 120);
}

TEST_F(PrintWindow, ShowingOpensTheFivePeriodQueriesInEditStateForBothVariants)
{
    testsupport::TempProgramDir dir;
    printtest::execResult({QStringLiteral("delete from result where nd='20050112'")});
    for (const print::FormVariant variant : {print::FormVariant::Data, print::FormVariant::Blank}) {
        TfrmPrint *w = open(variant);
        ASSERT_EQ(w->queries().size(), 5u);
        for (const cat::Period &p : cat::periods()) {
            store::Query *q = w->query(QStringLiteral("aqry_") + p.code); // names ignore case
            ASSERT_NE(q, nullptr) << p.code.toStdString();
            EXPECT_EQ(q->objectName(), QStringLiteral("AQry_") + p.code);
            EXPECT_EQ(q->sql(), QStringLiteral("select * from result where nd='%1' ").arg(p.code));
            EXPECT_EQ(q->directory(), store::paths::resultDir());
            EXPECT_TRUE(q->isOpen());
            // A period without a row edits the blank record edit state starts.
            EXPECT_EQ(q->state(), p.code == QLatin1String("20050112") ? store::Query::State::Insert
                                                                     : store::Query::State::Edit);
            if (p.code != QLatin1String("20050112")) {
                EXPECT_EQ(q->fieldByName(QStringLiteral("nd")).toString().trimmed(), p.code);
            }
        }
        w->close();
        settle();
    }
    EXPECT_TRUE(ui::MessageBox::shown().empty());
}

TEST_F(PrintWindow, AFailingQueryIsReportedAndTheWindowOpensAllTheSame)
{
    testsupport::TempProgramDir dir(false); // no Result/result.dbf
    TfrmPrint *w = open();
    ASSERT_EQ(ui::MessageBox::shown().size(), 1u);
    const ui::ShownBox &box = ui::MessageBox::shown().front();
    EXPECT_EQ(box.icon, ui::Icon::Error);
    EXPECT_EQ(box.caption, ui::applicationTitle());
    EXPECT_FALSE(box.text.isEmpty());
    EXPECT_TRUE(w->isVisible());
    for (store::Query *q : w->queries())
        EXPECT_FALSE(q->isOpen()) << q->objectName().toStdString();

    // Printing then fails in a message, not a crash, and shows no preview.
    w->findChild<QPushButton *>(QStringLiteral("Btn_Print"))->click();
    EXPECT_EQ(ui::MessageBox::shown().size(), 2u);
    EXPECT_TRUE(report::PreviewWindow::shownReports().empty());
    EXPECT_TRUE(w->isVisible());

    // Once the table is there, printing opens every closed query on its own
    // period's row, the later ones included.
    ASSERT_TRUE(QFile::copy(dir.file(QStringLiteral("DataMeta/sjsbb.dbf")), store::paths::resultTable()));
    printtest::execResult({QStringLiteral("update result set cws_yy=7 where nd='20060106'")});
    w->findChild<QPushButton *>(QStringLiteral("Btn_Print"))->click();
    EXPECT_EQ(ui::MessageBox::shown().size(), 2u);
    ASSERT_EQ(report::PreviewWindow::shownReports().size(), 1u);
    const QStringList values = valueTexts(report::PreviewWindow::shownReports().front());
    ASSERT_EQ(values.size(), 295);
    EXPECT_EQ(values.count(QStringLiteral("7")), 1);
    EXPECT_EQ(values.count(QStringLiteral("0")), 294);
}

TEST_F(PrintWindow, TheOpenersChoiceNotTheCaptionSelectsTheForm)
{
    testsupport::TempProgramDir dir;
    printtest::execResult({QStringLiteral("update result set cws_yy=12, yydm='6666  己医院'")});
    struct Case {
        print::FormVariant variant;
        QString laterCaption; // set after the window was made; null for none
        bool blank;
    };
    const std::vector<Case> cases = {
        {print::FormVariant::Blank, QString(), true},
        {print::FormVariant::Data, QString(), false},
        {print::FormVariant::Data, QStringLiteral("打印空白表"), false},
        {print::FormVariant::Blank, QStringLiteral("打印数据表"), true},
    };
    for (const Case &c : cases) {
        report::PreviewWindow::clearShownReports();
        TfrmPrint *w = open(c.variant);
        const QString what = c.laterCaption.isNull() ? QStringLiteral("as made") : c.laterCaption;
        EXPECT_EQ(w->windowTitle(), c.blank ? QStringLiteral("打印空白表") : QStringLiteral("打印数据表"));
        EXPECT_EQ(w->findChild<QLabel *>(QStringLiteral("Label1"))->text(),
                  c.blank ? QStringLiteral("打印空白表 ") : QStringLiteral("打印数据表  "));
        if (!c.laterCaption.isNull())
            w->setWindowTitle(c.laterCaption);
        w->findChild<QPushButton *>(QStringLiteral("Btn_Print"))->click();
        ASSERT_EQ(report::PreviewWindow::shownReports().size(), 1u) << what.toStdString();
        const auto &r = report::PreviewWindow::shownReports().front();
        EXPECT_EQ(r.pages.size(), 2u);
        if (c.blank) {
            EXPECT_TRUE(valueTexts(r).isEmpty()) << what.toStdString();
            EXPECT_EQ(projectText(r), QStringLiteral("<none>"));
        } else {
            EXPECT_EQ(valueTexts(r).size(), 295) << what.toStdString();
            EXPECT_TRUE(valueTexts(r).contains(QStringLiteral("12")));
            EXPECT_EQ(projectText(r).trimmed(), QStringLiteral("6666  己医院"));
        }
        w->close();
        settle();
    }
}

TEST_F(PrintWindow, PrintingAgainUsesTheOpenQueriesWithoutRunningThemAgain)
{
    testsupport::TempProgramDir dir;
    printtest::execResult({QStringLiteral("update result set cws_yy=5 where nd='20020112'")});
    TfrmPrint *w = open();
    auto *print = w->findChild<QPushButton *>(QStringLiteral("Btn_Print"));
    print->click();
    // Someone changes the table meanwhile: the window still prints its rows.
    printtest::execResult({QStringLiteral("update result set cws_yy=6 where nd='20020112'")});
    print->click();
    ASSERT_EQ(report::PreviewWindow::shownReports().size(), 2u);
    for (const auto &r : report::PreviewWindow::shownReports()) {
        EXPECT_EQ(r.pages.size(), 2u);
        const QStringList values = valueTexts(r);
        ASSERT_EQ(values.size(), 295);
        EXPECT_EQ(values.count(QStringLiteral("5")), 1);
        EXPECT_EQ(values.count(QStringLiteral("6")), 0);
    }
    EXPECT_TRUE(w->isVisible());
    for (store::Query *q : w->queries())
        EXPECT_TRUE(q->isOpen());
}

TEST_F(PrintWindow, ClosingNeverChangesTheTable)
{
    struct Case {
        const char *what;
        QStringList statements;
        bool viaExit;
    };
    const std::vector<Case> cases = {
        {"as delivered, closed by Btn_Exit", {}, true},
        {"filled, closed by the close box",
         {QStringLiteral("update result set cws_yy=35.5, sb_syl=99.99, yydm='7777  庚医院'")}, false},
        {"a period without a row", {QStringLiteral("delete from result where nd='20060106'")}, true},
        {"no rows at all", {QStringLiteral("delete from result")}, false},
    };
    for (const Case &c : cases) {
        testsupport::TempProgramDir dir;
        printtest::execResult(c.statements);
        const QByteArray before = printtest::resultBytes();
        ASSERT_FALSE(before.isEmpty());
        QPointer<TfrmPrint> w = open(c.what[0] == 'a' ? print::FormVariant::Data : print::FormVariant::Blank);
        w->findChild<QPushButton *>(QStringLiteral("Btn_Print"))->click();
        w->findChild<QPushButton *>(QStringLiteral("Btn_Print"))->click();
        if (c.viaExit)
            w->findChild<QPushButton *>(QStringLiteral("Btn_Exit"))->click();
        else
            w->close();
        settle();
        EXPECT_TRUE(w.isNull()) << c.what << ": the window frees itself when closed";
        EXPECT_EQ(printtest::resultBytes(), before) << c.what;
    }
}

