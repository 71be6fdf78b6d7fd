#include "controls/MessageBox.h"

#include <QCoreApplication>
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
        box.addButton(QMessageBox::Ok);
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
