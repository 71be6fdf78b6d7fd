// backup: copies Result/result.dbf into DIR as
// result.dbf, replacing an earlier backup there.
#include "cli/Commands.h"

#include "backup/HeadlessBackup.h"

namespace cli {

const Command backupCommand{"backup", "DIR [PROGRAM_DIR]", "把申报数据表复制到 DIR（替换那里以前的备份）", nullptr, 0,
                            nullptr, false};

int cmdBackup(const Args &args)
{
    const QStringList &words = args.positional;
    if (words.isEmpty() || words.size() > 2)
        return usage(args);
    if (!useProgramDir(words.value(1)))
        return 2;
    return backup::runHeadless(false, words[0], false);
}

} // namespace cli
