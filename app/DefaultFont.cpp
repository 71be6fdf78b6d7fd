#include "app/DefaultFont.h"

#include <QApplication>
#include <QFont>

namespace app {

void installDefaultFont()
{
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("MS Sans Serif")});
    QApplication::setFont(font);
}

} // namespace app
