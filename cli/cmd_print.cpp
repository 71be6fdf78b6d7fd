// pdeclare-cli print --data|--blank [--pdf FILE] [PROGRAM_DIR]
// Renders the declaration form the print window previews to a PDF file: the
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

namespace cli {

namespace {
int fail(const QString &message)
{
    std::fprintf(stderr, "pdeclare-cli print: %s\n", message.toUtf8().constData());
    return 2;
}
} // namespace

int cmdPrint(const QStringList &args)
{
    int variants = 0;
    print::FormVariant variant = print::FormVariant::Data;
    QString pdf;
    QString programDir;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        if (a == QLatin1String("--data")) {
            variant = print::FormVariant::Data;
            ++variants;
        } else if (a == QLatin1String("--blank")) {
            variant = print::FormVariant::Blank;
            ++variants;
        } else if (a == QLatin1String("--pdf")) {
            if (i + 1 >= args.size())
                return fail(QStringLiteral("--pdf 后面缺少文件名"));
            pdf = args.at(++i);
        } else if (a.startsWith(QLatin1String("--"))) {
            return fail(QStringLiteral("不认识的选项 %1（可用 --data 或 --blank，以及 --pdf 文件）").arg(a));
        } else if (programDir.isEmpty()) {
            programDir = a;
        } else {
            return fail(QStringLiteral("给出了不止一个程序目录：%1").arg(a));
        }
    }
    if (variants != 1)
        return fail(QStringLiteral("请在 --data（打印数据表）和 --blank（打印空白表）中选一个"));
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
    std::printf("%s\n", QDir::toNativeSeparators(QFileInfo(pdf).absoluteFilePath()).toUtf8().constData());
    return 0;
}

} // namespace cli
