// sql: one statement against the tables of DIR,
// for a support person who inspects or repairs the data.
#include "cli/Commands.h"

#include "store/Error.h"
#include "store/SqlText.h"

#include <cstdio>

namespace cli {

const Command sqlCommand{"sql", "DIR STATEMENT", "对 DIR 中的表执行一条语句，列出查询结果", nullptr, 0,
                         "语句可以不加引号，分成几个词写；支持 SELECT、UPDATE、DELETE 和 PACK。", true};

int cmdSql(const Args &args)
{
    if (args.positional.size() < 2)
        return usage(args);
    // A statement typed without quotes arrives as several words.
    const QString statement = args.positional.mid(1).join(QLatin1Char(' '));
    try {
        // Printed as it comes: a large result is never held whole.
        store::sql::runAsText(args.positional.at(0), statement, [](const QByteArray &piece) {
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
