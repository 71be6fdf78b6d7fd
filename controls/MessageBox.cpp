#include "controls/MessageBox.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

#include <deque>

namespace ui {

namespace {
struct Seam {
    bool testMode = false;
    std::deque<Answer> answers;
    std::function<void(const ShownBox &)> hook;
    std::vector<ShownBox> shown;
};
Seam &seam()
{
    static Seam s;
    return s;
}

QMessageBox::Icon toQt(Icon icon)
{
    switch (icon) {
    case Icon::Information: return QMessageBox::Information;
    case Icon::Warning: return QMessageBox::Warning;
    case Icon::Error: return QMessageBox::Critical;
    case Icon::Question: return QMessageBox::Question;
    case Icon::None: break;
    }
    return QMessageBox::NoIcon;
}
} // namespace

Answer MessageBox::show(QWidget *owner, const QString &text, const QString &caption, Icon icon, Buttons buttons)
{
    Seam &s = seam();
    if (s.testMode) {
        ShownBox box{owner ? owner->objectName() : QString(), text, caption, icon, buttons};
        s.shown.push_back(box);
        if (s.hook)
            s.hook(box);
        Answer answer = buttons == Buttons::Ok ? Answer::Ok
                        : buttons == Buttons::YesNo ? Answer::No
                                                    : Answer::Cancel;
        if (!s.answers.empty()) {
            answer = s.answers.front();
            s.answers.pop_front();
        }
        return answer;
    }
    QMessageBox box(toQt(icon), caption, text, QMessageBox::NoButton, owner);
    if (buttons == Buttons::Ok) {
        box.addButton(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    } else {
        box.addButton(QMessageBox::Yes)->setText(QStringLiteral("是(&Y)"));
        box.addButton(QMessageBox::No)->setText(QStringLiteral("否(&N)"));
        // Esc and the close box give 取消 where there is one.
        if (buttons == Buttons::YesNoCancel)
            box.addButton(QMessageBox::Cancel)->setText(QStringLiteral("取消"));
    }
    const int result = box.exec();
    if (buttons == Buttons::Ok)
        return Answer::Ok;
    if (result == QMessageBox::Yes)
        return Answer::Yes;
    return result == QMessageBox::No ? Answer::No : Answer::Cancel;
}

void MessageBox::showStandardError(QWidget *owner, const QString &text)
{
    show(owner, text, applicationTitle(), Icon::Error, Buttons::Ok);
}

void MessageBox::showPlain(QWidget *owner, const QString &text)
{
    show(owner, text, applicationTitle(), Icon::None, Buttons::Ok);
}

namespace {
// Input for the owner's window while a prompt is up: keys go to the box,
// clicks and close requests are swallowed (the box is modal to the user).
// A modal box would not do: the window system hands keys typed just before
// the box has the keyboard to the owner window, and a blocked window drops
// them.
class PromptRouter : public QObject {
public:
    PromptRouter(QWidget *window, QMessageBox *box) : m_window(window), m_box(box) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (!widget)
            return false;
        // Keys the window system still sends to the box after it closed
        // belong to the owner again: they go to where its focus is.
        if (widget->window() == m_box && !m_box->isVisible()
            && (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)) {
            if (QWidget *to = m_window->focusWidget() ? m_window->focusWidget() : m_window) {
                auto *key = static_cast<QKeyEvent *>(event);
                QKeyEvent copy(key->type(), key->key(), key->modifiers(), key->text(), key->isAutoRepeat());
                QCoreApplication::sendEvent(to, &copy);
            }
            return true;
        }
        // Once the box is closed what follows belongs to the owner again.
        if (widget->window() != m_window || !m_box->isVisible())
            return false;
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease: {
            auto *key = static_cast<QKeyEvent *>(event);
            QKeyEvent copy(key->type(), key->key(), key->modifiers(), key->text(), key->isAutoRepeat());
            QCoreApplication::sendEvent(m_box->focusWidget() ? m_box->focusWidget() : m_box, &copy);
            return true;
        }
        case QEvent::ShortcutOverride:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Close:
            return true;
        default:
            return false;
        }
    }

private:
    QWidget *m_window;
    QMessageBox *m_box;
};
} // namespace

void MessageBox::showPrompt(QWidget *owner, const QString &text)
{
    if (seam().testMode || !owner) {
        showPlain(owner, text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok, owner);
    box.setWindowModality(Qt::NonModal);
    PromptRouter router(owner->window(), &box);
    QEventLoop loop;
    QObject::connect(&box, &QDialog::finished, &loop, &QEventLoop::quit);
    // The owner takes the keyboard back as soon as the box closes.
    QObject::connect(&box, &QDialog::finished, owner, [owner] { owner->window()->activateWindow(); });
    qApp->installEventFilter(&router);
    box.show();
    box.activateWindow();
    loop.exec();
    qApp->removeEventFilter(&router);
}

void MessageBox::setTestMode(bool on) { seam().testMode = on; }
bool MessageBox::testMode() { return seam().testMode; }
void MessageBox::queueAnswer(Answer answer) { seam().answers.push_back(answer); }
void MessageBox::setHook(std::function<void(const ShownBox &)> hook) { seam().hook = std::move(hook); }
const std::vector<ShownBox> &MessageBox::shown() { return seam().shown; }
void MessageBox::clearShown()
{
    seam().shown.clear();
    seam().answers.clear();
}

QString applicationTitleFor(const QString &programFilePath)
{
    QString name = QFileInfo(programFilePath).fileName();
    const int dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    if (name.size() > 1)
        name = name.left(1) + name.mid(1).toLower();
    return name;
}

QString applicationTitle()
{
    return applicationTitleFor(QCoreApplication::applicationFilePath());
}

} // namespace ui
