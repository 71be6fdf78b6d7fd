#include "backup/HeadlessBackup.h"

#include "check/HeadlessCheck.h"
#include "store/Paths.h"

#include <QDir>

#include <cstdio>

namespace backup {

namespace {

class HeadlessBackupHost : public BackupHost {
public:
    explicit HeadlessBackupHost(bool answerYes)
        : m_temp(QStringLiteral("declaration")), m_dbTemp(QStringLiteral("flags")), m_answerYes(answerYes)
    {
        m_temp.setDirectory(store::paths::resultDir());
        m_dbTemp.setDirectory(store::paths::resultDir());
    }
    store::Query &tempQuery() override { return m_temp; }
    store::Query &dbTempQuery() override { return m_dbTemp; }
    ui::Answer message(const QString &text, const QString &caption, ui::Icon, ui::Buttons buttons) override
    {
        if (buttons == ui::Buttons::YesNo) {
            const ui::Answer answer = m_answerYes ? ui::Answer::Yes : ui::Answer::No;
            std::fprintf(stderr, "%s %s\n", text.toUtf8().constData(),
                         (answerYes() ? QStringLiteral("是") : QStringLiteral("否")).toUtf8().constData());
            return answer;
        }
        std::fprintf(stderr, "%s: %s\n", caption.toUtf8().constData(), text.toUtf8().constData());
        return ui::Answer::Ok;
    }
    Checked runUploadCheck() override
    {
        check::HeadlessCheckHost checkHost;
        bool notRun = false;
        const bool passed = check::runCheck(checkHost, CheckMode::Upload, &notRun);
        const QByteArray lines = check::findingLines(checkHost.findings());
        std::fwrite(lines.constData(), 1, std::size_t(lines.size()), stdout);
        std::fflush(stdout);
        for (const QString &text : checkHost.messages())
            std::fprintf(stderr, "提示: %s\n", text.toUtf8().constData());
        return notRun ? Checked::NotRun : passed ? Checked::Passed : Checked::Findings;
    }
    void restoreCursor() override {}
    void setPathText(const QString &) override {}

private:
    bool answerYes() const { return m_answerYes; }
    store::Query m_temp;
    store::Query m_dbTemp;
    bool m_answerYes;
};

} // namespace

int runHeadless(bool upload, const QString &dir, bool answerYes)
{
    HeadlessBackupHost host(answerYes);
    const Result result = run(host, upload ? Mode::Upload : Mode::Backup, QDir(dir).absolutePath());
    switch (result.outcome) {
    case Outcome::Written:
        std::fprintf(stdout, "%s\n", QDir::toNativeSeparators(result.targetFile).toUtf8().constData());
        return 0;
    case Outcome::Declined:
        return 1;
    case Outcome::Stopped:
    case Outcome::Failed:
        break;
    }
    return 2;
}

} // namespace backup
