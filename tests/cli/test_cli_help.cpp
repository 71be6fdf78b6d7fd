// pdeclare-cli --help, each command's --help and the messages of a misuse
// or a failure, read as a user reads them: every command listed can be asked
// for its help, every option its usage line shows is explained, in Chinese;
// a failure names the table, never the program's internal object names.
#include "tests/support/TestSupport.h"

#include "store/DbfTable.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

testsupport::ProcessResult cli(const QStringList &args)
{
    return testsupport::run(testsupport::builtProgramDir() + QStringLiteral("pdeclare-cli"), args);
}

bool hasChinese(const QString &text)
{
    for (const QChar c : text)
        if (c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF)
            return true;
    return false;
}

// The rows of a two-column list ("  left   right", the right text possibly
// on the next line under a long left one) as (left, right).
std::vector<std::pair<QString, QString>> rows(const QString &text)
{
    std::vector<std::pair<QString, QString>> out;
    const QRegularExpression row(QStringLiteral("^  (\\S.*?)(?:\\s{2,}(\\S.*))?$"));
    const QRegularExpression continued(QStringLiteral("^\\s{3,}(\\S.*)$"));
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        if (const auto m = continued.match(line); m.hasMatch() && !out.empty() && out.back().second.isEmpty())
            out.back().second = m.captured(1);
        else if (const auto r = row.match(line); r.hasMatch())
            out.emplace_back(r.captured(1), r.captured(2));
    }
    return out;
}

} // namespace

// Every command of the list answers CMD --help with its usage line and an
// explanation of each option that line shows; every text a user reads
// there is Chinese. A command or option added without its help fails here.
TEST(CliHelp, EveryListedCommandExplainsItselfAndEachOfItsOptions)
{
    const auto list = cli({QStringLiteral("--help")});
    ASSERT_EQ(list.exitCode, 0);
    QStringList commands;
    for (const auto &[left, right] : rows(QString::fromUtf8(list.out))) {
        EXPECT_TRUE(hasChinese(right)) << left.toStdString();
        const QString name = left.section(QLatin1Char(' '), 0, 0);
        if (!name.startsWith(QLatin1Char('-')))
            commands << name;
    }
    for (const char *known : {"sql", "dump", "check", "print", "backup", "upload", "prompts", "collect", "status", "export",
                              "history"})
        EXPECT_TRUE(commands.contains(QLatin1String(known))) << known;

    const QRegularExpression optionWord(QStringLiteral("--[a-z-]+"));
    for (const QString &command : commands) {
        SCOPED_TRACE(command.toStdString());
        const auto help = cli({command, QStringLiteral("--help")});
        EXPECT_EQ(help.exitCode, 0) << help.err.constData();
        const QString text = QString::fromUtf8(help.out);
        const QString usageLine = text.section(QLatin1Char('\n'), 0, 0);
        EXPECT_TRUE(usageLine.startsWith(QStringLiteral("用法：pdeclare-cli ") + command)) << text.toStdString();
        EXPECT_TRUE(hasChinese(text.section(QLatin1Char('\n'), 1, 1))) << "summary";
        std::map<QString, QString> explained;
        for (const auto &[left, right] : rows(text))
            explained[left.section(QLatin1Char(' '), 0, 0)] = right;
        for (auto it = optionWord.globalMatch(usageLine); it.hasNext();) {
            const QString option = it.next().captured();
            EXPECT_TRUE(hasChinese(explained[option])) << option.toStdString();
        }
    }
}

// A misuse exits 2 and says, in Chinese, what was wrong and how the command
// is called; nothing goes to stdout.
TEST(CliHelp, MisuseSaysWhatIsWrongAndTheUsageInChinese)
{
    const struct {
        QStringList args;
        const char *says; // beside the usage line; nullptr: the usage line alone
    } cases[] = {
        {{QStringLiteral("sql")}, nullptr},
        {{QStringLiteral("dump")}, nullptr},
        {{QStringLiteral("backup")}, nullptr},
        {{QStringLiteral("upload"), QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}, nullptr},
        {{QStringLiteral("prompts"), QStringLiteral("cws_yy")}, nullptr},
        {{QStringLiteral("check"), QStringLiteral("--pdf")}, "pdeclare-cli check：--pdf 后面缺少参数\n"},
        {{QStringLiteral("print"), QStringLiteral("--data"), QStringLiteral("--bogus")}, "pdeclare-cli print：未知的选项 --bogus\n"},
        {{QStringLiteral("upload"), QStringLiteral("DIR"), QStringLiteral("--maybe")}, "pdeclare-cli upload：未知的选项 --maybe\n"},
        {{QStringLiteral("status"), QStringLiteral("db"), QStringLiteral("--factor")}, "pdeclare-cli status：--factor 后面缺少参数\n"},
        {{QStringLiteral("history"), QStringLiteral("db")}, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        const auto r = cli(c.args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.out.isEmpty());
        const QString err = QString::fromUtf8(r.err);
        const QString usage = QStringLiteral("用法：pdeclare-cli ") + c.args.first() + QLatin1Char(' ');
        EXPECT_TRUE(err.startsWith(c.says ? QString::fromUtf8(c.says) + usage : usage)) << err.toStdString();
        EXPECT_EQ(err.count(QLatin1Char('\n')), c.says ? 2 : 1) << err.toStdString();
    }
    const auto unknown = cli({QStringLiteral("sqll")});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(QString::fromUtf8(unknown.err).startsWith(QStringLiteral("pdeclare-cli：没有命令 sqll\n用法：pdeclare-cli 命令")));
}

// A declaration table without its figures' columns: each command that reads
// it fails, saying which column of which table; the names by which the
// windows and the form's layout know their queries stay out of it.
TEST(CliHelp, FailuresNameTheTableNotTheQueryObject)
{
    testsupport::TempProgramDir dir(false);
    std::vector<std::vector<QVariant>> rows;
    for (const char *nd : {"20020101", "20030101", "20040101", "20050101", "20060106"})
        rows.push_back({QString::fromLatin1(nd), QStringLiteral("1001  甲医院")});
    store::DbfTable::create(dir.file(QStringLiteral("Result/result.dbf")),
                            {store::FieldDef::make(QStringLiteral("nd"), 'C', 8), store::FieldDef::make(QStringLiteral("yydm"), 'C', 80)},
                            rows);
    const QRegularExpression objectName(QStringLiteral("AQry_|adoYy|TfrmInData|DBN"), QRegularExpression::CaseInsensitiveOption);
    for (const QStringList &args :
         {QStringList{QStringLiteral("print"), QStringLiteral("--data"), QStringLiteral("--pdf"), dir.file(QStringLiteral("form.pdf")), dir.path()},
          QStringList{QStringLiteral("check"), dir.path()},
          QStringList{QStringLiteral("upload"), dir.path(), dir.path()}}) {
        SCOPED_TRACE(args.first().toStdString());
        const auto r = cli(args);
        const QString err = QString::fromUtf8(r.err);
        EXPECT_EQ(r.exitCode, 2) << err.toStdString();
        EXPECT_TRUE(err.contains(QStringLiteral("result"))) << err.toStdString();
        EXPECT_FALSE(err.contains(objectName)) << err.toStdString();
    }
}
