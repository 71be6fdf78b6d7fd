#include "controls/Skin.h"

#include "store/Paths.h"

#include <QApplication>
#include <QFile>
#include <QFont>

namespace ui {

namespace {
// The style sheet applied last, so that a later call without a skin file
// takes only this program's own skin away again.
QString &appliedSkin()
{
    static QString sheet;
    return sheet;
}
} // namespace

bool applySkin()
{
    auto *application = qobject_cast<QApplication *>(QCoreApplication::instance());
    if (!application)
        return false;
    QFile file(store::paths::skinFile());
    if (!file.open(QIODevice::ReadOnly)) {
        if (!appliedSkin().isEmpty() && application->styleSheet() == appliedSkin())
            application->setStyleSheet(QString());
        appliedSkin().clear();
        return false;
    }
    appliedSkin() = QString::fromUtf8(file.readAll());
    application->setStyleSheet(appliedSkin());
    return true;
}

void installDefaultFont()
{
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("MS Sans Serif")});
    QApplication::setFont(font);
}

} // namespace ui
