// prompts: the prompts the entry window shows when the edit of FIELD in PERIOD (1 to 5,
// or its code) is left while the period shows the given figures (the others
// empty). One prompt a line, as the window words it, from the rules of
// DataMeta/tjjctjk.dbf; for scripts that type into the window and need to
// know which boxes come up.
#include "cli/Commands.h"

#include "entry/RulePrompts.h"
#include "store/Catalogue.h"
#include "store/Error.h"
#include "store/Paths.h"
#include "store/Query.h"

#include <QHash>

#include <cstdio>

namespace cat = store::catalogue;

namespace cli {

namespace {

int fail(const QString &message)
{
    std::fprintf(stderr, "pdeclare-cli prompts: %s\n", message.toLocal8Bit().constData());
    return 2;
}

} // namespace

const Command promptsCommand{
    "prompts", "FIELD PERIOD [FIELD=FIGURE ...] [PROGRAM_DIR]", "离开 FIELD 的输入框时录入窗口显示的提示，一行一条", nullptr, 0,
    "PERIOD 为 1 到 5 或期间代码；FIELD=FIGURE 给出该期间各指标的数值，未给出的为空。\n"
    "退出码：0 没有提示，1 有提示，2 失败。",
    false};

int cmdPrompts(const Args &parsed)
{
    const QStringList &args = parsed.positional;
    if (args.size() < 2)
        return usage(parsed);
    const int indicator = cat::indicatorIndex(args[0]);
    if (indicator < 0)
        return fail(QStringLiteral("没有指标 %1").arg(args[0]));
    const cat::Period *period = cat::periodByCode(args[1]);
    bool isIndex = false;
    if (const int index = args[1].toInt(&isIndex); !period && isIndex)
        period = cat::periodByIndex(index);
    if (!period)
        return fail(QStringLiteral("没有期间 %1（1 到 5，或期间代码）").arg(args[1]));

    QHash<int, double> figures; // indicator position -> figure; absent: empty
    QString programDir;
    for (const QString &arg : args.mid(2)) {
        const int eq = int(arg.indexOf(QLatin1Char('=')));
        const int field = eq > 0 ? cat::indicatorIndex(arg.left(eq)) : -1;
        if (field < 0) {
            if (!programDir.isEmpty())
                return fail(QStringLiteral("多余的参数 %1").arg(arg));
            programDir = arg;
            continue;
        }
        const QString text = arg.mid(eq + 1).trimmed();
        if (text.isEmpty()) {
            figures.remove(field);
            continue;
        }
        bool ok = false;
        const double figure = text.toDouble(&ok);
        if (!ok)
            return fail(QStringLiteral("%1 不是数字").arg(arg));
        figures.insert(field, figure);
    }
    if (!useProgramDir(programDir))
        return 2;

    try {
        store::Query rules(QStringLiteral("rules"));
        rules.setDirectory(store::paths::dataMetaDir());
        entry::RulePrompts prompts(rules);
        const entry::Prompts shown =
            prompts.afterExit(cat::indicators()[std::size_t(indicator)], *period, [&](const cat::Indicator &ind) {
                const auto found = figures.constFind(cat::indicatorIndex(ind.field));
                return found == figures.constEnd() ? QVariant() : QVariant(*found);
            });
        for (const QString &message : shown.messages) {
            const QByteArray line = (message + QLatin1Char('\n')).toUtf8();
            cli::writeOutput(line.constData(), std::size_t(line.size()));
        }
        cli::flushOutput();
        return shown.messages.isEmpty() ? 0 : 1;
    } catch (...) {
        return fail(store::errorText());
    }
}

} // namespace cli
