#pragma once
// The file layer's platform (store/Env.h) with faults on purpose, wrapping
// the real one: the N-th call that changes a file (a write, truncate, sync,
// rename or removal) fails as on a full disk, or the process ends right
// after it as if killed (exit code 86); lock() can answer that the file
// system keeps no locks. Tests install it in a process of their own (a
// forked child, or the test build of pdeclare-cli), never in the program.
#include "store/Env.h"

#include <QStringList>

#include <atomic>

namespace testsupport {

class FaultEnv : public store::fileio::Env {
public:
    explicit FaultEnv(store::fileio::Env &base = store::fileio::platformEnv()) : m_base(base) {}

    void failChange(int n) { m_failAt = n; }      // the n-th change fails (NoSpace)
    void exitAfterChange(int n) { m_exitAt = n; } // the process ends right after the n-th change
    void noLocks(bool on) { m_noLocks = on; }     // every lock() answers NoLocks (ENOLCK)
    void failSyncDir(bool on) { m_failSyncDir = on; } // every syncDir() fails (EIO)
    void instantWaits(bool on) { m_instantWaits = on; } // the lock wait ends without sleeping
    int changes() const { return m_count; }

    // Takes the options --fail-change N, --exit-after-change N, --no-locks
    // and --fail-sync-dir from the front of args. False when one lacks its number.
    bool configure(QStringList &args);

    store::fileio::Status open(const QString &path, store::fileio::Open mode,
                               std::unique_ptr<store::fileio::EnvFile> *out) override;
    store::fileio::Status stat(const QString &path, store::fileio::Follow follow,
                               store::fileio::FileStat *out) override
    {
        return m_base.stat(path, follow, out);
    }
    store::fileio::Status rename(const QString &from, const QString &to, store::fileio::Replace replace) override;
    store::fileio::Status remove(const QString &path) override;
    store::fileio::Status syncDir(const QString &dir) override;
    store::fileio::Status writableDir(const QString &dir, qint64 *freeBytes) override
    {
        return m_base.writableDir(dir, freeBytes);
    }
    bool processAlive(qint64 pid) override { return m_base.processAlive(pid); }
    void pause(int ms) override
    {
        if (!m_instantWaits)
            m_base.pause(ms);
    }

    // Around every change: before() counts it and may fail it, after() may
    // end the process.
    bool before();
    void after() const;
    bool locksRefused() const { return m_noLocks; }

private:
    store::fileio::Env &m_base;
    std::atomic<int> m_count{0};
    int m_failAt = 0;
    int m_exitAt = 0;
    bool m_noLocks = false;
    bool m_failSyncDir = false;
    bool m_instantWaits = false;
};

} // namespace testsupport
