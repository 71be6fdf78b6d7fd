#include "cli/Commands.h"

#include "store/Paths.h"

#include <QCoreApplication>

namespace cli {

void useProgramDir(const QString &dirOrEmpty)
{
    store::paths::setProgramDir(dirOrEmpty.isEmpty() ? QCoreApplication::applicationDirPath() : dirOrEmpty);
}

} // namespace cli
