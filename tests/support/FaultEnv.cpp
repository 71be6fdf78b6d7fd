#include "tests/support/FaultEnv.h"

#include <unistd.h>

namespace testsupport {

using namespace store::fileio;

namespace {

const Status kFull{Errc::NoSpace, 0};

class FaultFile final : public EnvFile {
public:
    FaultFile(std::unique_ptr<EnvFile> base, FaultEnv &env) : m_base(std::move(base)), m_env(env) {}

    Status read(qint64 pos, char *data, qint64 len, qint64 *got) override { return m_base->read(pos, data, len, got); }
    Status write(qint64 pos, const char *data, qint64 len) override
    {
        return change([&] { return m_base->write(pos, data, len); });
    }
    Status stat(FileStat *out) override { return m_base->stat(out); }
    Status truncate(qint64 size) override
    {
        return change([&] { return m_base->truncate(size); });
    }
    Status sync() override
    {
        return change([&] { return m_base->sync(); });
    }
    Status lock(LockKind kind) override
    {
        if (m_env.locksRefused() && kind != LockKind::None)
            return {Errc::NoLocks, 0};
        return m_base->lock(kind);
    }

private:
    template <class Call>
    Status change(Call call)
    {
        if (!m_env.before())
            return kFull;
        const Status s = call();
        m_env.after();
        return s;
    }
    std::unique_ptr<EnvFile> m_base;
    FaultEnv &m_env;
};

} // namespace

Status FaultEnv::syncDir(const QString &dir)
{
    if (m_failSyncDir)
        return {Errc::Io, 0};
    return m_base.syncDir(dir);
}

bool FaultEnv::before() { return ++m_count != m_failAt; }

void FaultEnv::after() const
{
    if (m_exitAt > 0 && m_count == m_exitAt)
        ::_exit(86);
}

bool FaultEnv::configure(QStringList &args)
{
    while (!args.isEmpty() && args.front().startsWith(QLatin1String("--"))) {
        const QString option = args.front();
        if (option == QLatin1String("--no-locks") || option == QLatin1String("--fail-sync-dir")) {
            (option == QLatin1String("--no-locks") ? m_noLocks : m_failSyncDir) = true;
            args.removeFirst();
            continue;
        }
        if (option != QLatin1String("--fail-change") && option != QLatin1String("--exit-after-change"))
            break;
        bool ok = false;
        const int n = args.size() > 1 ? args[1].toInt(&ok) : 0;
        if (!ok)
            return false;
        (option == QLatin1String("--fail-change") ? m_failAt : m_exitAt) = n;
        args.removeFirst();
        args.removeFirst();
    }
    return true;
}

Status FaultEnv::open(const QString &path, Open mode, std::unique_ptr<EnvFile> *out)
{
    std::unique_ptr<EnvFile> file;
    const Status s = m_base.open(path, mode, &file);
    if (s.ok())
        *out = std::make_unique<FaultFile>(std::move(file), *this);
    return s;
}

Status FaultEnv::rename(const QString &from, const QString &to, Replace replace)
{
    if (!before())
        return kFull;
    const Status s = m_base.rename(from, to, replace);
    after();
    return s;
}

Status FaultEnv::remove(const QString &path)
{
    if (!before())
        return kFull;
    const Status s = m_base.remove(path);
    after();
    return s;
}

} // namespace testsupport
