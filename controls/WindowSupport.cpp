#include "controls/WindowSupport.h"

#include "store/Error.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QToolButton>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>

namespace ui {

QString errorText(const std::exception &e)
{
    return store::errorText(e);
}

BusyCursor::BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }

BusyCursor::~BusyCursor() { QApplication::restoreOverrideCursor(); }

namespace {
// Sees the keys the window's controls leave unhandled: a button that is not
// a dialog's default passes Enter on to its window.
class EnterOnButton : public QObject {
public:
    explicit EnterOnButton(QWidget *window) : QObject(window), m_window(window) {}

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
            return false;
        if (key->modifiers() & ~Qt::KeypadModifier)
            return false;
        auto *button = qobject_cast<QAbstractButton *>(m_window->focusWidget());
        if (!button || button->window() != m_window || !button->isEnabled()
            || !(qobject_cast<QPushButton *>(button) || qobject_cast<QToolButton *>(button)))
            return false;
        button->click();
        return true;
    }

private:
    QWidget *m_window;
};
} // namespace

void enterPressesFocusedButton(QWidget *window) { window->installEventFilter(new EnterOnButton(window)); }

void centreOnScreen(QWidget *window)
{
    QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    window->move(area.center() - QPoint(window->width() / 2, window->height() / 2));
}

// An INI file on every system (on Windows in %APPDATA%, not the registry):
// a file the user can see, copy and remove with the program's data.
std::unique_ptr<QSettings> programSettings()
{
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("PDeclare"),
                                       QStringLiteral("PDeclare"));
}

} // namespace ui
