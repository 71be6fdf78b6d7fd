#include "controls/WindowSupport.h"

#include "store/Error.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>

namespace ui {

QString errorText(const std::exception &e)
{
    if (const auto *storeError = dynamic_cast<const store::Error *>(&e))
        return storeError->message();
    return QString::fromUtf8(e.what());
}

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
