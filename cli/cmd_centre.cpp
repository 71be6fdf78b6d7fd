// The monitoring centre's commands collect, status and history (declared
// in CentreCommands.cpp; export, which paints the PDF, is cmd_export.cpp).
// DB is an SQLite file or a postgresql:// URI. Messages are Chinese, on
// stderr; the summary line, the status and nothing else go to stdout.
#include "cli/CentreArgs.h"

#include "centre/Collect.h"
#include "centre/Export.h"
#include "centre/Status.h"
#include "store/Catalogue.h"
#include "store/Paths.h"

#include <QDir>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <optional>
#include <thread>
#include <unistd.h>

namespace cli {

void say(FILE *to, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    if (to == stdout) {
        // Kept for the exit check: a result that did not reach stdout is a failure.
        writeOutput(bytes.constData(), std::size_t(bytes.size()));
        flushOutput();
        return;
    }
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), to);
    std::fflush(to);
}

bool readCentreArgs(const Args &args, CentreArgs &out)
{
    out.positional = args.positional;
    out.programDir = args.value("--program-dir");
    out.csv = args.value("--csv");
    out.xlsx = args.value("--xlsx");
    out.pdf = args.value("--pdf");
    out.part = args.value("--part");
    out.json = args.has("--json");
    if (args.has("--factor")) {
        bool ok = false;
        out.factor = args.value("--factor").toDouble(&ok);
        if (!ok || !(out.factor > 1)) {
            say(stderr, QStringLiteral("pdeclare-cli %1：--factor 应为大于 1 的数\n").arg(QLatin1String(args.command->name)));
            return false;
        }
    }
    return true;
}

namespace {

// A progress bar on a terminal: "[#####.....]  123/1000"
class ProgressBar {
public:
    ProgressBar() : m_on(isatty(STDERR_FILENO)) {}
    void show(int done, int total)
    {
        if (!m_on || total <= 0)
            return;
        constexpr int width = 30;
        const int filled = int(qint64(done) * width / total);
        say(stderr, QStringLiteral("\r[%1%2] %3/%4").arg(QString(filled, QLatin1Char('#')), QString(width - filled, QLatin1Char('.')))
                        .arg(done).arg(total));
        m_shown = true;
    }
    void clear()
    {
        if (m_on && m_shown)
            say(stderr, QStringLiteral("\r\033[K"));
        m_shown = false;
    }

private:
    bool m_on;
    bool m_shown = false;
};

} // namespace

int cmdCollect(const Args &args)
{
    CentreArgs a;
    if (!readCentreArgs(args, a))
        return 2;
    if (a.positional.size() < 2)
        return usage(args);
    if (!useProgramDir(a.programDir))
        return 2;
    const QString dbName = a.positional.takeFirst();
    try {
        // The reference tables and the folders are read on a thread of
        // their own while the database driver, a plugin, is loaded. The
        // database is opened (created) only when they have been read.
        const QString programDir = store::paths::programDir();
        std::optional<centre::Reference> ref;
        QStringList files;
        std::exception_ptr readFailed;
        std::thread reading([&] {
            try {
                ref.emplace(centre::Reference::load(programDir));
                files = centre::findUploadFiles(a.positional);
            } catch (...) {
                readFailed = std::current_exception();
            }
        });
        centre::Database::loadDriver(dbName);
        reading.join();
        if (readFailed)
            std::rethrow_exception(readFailed);
        auto db = centre::Database::open(dbName);
        centre::Collector collector(*db, *ref);
        ProgressBar bar;
        const centre::CollectSummary s = collector.collect(files, [&](int done, int total, const centre::FileOutcome &o) {
            if (o.kind == centre::FileOutcome::Kind::Refused) {
                bar.clear();
                say(stderr, QStringLiteral("拒收 %1：%2\n").arg(QDir::toNativeSeparators(o.path), o.reason));
            }
            bar.show(done, total);
            return true;
        });
        bar.clear();
        if (files.isEmpty())
            say(stderr, QStringLiteral("没有找到上报文件（*SJSB.dbf）。\n"));
        // What was stored is told even when the database failed half-way.
        say(stdout, centre::summaryLine(s) + QLatin1Char('\n'));
        if (s.error) {
            say(stderr, QStringLiteral("收集中断：%1\n已存入数据库的文件如上；其余 %2 个文件没有存入，可再次收集。\n")
                            .arg(s.error->message()).arg(s.notDone));
            return s.total() > 0 ? 1 : 2;
        }
        return s.refused > 0 ? 1 : 0;
    } catch (const centre::Error &e) {
        say(stderr, e.message() + QLatin1Char('\n'));
        return 2;
    }
}

Centre openCentre(const CentreArgs &a)
{
    Centre c{centre::Reference::load(store::paths::programDir()), centre::Database::openExisting(a.positional.front()),
             {}};
    c.options.changeFactor = a.factor;
    return c;
}

int cmdStatus(const Args &args)
{
    CentreArgs a;
    if (!readCentreArgs(args, a))
        return 2;
    if (a.positional.size() != 1)
        return usage(args);
    if (!useProgramDir(a.programDir))
        return 2;
    try {
        const Centre c = openCentre(a);
        const centre::StatusReport st = centre::computeStatus(*c.db, c.ref, c.options);
        if (a.json)
            say(stdout, QString::fromUtf8(centre::statusJson(st) + '\n'));
        else
            say(stdout, centre::statusText(st));
        return 0;
    } catch (const centre::Error &e) {
        say(stderr, e.message() + QLatin1Char('\n'));
        return 2;
    }
}

// Every stored file of a project, newest collection first, with where it
// came from and who took it; with --diff the figures that differ between
// two of them (by their numbers; by default the current file and the one
// collected before it).
int cmdHistory(const Args &args)
{
    const QStringList &positional = args.positional;
    const bool diff = args.has("--diff");
    if (positional.size() != 2 && !(diff && positional.size() == 4))
        return usage(args);
    try {
        auto db = centre::Database::openExisting(positional[0]);
        const QString code = positional[1];
        const auto files = centre::fileHistory(*db, code);
        if (files.empty()) {
            say(stderr, QStringLiteral("数据库中没有项目 %1 的上报文件。\n").arg(code));
            return 1;
        }
        const auto local = [](const QDateTime &t) { return t.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")); };
        if (!diff) {
            say(stdout, QStringLiteral("编号\t收集时间\t申报日期\t文件名\t来源路径\t收集人\t主机\tSHA-256\t审核发现\t状态\n"));
            for (const auto &f : files) {
                const QString date = f.declaredOn.isEmpty() ? QStringLiteral("-")
                                     : QStringLiteral("%1（%2）").arg(f.declaredOn, f.dateSource == QLatin1String("table")
                                                                                  ? QStringLiteral("表内日期")
                                                                                  : QStringLiteral("文件时间"));
                say(stdout, QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\t%7\t%8\t%9\t%10\n")
                                .arg(f.id)
                                .arg(local(f.collectedAt), date, f.name, QDir::toNativeSeparators(f.sourcePath), f.collectedBy,
                                     f.host, f.sha256)
                                .arg(f.findings)
                                .arg(f.current ? QStringLiteral("当前") : QStringLiteral("历史")));
            }
            return 0;
        }
        qint64 from = 0, to = 0;
        if (positional.size() == 4) {
            bool ok1 = false, ok2 = false;
            from = positional[2].toLongLong(&ok1);
            to = positional[3].toLongLong(&ok2);
            if (!ok1 || !ok2) {
                say(stderr, QStringLiteral("pdeclare-cli history：--diff 后面应为两个文件编号\n"));
                return 2;
            }
        } else {
            if (files.size() < 2) {
                say(stderr, QStringLiteral("项目 %1 只有一个文件，没有可比较的。\n").arg(code));
                return 1;
            }
            // The current file against the one collected before it.
            const auto current = std::find_if(files.begin(), files.end(), [](const auto &f) { return f.current; });
            to = current != files.end() ? current->id : files[0].id;
            from = (files[0].id == to ? files[1] : files[0]).id;
        }
        const auto a = centre::storedDeclaration(*db, from), b = centre::storedDeclaration(*db, to);
        for (const auto &[id, d] : {std::pair{from, &a}, std::pair{to, &b}})
            if (!*d || (*d)->file.project != code) {
                say(stderr, QStringLiteral("项目 %1 没有编号为 %2 的文件。\n").arg(code).arg(id));
                return 1;
            }
        say(stdout, QStringLiteral("%1（编号 %2）→ %3（编号 %4）\n").arg(a->file.name).arg(from).arg(b->file.name).arg(to));
        const auto text = [](const std::optional<double> &v) {
            return v ? centre::cellText(QVariant(*v)) : QStringLiteral("（空白）");
        };
        int changed = 0;
        for (int i = 0; i < centre::kIndicators; ++i)
            for (int p = 0; p < centre::kPeriods; ++p) {
                const auto &x = a->figures[std::size_t(p)][std::size_t(i)], &y = b->figures[std::size_t(p)][std::size_t(i)];
                if (x == y)
                    continue;
                ++changed;
                say(stdout, QStringLiteral("%1\t%2\t%3\t→\t%4\n")
                                .arg(centre::indicatorTitle(i), store::catalogue::periods()[std::size_t(p)].label, text(x), text(y)));
            }
        say(stdout, QStringLiteral("共 %1 个数值不同\n").arg(changed));
        return 0;
    } catch (const centre::Error &e) {
        say(stderr, e.message() + QLatin1Char('\n'));
        return 2;
    }
}

} // namespace cli
