#include "controls/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace ui {

bool installQtTranslations()
{
    static QTranslator *installed = nullptr;
    if (installed)
        return true;
    auto *translator = new QTranslator(QCoreApplication::instance());
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    const QLocale user;
    const bool loaded = (user.language() == QLocale::Chinese && translator->load(user, QStringLiteral("qtbase"), QStringLiteral("_"), dir))
        || translator->load(QStringLiteral("qtbase_zh_CN"), dir);
    if (!loaded || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    installed = translator;
    return true;
}

} // namespace ui
