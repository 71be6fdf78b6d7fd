#include "app/Shell.h"

#include <QDesktopServices>

namespace app {

namespace {
Shell::Opener &opener()
{
    static Shell::Opener instance;
    return instance;
}
} // namespace

bool Shell::open(const QUrl &url)
{
    if (opener())
        return opener()(url);
    return QDesktopServices::openUrl(url);
}

void Shell::setOpener(Opener replacement) { opener() = std::move(replacement); }

} // namespace app
