// upload: checks the declaration,
// flags it and copies it into DIR as the project code + "SJSB.dbf". With
// findings the question is answered by --yes; --no or no answer declines.
#include "cli/Commands.h"

#include "backup/HeadlessBackup.h"

#include <iterator>

namespace cli {

namespace {
constexpr Option options[] = {
    {"--yes", nullptr, "有审核发现时仍然上报", 1, false},
    {"--no", nullptr, "有审核发现时不上报（默认）", 1, false},
};
} // namespace

const Command uploadCommand{"upload", "DIR [PROGRAM_DIR]", "检验申报数据，再把上报文件（项目编码 + SJSB.dbf）写到 DIR",
                            options, std::size(options),
                            "退出码：0 已上报，1 因审核发现而未上报，2 失败。", false};

int cmdUpload(const Args &args)
{
    const QStringList &words = args.positional;
    if (words.isEmpty() || words.size() > 2)
        return usage(args);
    if (!useProgramDir(words.value(1)))
        return 2;
    // The last of --yes and --no counts.
    const char *answer = args.lastOf({"--yes", "--no"});
    return backup::runHeadless(true, words[0], answer && qstrcmp(answer, "--yes") == 0);
}

} // namespace cli
