// pdeclare-cli sql DIR STATEMENT: one statement against the tables of DIR,
// for a support person who inspects or repairs the data.
#include "cli/Commands.h"

#include "store/Error.h"
#include "store/SqlText.h"

#include <cstdio>

namespace cli {

int cmdSql(const QStringList &args)
{
    if (args.size() < 2) {
        std::fputs("usage: pdeclare-cli sql DIR STATEMENT\n", stderr);
        return 2;
    }
    // A statement typed without quotes arrives as several words.
    const QString statement = args.mid(1).join(QLatin1Char(' '));
    try {
        // Printed as it comes: a large result is never held whole.
        store::sql::runAsText(args.at(0), statement, [](const QByteArray &piece) {
            cli::writeOutput(piece.constData(), size_t(piece.size()));
        });
        cli::flushOutput();
        return 0;
    } catch (...) {
        std::fprintf(stderr, "%s\n", store::errorText().toUtf8().constData());
        return 2;
    }
}

} // namespace cli
