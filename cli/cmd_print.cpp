// print: renders the declaration form the print window previews to a PDF file: the
// same layout over the same five period queries (opened in edit state, never
// posted, so the working table is not touched).
#include "cli/Commands.h"

#include "controls/Fonts.h"
#include "print/PrintForm.h"
#include "store/Error.h"
#include "store/FileIo.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <exception>
#include <iterator>

namespace cli {

namespace {
int fail(const QString &message)
{
    std::fprintf(stderr, "pdeclare-cli print: %s\n", message.toLocal8Bit().constData());
    return 2;
}
} // namespace

namespace {
constexpr Option options[] = {
    {"--data", nullptr, "打印填好数据的申报表", 1, true},
    {"--blank", nullptr, "打印空白表", 1, true},
    {"--pdf", "FILE", "写到 FILE（默认为当前目录下的“申报表.pdf”或“空白表.pdf”）", 0, false},
};
} // namespace

const Command printCommand{"print", "[PROGRAM_DIR]", "把申报表（填好的或空白的）写成 PDF 文件，与打印窗口预览的相同", options,
                           std::size(options), nullptr, false};

int cmdPrint(const Args &args)
{
    if (args.positional.size() > 1)
        return fail(QStringLiteral("给出了不止一个程序目录：%1").arg(args.positional[1]));
    const QString programDir = args.positional.value(0);
    QString pdf = args.value("--pdf");
    if (args.count("--data") + args.count("--blank") != 1)
        return fail(QStringLiteral("请在 --data（打印数据表）和 --blank（打印空白表）中选一个"));
    const print::FormVariant variant = args.has("--data") ? print::FormVariant::Data : print::FormVariant::Blank;
    if (pdf.isEmpty())
        pdf = QDir::current().filePath(variant == print::FormVariant::Data ? QStringLiteral("申报表.pdf")
                                                                           : QStringLiteral("空白表.pdf"));
    if (!programDir.isEmpty() && !QFileInfo(programDir).isDir())
        return fail(QStringLiteral("程序目录 %1 不存在").arg(programDir));

    if (!useProgramDir(programDir))
        return 2;
    ui::installFontSubstitutions();
    try {
        auto owned = print::makePeriodQueries();
        std::vector<store::Query *> queries;
        for (auto &q : owned)
            queries.push_back(q.get());
        print::openPeriodQueries(queries);
        const report::PreparedReport prepared = print::prepareForm(variant, queries);
        store::fileio::NewFileDevice out(pdf);
        report::writePdf(prepared, out, pdf);
        out.commit();
    } catch (...) {
        return fail(store::errorText());
    }
    std::printf("%s\n", QDir::toNativeSeparators(QFileInfo(pdf).absoluteFilePath()).toLocal8Bit().constData());
    return 0;
}

} // namespace cli
