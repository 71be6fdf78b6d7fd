// pdeclare-cli print: the same forms to a PDF, and its failures.
#include "PrintTestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

namespace {

testsupport::ProcessResult cli(const QStringList &args, const QString &workingDir = QString())
{
    return testsupport::cli(QStringList{QStringLiteral("print")} + args, {{}, workingDir});
}

bool hasWord(const std::vector<testsupport::PdfWord> &words, const QString &text)
{
    for (const auto &w : words)
        if (w.text == text)
            return true;
    return false;
}

} // namespace

TEST(PrintCli, WritesTheDataAndTheBlankFormAndLeavesTheTableAlone)
{
    testsupport::TempProgramDir dir;
    printtest::execResult({QStringLiteral("update result set cws_zk=35.50, yydm='8888  辛医院' where nd='20030112'")});
    const QByteArray before = printtest::resultBytes();

    const QString data = dir.file(QStringLiteral("out/data.pdf"));
    QDir().mkpath(dir.file(QStringLiteral("out")));
    auto r = cli({QStringLiteral("--data"), QStringLiteral("--pdf"), data, dir.path()});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(testsupport::pdfPageCount(data), 2);
    auto words = testsupport::pdfWords(data);
    EXPECT_TRUE(hasWord(words, QStringLiteral("35.5")));
    EXPECT_TRUE(hasWord(words, QStringLiteral("8888")));

    const QString blank = dir.file(QStringLiteral("out/blank.pdf"));
    r = cli({dir.path(), QStringLiteral("--blank"), QStringLiteral("--pdf"), blank});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(testsupport::pdfPageCount(blank), 2);
    words = testsupport::pdfWords(blank);
    EXPECT_FALSE(hasWord(words, QStringLiteral("35.5")));
    EXPECT_FALSE(hasWord(words, QStringLiteral("8888")));
    EXPECT_FALSE(hasWord(words, QStringLiteral("0")));

    EXPECT_EQ(printtest::resultBytes(), before);
}

TEST(PrintCli, DefaultFileNamesAreInTheCurrentDirectory)
{
    testsupport::TempProgramDir dir;
    const QString work = dir.file(QStringLiteral("work"));
    QDir().mkpath(work);
    ASSERT_EQ(cli({QStringLiteral("--data"), dir.path()}, work).exitCode, 0);
    ASSERT_EQ(cli({QStringLiteral("--blank"), dir.path()}, work).exitCode, 0);
    EXPECT_EQ(testsupport::pdfPageCount(work + QStringLiteral("/申报表.pdf")), 2);
    EXPECT_EQ(testsupport::pdfPageCount(work + QStringLiteral("/空白表.pdf")), 2);
}

TEST(PrintCli, FailsWithAMessageAndWritesNothing)
{
    testsupport::TempProgramDir dir(false); // no result.dbf
    const QString pdf = dir.file(QStringLiteral("x.pdf"));
    struct Case {
        const char *what;
        QStringList args;
    };
    const std::vector<Case> cases = {
        {"no variant", {QStringLiteral("--pdf"), pdf, dir.path()}},
        {"both variants", {QStringLiteral("--data"), QStringLiteral("--blank"), QStringLiteral("--pdf"), pdf, dir.path()}},
        {"--pdf without a name", {QStringLiteral("--data"), QStringLiteral("--pdf")}},
        {"unknown option", {QStringLiteral("--data"), QStringLiteral("--colour"), dir.path()}},
        {"missing program directory", {QStringLiteral("--data"), QStringLiteral("--pdf"), pdf, dir.file(QStringLiteral("nowhere"))}},
        {"missing working table", {QStringLiteral("--data"), QStringLiteral("--pdf"), pdf, dir.path()}},
    };
    for (const Case &c : cases) {
        const auto r = cli(c.args);
        EXPECT_EQ(r.exitCode, 2) << c.what;
        EXPECT_FALSE(r.err.trimmed().isEmpty()) << c.what;
        EXPECT_FALSE(QFile::exists(pdf)) << c.what;
    }
}
