// Start-up as a user waits for it: from starting the process to its main
// window mapped on the X display, for PDeclare and, side by side in the
// same run, the smallest Qt main window built the same way
// (pdeclare-minimal-window). Run on an X display (xvfb-run); each program
// runs from a copy of the program folder, so the build's own tables are not
// touched.
#include "tests/support/TestSupport.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <xcb/xcb.h>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

// Watches the root window for new top-level windows being mapped.
class Display {
public:
    Display()
    {
        m_connection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_connection))
            return;
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection, screen->root, XCB_CW_EVENT_MASK, &mask);
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

    // Waits (at most timeoutMs) for a window to be mapped.
    bool waitForMap(int timeoutMs)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < timeoutMs) {
            while (xcb_generic_event_t *e = xcb_poll_for_event(m_connection)) {
                const bool mapped = (e->response_type & 0x7f) == XCB_MAP_NOTIFY;
                free(e);
                if (mapped)
                    return true;
            }
            pollfd p{xcb_get_file_descriptor(m_connection), POLLIN, 0};
            ::poll(&p, 1, 20);
        }
        return false;
    }

private:
    xcb_connection_t *m_connection = nullptr;
    bool m_ok = false;
};

// A program folder of its own: the program and the delivered tables.
struct Folder {
    QTemporaryDir dir;
    QString program;
    explicit Folder(const QString &name)
    {
        const QString built = testsupport::builtProgramDir();
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

void startUp(benchmark::State &state, const char *name)
{
    // One connection for the whole run: an X server without clients resets,
    // and refuses connections meanwhile.
    static Display display;
    if (!display.ok()) {
        state.SkipWithError("no X display: run under xvfb-run");
        return;
    }
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    Folder folder{QString::fromLatin1(name)};
    const QByteArray program = QFile::encodeName(folder.program);
    for (auto _ : state) {
        display.drain();
        char *argv[] = {const_cast<char *>(program.constData()), nullptr};
        QElapsedTimer t;
        t.start();
        pid_t pid = 0;
        if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ) != 0) {
            state.SkipWithError("cannot start the program");
            return;
        }
        const bool shown = display.waitForMap(20000);
        state.SetIterationTime(double(t.nsecsElapsed()) / 1e9);
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
        if (!shown) {
            state.SkipWithError("no window was shown");
            return;
        }
    }
}

void BM_StartUpMinimalMainWindow(benchmark::State &state) { startUp(state, "pdeclare-minimal-window"); }
void BM_StartUpPDeclare(benchmark::State &state) { startUp(state, "PDeclare"); }

} // namespace

BENCHMARK(BM_StartUpMinimalMainWindow)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);
BENCHMARK(BM_StartUpPDeclare)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);

BENCHMARK_MAIN();
