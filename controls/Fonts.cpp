#include "controls/Fonts.h"

#include <QFont>
#include <QStringList>

namespace ui {

void installFontSubstitutions()
{
    const QStringList serif{QStringLiteral("Noto Serif CJK SC"), QStringLiteral("AR PL UMing CN"),
                            QStringLiteral("Noto Sans CJK SC")};
    const QStringList sans{QStringLiteral("Noto Sans CJK SC"), QStringLiteral("DejaVu Sans"),
                           QStringLiteral("AR PL UKai CN")};
    const QStringList kai{QStringLiteral("AR PL UKai CN"), QStringLiteral("AR PL UKai"),
                          QStringLiteral("Noto Serif CJK SC")};
    for (const char *name : {"宋体", "SimSun", "新宋体", "NSimSun"})
        QFont::insertSubstitutions(QString::fromUtf8(name), serif);
    for (const char *name : {"MS Sans Serif", "Tahoma", "MS Shell Dlg", "MS Shell Dlg 2"})
        QFont::insertSubstitutions(QString::fromUtf8(name), sans);
    for (const char *name : {"楷体_GB2312", "楷体", "KaiTi", "KaiTi_GB2312"})
        QFont::insertSubstitutions(QString::fromUtf8(name), kai);
    for (const char *name : {"华文新魏", "STXinwei"})
        QFont::insertSubstitutions(QString::fromUtf8(name), kai + sans);
}

} // namespace ui
