// The numeric edit: what can be typed or pasted, the limits, the value in
// and out, and the hooks the entry window relies on.
#include "controls/Feedback.h"
#include "controls/MessageBox.h"
#include "controls/TDBNumberEdit.h"
#include "controls/Translations.h"
#include "store/Format.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QToolTip>
#include <QtTest>

using ui::TDBNumberEdit;

class TestNumberEdit : public QObject {
    Q_OBJECT

    // A visible edit with the focus, inside an active window.
    struct Fixture {
        QWidget window;
        TDBNumberEdit *edit;
        QLineEdit *other;
        Fixture()
        {
            edit = new TDBNumberEdit(&window);
            edit->setGeometry(0, 0, 91, 24);
            other = new QLineEdit(&window);
            other->setGeometry(0, 30, 91, 24);
            window.show();
            window.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&window));
            edit->setFocus();
        }
    };

private slots:
    void normaliseRules_data()
    {
        QTest::addColumn<QString>("in");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("out");
        QTest::newRow("digits") << "120" << true << "120";
        QTest::newRow("comma is the separator") << "35,5" << true << "35.5";
        QTest::newRow("two decimals") << "1.25" << true << "1.25";
        QTest::newRow("third decimal") << "1.255" << false << "";
        QTest::newRow("second separator") << "1.2.3" << false << "";
        QTest::newRow("comma after point") << "1.2,3" << false << "";
        QTest::newRow("minus") << "-5" << false << "";
        QTest::newRow("plus") << "+5" << false << "";
        QTest::newRow("letters") << "12a" << false << "";
        QTest::newRow("exponent") << "1e5" << false << "";
        QTest::newRow("blank inside") << "1 2" << false << "";
        QTest::newRow("copied cell") << "12\r\n" << true << "12";
        QTest::newRow("blanks around") << QStringLiteral("\t35,5 \u3000") << true << "35.5";
        QTest::newRow("lone separator") << "." << true << ".";
        QTest::newRow("empty") << "" << true << "";
        QTest::newRow("largest") << "999999999.99" << true << "999999999.99";
        QTest::newRow("one cent more") << "999999999.991" << false << "";
        QTest::newRow("ten digits clamp") << "1000000000" << true << "999999999.99";
        QTest::newRow("huge clamps") << "99999999999999999999" << true << "999999999.99";
        QTest::newRow("full-width digits") << QStringLiteral("１２．５") << true << "12.5";
        // A comma followed by three digits separates thousands; with one or
        // two (or none yet) it is the decimal separator.
        QTest::newRow("comma decimal") << "8,5" << true << "8.5";
        QTest::newRow("comma two decimals") << "8,50" << true << "8.50";
        QTest::newRow("comma not yet followed") << "8," << true << "8.";
        QTest::newRow("comma thousands") << "8,000" << true << "8000";
        QTest::newRow("thousands and point") << "1,234.5" << true << "1234.5";
        QTest::newRow("two thousands") << "12,345,678.90" << true << "12345678.90";
        QTest::newRow("thousands then decimal comma") << "1,234,5" << true << "1234.5";
        QTest::newRow("full-width comma") << QStringLiteral("８，０００") << true << "8000";
        QTest::newRow("four digits after comma") << "8,0000" << false << "";
        QTest::newRow("short group before point") << "1,23.5" << false << "";
        QTest::newRow("second decimal comma") << "8,5,1" << false << "";
        QTest::newRow("thousands beyond maximum") << "1,000,000,000" << true << "999999999.99";
    }
    void normaliseRules()
    {
        QFETCH(QString, in);
        QFETCH(bool, ok);
        QFETCH(QString, out);
        QString text = in;
        QCOMPARE(TDBNumberEdit::normalise(text, 0, 999999999.99, 2), ok);
        if (ok)
            QCOMPARE(text, out);
        else
            QCOMPARE(text, in); // a refused text is left as it was
    }

    void minimumAboveZeroClamps()
    {
        QString text = QStringLiteral("3");
        QVERIFY(TDBNumberEdit::normalise(text, 5, 10, 2));
        QCOMPARE(text, QStringLiteral("5"));
    }

    // What is typed stays as typed; its value is read at every keystroke,
    // and leaving the edit shows the general form. Every refused key sounds
    // the warning and says why beside the edit.
    void typing()
    {
        Fixture f;
        int sounds = 0;
        ui::feedback::setSoundHook([&] { ++sounds; });
        QSignalSpy said(f.edit, &TDBNumberEdit::signalled);
        QTest::keyClicks(f.edit, QStringLiteral("12,3"));
        QCOMPARE(f.edit->text(), QStringLiteral("12,3"));
        QCOMPARE(f.edit->value().toDouble(), 12.3);
        QTest::keyClicks(f.edit, QStringLiteral("4"));
        QCOMPARE(f.edit->value().toDouble(), 12.34);
        QCOMPARE(sounds, 0);
        QTest::keyClicks(f.edit, QStringLiteral(".-a"));
        QCOMPARE(f.edit->text(), QStringLiteral("12,34")); // second separator, minus, letter
        QCOMPARE(sounds, 3);
        QCOMPARE(said.size(), 3);
        QCOMPARE(said.at(1).at(0).toString(), QStringLiteral("不能输入负数"));
        QCOMPARE(QToolTip::text(), QStringLiteral("只能输入数字和小数点"));
        f.edit->clear();
        QTest::keyClicks(f.edit, QStringLiteral("1.234"));
        QCOMPARE(f.edit->text(), QStringLiteral("1.23"));
        QCOMPARE(QToolTip::text(), QStringLiteral("小数点后最多2位"));
        QCOMPARE(sounds, 4);

        // The clerk's figures from paper, with thousands separators.
        const struct {
            const char *typed;
            double value;
        } figures[] = {{"8,000", 8000}, {"1,234.5", 1234.5}, {"8,5", 8.5}, {"12,345,678.9", 12345678.9}};
        for (const auto &figure : figures) {
            f.edit->setFocus();
            f.edit->clear();
            QTest::keyClicks(f.edit, QLatin1String(figure.typed));
            QCOMPARE(f.edit->text(), QLatin1String(figure.typed));
            QCOMPARE(f.edit->value().toDouble(), figure.value);
            f.other->setFocus(Qt::TabFocusReason);
            QCOMPARE(f.edit->value().toDouble(), figure.value);
            QCOMPARE(f.edit->text(), store::formatNumber(figure.value));
        }
        QCOMPARE(sounds, 4);
        ui::feedback::setSoundHook({});
    }

    // A figure brought to the limit is signalled at once and kept for the
    // window to say once; a changed figure has nothing to say.
    void typingBeyondTheMaximum()
    {
        Fixture f;
        int sounds = 0;
        ui::feedback::setSoundHook([&] { ++sounds; });
        QTest::keyClicks(f.edit, QStringLiteral("999999999"));
        QCOMPARE(f.edit->text(), QStringLiteral("999999999"));
        QCOMPARE(sounds, 0);
        QTest::keyClicks(f.edit, QStringLiteral("1"));
        QCOMPARE(f.edit->text(), QStringLiteral("999999999.99"));
        QCOMPARE(f.edit->value().toDouble(), 999999999.99);
        QCOMPARE(sounds, 1);
        QCOMPARE(QToolTip::text(), QStringLiteral("超过上限，已改为 999999999.99"));
        QTest::keyClicks(f.edit, QStringLiteral("9"));
        QCOMPARE(f.edit->text(), QStringLiteral("999999999.99"));
        QCOMPARE(sounds, 2);
        QCOMPARE(f.edit->takeClampNotice(), QStringLiteral("9999999991"));
        QCOMPARE(f.edit->takeClampNotice(), QString());

        f.edit->selectAll();
        f.edit->insert(QStringLiteral("5,000,000,000"));
        QTest::keyClick(f.edit, Qt::Key_Backspace);
        QCOMPARE(f.edit->takeClampNotice(), QString());
        ui::feedback::setSoundHook({});
    }

    void pasteKeepsAValidValue()
    {
        Fixture f;
        f.edit->setNumber(42);
        f.edit->selectAll();
        QApplication::clipboard()->setText(QStringLiteral("12abc"));
        f.edit->paste();
        QCOMPARE(f.edit->text(), QStringLiteral("42"));
        f.edit->insert(QStringLiteral("-1"));
        QCOMPARE(f.edit->text(), QStringLiteral("42"));
        f.edit->selectAll();
        f.edit->insert(QStringLiteral("1,5"));
        QCOMPARE(f.edit->value().toDouble(), 1.5);
        f.edit->selectAll();
        QApplication::clipboard()->setText(QStringLiteral(" 7,25\r\n"));
        f.edit->paste();
        QCOMPARE(f.edit->value().toDouble(), 7.25);
        // Copied from a sheet with thousands separators.
        for (const auto &[pasted, value] : {std::pair{"1,234.5\r\n", 1234.5}, {"8,000", 8000.0}, {"12,345,678", 12345678.0}}) {
            f.edit->selectAll();
            QApplication::clipboard()->setText(QLatin1String(pasted));
            f.edit->paste();
            QCOMPARE(f.edit->value().toDouble(), value);
        }
        f.edit->selectAll();
        f.edit->insert(QStringLiteral("123456789012"));
        QCOMPARE(f.edit->text(), QStringLiteral("999999999.99"));
        QVERIFY(f.edit->value().isValid());
    }

    void valueInAndOut()
    {
        TDBNumberEdit edit;
        QVERIFY(!edit.value().isValid());
        QVERIFY(edit.isNull());
        edit.setValue(35.5);
        QCOMPARE(edit.text(), QStringLiteral("35.5"));
        edit.setValue(120.0);
        QCOMPARE(edit.text(), QStringLiteral("120"));
        edit.setValue(0.0);
        QCOMPARE(edit.text(), QStringLiteral("0"));
        QCOMPARE(edit.value(), QVariant(0.0));
        edit.setValue(59 * 1.7);
        QCOMPARE(edit.text(), QStringLiteral("100.3"));
        edit.setValue(QVariant());
        QCOMPARE(edit.text(), QString());
        QVERIFY(!edit.value().isValid());
        edit.setValue(1e12);
        QCOMPARE(edit.text(), QStringLiteral("999999999.99"));
        edit.setValue(-3.0);
        QCOMPARE(edit.text(), QStringLiteral("0"));
        edit.setValue(QStringLiteral("not a number"));
        QVERIFY(edit.isNull());
    }

    void leavingShowsTheGeneralForm()
    {
        Fixture f;
        QTest::keyClicks(f.edit, QStringLiteral("035."));
        QCOMPARE(f.edit->text(), QStringLiteral("035."));
        QCOMPARE(f.edit->value().toDouble(), 35.0);
        f.other->setFocus(Qt::TabFocusReason);
        QCOMPARE(f.edit->text(), QStringLiteral("35"));
        f.edit->setFocus();
        f.edit->clear();
        QTest::keyClicks(f.edit, QStringLiteral("."));
        f.other->setFocus(Qt::TabFocusReason);
        QCOMPARE(f.edit->text(), QStringLiteral("0"));
    }

    void hooks()
    {
        Fixture f;
        int exits = 0;
        QList<int> keys;
        QString chars;
        f.edit->OnExit = [&](TDBNumberEdit *) { ++exits; };
        f.edit->OnKeyDown = [&](TDBNumberEdit *, int &key, Qt::KeyboardModifiers) {
            keys << key;
            if (key == Qt::Key_Up)
                key = 0;
        };
        f.edit->OnKeyPress = [&](TDBNumberEdit *, QChar &c) {
            chars += c;
            if (c == QLatin1Char('7'))
                c = QChar();
        };
        QTest::keyClicks(f.edit, QStringLiteral("172"));
        QCOMPARE(f.edit->text(), QStringLiteral("12")); // '7' consumed by the hook
        QCOMPARE(chars, QStringLiteral("172"));
        QTest::keyClick(f.edit, Qt::Key_Up);
        QCOMPARE(keys.last(), int(Qt::Key_Up));
        QTest::keyClick(f.edit, Qt::Key_Return);
        QCOMPARE(chars.right(1), QStringLiteral("\r"));

        // Another window taking the focus is not an exit; moving on is.
        QCOMPARE(exits, 0);
        QWidget popup;
        popup.show();
        popup.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&popup));
        QCOMPARE(exits, 0);
        f.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.window));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(f.edit));
        f.other->setFocus(Qt::MouseFocusReason);
        QCOMPARE(exits, 1);
    }

    void mouseUpHook()
    {
        Fixture f;
        QList<Qt::MouseButton> buttons;
        f.edit->OnMouseUp = [&](TDBNumberEdit *, Qt::MouseButton b, Qt::KeyboardModifiers, const QPoint &) {
            buttons << b;
        };
        QTest::mouseClick(f.edit, Qt::LeftButton);
        QTest::mouseClick(f.edit, Qt::RightButton);
        QCOMPARE(buttons, (QList<Qt::MouseButton>{Qt::LeftButton, Qt::RightButton}));
    }

    // What Qt draws itself speaks Chinese, as the program does: the
    // right-click menu of the edit and the buttons of a real message box.
    void qtTextsAreChinese()
    {
        QVERIFY(ui::installQtTranslations());
        Fixture f;
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), f.edit->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(f.edit, &event);
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(menu);
        QStringList texts;
        for (QAction *a : menu->actions())
            if (!a->isSeparator())
                texts << a->text();
        menu->close();
        QCOMPARE(texts.join(QLatin1Char('|')),
                 QStringLiteral("撤消(&U)\tCtrl+Z|重做(&R)\tCtrl+Y|剪切(&T)\tCtrl+X|复制(&C)\tCtrl+C|粘贴(&P)\tCtrl+V|删除|"
                                "全选\tCtrl+A"));

        const bool wasTestMode = ui::MessageBox::testMode();
        ui::MessageBox::setTestMode(false);
        QStringList buttons;
        const auto readAndClose = [&buttons] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            for (QAbstractButton *b : box->buttons())
                buttons << b->text();
            box->buttons().last()->click();
        };
        QTimer::singleShot(0, readAndClose);
        ui::MessageBox::show(&f.window, QStringLiteral("?"), QStringLiteral("提示"), ui::Icon::Information);
        QTimer::singleShot(0, readAndClose);
        const ui::Answer answer = ui::MessageBox::show(&f.window, QStringLiteral("?"), QStringLiteral("提示"),
                                                       ui::Icon::Question, ui::Buttons::YesNo);
        ui::MessageBox::setTestMode(wasTestMode);
        QCOMPARE(buttons, (QStringList{QStringLiteral("确定"), QStringLiteral("是(&Y)"), QStringLiteral("否(&N)")}));
        QCOMPARE(answer, ui::Answer::No);
    }
};

QTEST_MAIN(TestNumberEdit)
#include "test_numberedit.moc"
