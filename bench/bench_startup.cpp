// Start-up as a user waits for it: from starting the process to its main
// window mapped on the X display, for PDeclare and, side by side in the
// same run, the smallest Qt main window built the same way
// (pdeclare-minimal-window); and the first print preview of a fresh
// PDeclare, driven through its menu as a user would (xdotool). Run on an X
// display (xvfb-run); each program runs from a copy of the program folder,
// so the build's own tables are not touched.
//
// Each start is a whole process. The two programs take turns, the order
// swapped every round, and the figures are medians, so that the other work
// on the machine weighs on both alike. Besides the time to the mapped
// window, the processor time of the process (all its threads; it is stopped
// as soon as its window is mapped) is given: it varies much less with the
// machine's load.
//
// PDECLARE_BENCH_PROGRAMS=DIR runs the programs of another build's program
// folder (the figures of a branch against those of main, say).
#include "tests/support/TestSupport.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <xcb/xcb.h>

#include <algorithm>
#include <optional>
#include <vector>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

QString programsDir()
{
    const QString dir = qEnvironmentVariable("PDECLARE_BENCH_PROGRAMS");
    return dir.isEmpty() ? testsupport::builtProgramDir() : QDir(dir).absolutePath() + QLatin1Char('/');
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Watches the root window for top-level windows being mapped.
class Display {
public:
    Display()
    {
        m_connection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_connection))
            return;
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
        m_netWmName = atom("_NET_WM_NAME");
        m_utf8 = atom("UTF8_STRING");
        xcb_flush(m_connection);
        m_ok = true;
    }
    ~Display() { xcb_disconnect(m_connection); }
    bool ok() const { return m_ok; }

    void drain()
    {
        while (xcb_generic_event_t *e = xcb_poll_for_event(m_connection))
            free(e);
    }

    // Waits (at most timeoutMs) for a window whose title contains `title`
    // (any window when empty) to be mapped.
    std::optional<xcb_window_t> waitForMap(int timeoutMs, const QString &title = QString())
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < timeoutMs) {
            while (xcb_generic_event_t *e = xcb_poll_for_event(m_connection)) {
                std::optional<xcb_window_t> mapped;
                if ((e->response_type & 0x7f) == XCB_MAP_NOTIFY)
                    mapped = reinterpret_cast<xcb_map_notify_event_t *>(e)->window;
                free(e);
                if (mapped && (title.isEmpty() || name(*mapped).contains(title)))
                    return mapped;
            }
            pollfd p{xcb_get_file_descriptor(m_connection), POLLIN, 0};
            ::poll(&p, 1, 20);
        }
        return std::nullopt;
    }

    // The window's place on the screen (no window manager: its parent is the
    // root window).
    QPoint position(xcb_window_t window)
    {
        QPoint at;
        if (xcb_get_geometry_reply_t *g = xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, window), nullptr)) {
            at = QPoint(g->x, g->y);
            free(g);
        }
        return at;
    }

private:
    xcb_atom_t atom(const char *name)
    {
        xcb_atom_t a = XCB_ATOM_NONE;
        if (xcb_intern_atom_reply_t *r =
                xcb_intern_atom_reply(m_connection, xcb_intern_atom(m_connection, 0, uint16_t(strlen(name)), name), nullptr)) {
            a = r->atom;
            free(r);
        }
        return a;
    }

    QString name(xcb_window_t window)
    {
        QString text;
        const xcb_get_property_cookie_t cookie = xcb_get_property(m_connection, 0, window, m_netWmName, m_utf8, 0, 1024);
        if (xcb_get_property_reply_t *r = xcb_get_property_reply(m_connection, cookie, nullptr)) {
            text = QString::fromUtf8(static_cast<const char *>(xcb_get_property_value(r)), xcb_get_property_value_length(r));
            free(r);
        }
        return text;
    }

    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_root = 0;
    xcb_atom_t m_netWmName = XCB_ATOM_NONE;
    xcb_atom_t m_utf8 = XCB_ATOM_NONE;
    bool m_ok = false;
};

// One connection for the whole run: an X server without clients resets,
// and refuses connections meanwhile.
Display &display()
{
    static Display d;
    return d;
}

// A program folder of its own: the program and the delivered tables.
struct Folder {
    QTemporaryDir dir;
    QString program;
    explicit Folder(const QString &name)
    {
        const QString built = programsDir();
        program = dir.filePath(name);
        QFile::copy(built + name, program);
        QDir(dir.path()).mkpath(QStringLiteral("DataMeta"));
        QDir(dir.path()).mkpath(QStringLiteral("Result"));
        for (const QString &f : QDir(built + QStringLiteral("DataMeta")).entryList(QDir::Files))
            QFile::copy(built + QStringLiteral("DataMeta/") + f, dir.filePath(QStringLiteral("DataMeta/") + f));
        QFile::copy(built + QStringLiteral("DataMeta/sjsbb.dbf"), dir.filePath(QStringLiteral("Result/result.dbf")));
        QDir(dir.path()).mkpath(QStringLiteral("风格"));
        QFile::copy(built + QStringLiteral("风格/Main.skn"), dir.filePath(QStringLiteral("风格/Main.skn")));
    }
};

pid_t spawn(const QByteArray &program, const std::vector<QByteArray> &args = {}, bool search = false)
{
    std::vector<char *> argv{const_cast<char *>(program.constData())};
    for (const QByteArray &a : args)
        argv.push_back(const_cast<char *>(a.constData()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int failed = search ? ::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ)
                              : ::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
    return failed ? 0 : pid;
}

// Stops the process; the processor time it had, all its threads, in
// milliseconds.
double stop(pid_t pid)
{
    ::kill(pid, SIGTERM);
    rusage usage{};
    ::wait4(pid, nullptr, 0, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

struct Start {
    double ms = 0; // process start to the mapped window
    pid_t pid = 0; // still running
    xcb_window_t window = 0;
};

std::optional<Start> start(const Folder &folder, const QString &title = QString())
{
    display().drain();
    QElapsedTimer t;
    t.start();
    Start s;
    s.pid = spawn(QFile::encodeName(folder.program));
    if (!s.pid)
        return std::nullopt;
    const std::optional<xcb_window_t> window = display().waitForMap(20000, title);
    s.ms = double(t.nsecsElapsed()) / 1e6;
    if (!window) {
        stop(s.pid);
        return std::nullopt;
    }
    s.window = *window;
    return s;
}

bool setUp(benchmark::State &state)
{
    if (!display().ok()) {
        state.SkipWithError("no X display: run under xvfb-run");
        return false;
    }
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    return true;
}

// Both programs, taking turns; state.range(0) rounds.
void BM_StartUpSideBySide(benchmark::State &state)
{
    if (!setUp(state))
        return;
    Folder minimal{QStringLiteral("pdeclare-minimal-window")};
    Folder pdeclare{QStringLiteral("PDeclare")};
    for (auto _ : state) {
        std::vector<double> minimalMs, pdeclareMs, minimalCpu, pdeclareCpu;
        for (int round = 0; round < state.range(0); ++round) {
            for (int turn = 0; turn < 2; ++turn) {
                const bool first = (round + turn) % 2 == 0;
                const std::optional<Start> s = start(first ? minimal : pdeclare);
                if (!s) {
                    state.SkipWithError("no window was shown");
                    return;
                }
                (first ? minimalCpu : pdeclareCpu).push_back(stop(s->pid));
                (first ? minimalMs : pdeclareMs).push_back(s->ms);
            }
        }
        state.SetIterationTime(median(pdeclareMs) / 1e3);
        state.counters["minimal_ms"] = median(minimalMs);
        state.counters["pdeclare_ms"] = median(pdeclareMs);
        state.counters["ratio"] = median(pdeclareMs) / median(minimalMs);
        state.counters["minimal_cpu_ms"] = median(minimalCpu);
        state.counters["pdeclare_cpu_ms"] = median(pdeclareCpu);
        state.counters["cpu_ratio"] = median(pdeclareCpu) / median(minimalCpu);
    }
}

bool xdotool(std::vector<QByteArray> args)
{
    const pid_t pid = spawn("xdotool", args, true);
    int status = 0;
    return pid && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The first print preview of a fresh PDeclare: state.range(0) ms after its
// window is shown, 报表打印 → 打印数据表 is chosen with the mouse and the
// keys, and 打印 pressed; the time is from that key to the preview window
// mapped (medians: "median_ms", and "from_start_ms" from starting the
// process).
void BM_FirstPrintPreview(benchmark::State &state)
{
    if (!setUp(state))
        return;
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
        state.SkipWithError("xdotool is needed");
        return;
    }
    Folder pdeclare{QStringLiteral("PDeclare")};
    std::vector<double> fromKey, fromStart;
    for (auto _ : state) {
        QElapsedTimer sinceStart;
        sinceStart.start();
        const std::optional<Start> s = start(pdeclare, QStringLiteral("申报表"));
        if (!s) {
            state.SkipWithError("no main window was shown");
            return;
        }
        ::usleep(useconds_t(state.range(0) * 1000));
        const QPoint at = display().position(s->window);
        bool ok = xdotool({"mousemove", QByteArray::number(at.x() + 25), QByteArray::number(at.y() + 10), "click", "1"});
        ::usleep(100000); // the first menu opens
        ok = ok && xdotool({"key", "Right", "Down", "Return"});
        ok = ok && display().waitForMap(20000, QStringLiteral("打印数据表"));
        QElapsedTimer sinceKey;
        sinceKey.start();
        ok = ok && xdotool({"key", "space"});
        ok = ok && display().waitForMap(60000, QStringLiteral("Preview"));
        state.SetIterationTime(double(sinceKey.nsecsElapsed()) / 1e9);
        fromKey.push_back(double(sinceKey.nsecsElapsed()) / 1e6);
        fromStart.push_back(double(sinceStart.nsecsElapsed()) / 1e6);
        stop(s->pid);
        if (!ok) {
            state.SkipWithError("the print preview was not reached");
            return;
        }
    }
    state.counters["median_ms"] = median(fromKey);
    state.counters["from_start_ms"] = median(fromStart);
}

} // namespace

BENCHMARK(BM_StartUpSideBySide)->Arg(15)->Iterations(1)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_FirstPrintPreview)->Arg(0)->Arg(2000)->Iterations(5)->Unit(benchmark::kMillisecond)->UseManualTime();

BENCHMARK_MAIN();
