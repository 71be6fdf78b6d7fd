#include "controls/WindowSupport.h"

#include "store/Error.h"

#include <QApplication>
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

void centreOnScreen(QWidget *window)
{
    QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    window->move(area.center() - QPoint(window->width() / 2, window->height() / 2));
}

std::unique_ptr<QSettings> programSettings()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("PDeclare"),
                                       QStringLiteral("PDeclare"));
}

} // namespace ui
