#include "check/CheckRun.h"

#include "store/Catalogue.h"
#include "store/Error.h"
#include "store/FileIo.h"
#include "store/Format.h"
#include "store/SqlTable.h"

#include <QLocale>

#include <exception>
#include <optional>

namespace check {

namespace {

void reopen(store::Query &query, const QString &sql)
{
    query.close();
    query.clearSql();
    query.setSql(sql);
}

QString statusChecking() { return QStringLiteral(" 正在检验数据, 请稍候..."); }
QString statusFinished() { return QStringLiteral(" 审核数据完毕！"); }

// Switches the busy cursor on once and off once, whatever path the run takes.
class Busy {
public:
    explicit Busy(CheckHost &host) : m_host(host) {}
    void on()
    {
        if (!m_on)
            m_host.setBusy(true);
        m_on = true;
    }
    void off()
    {
        if (m_on)
            m_host.setBusy(false);
        m_on = false;
    }
    void keep() { m_on = false; } // leave it on for the caller

private:
    CheckHost &m_host;
    bool m_on = false;
};

// The run itself; failures propagate to runCheck.
bool run(CheckHost &host, CheckMode mode, Busy &busy)
{
    host.setPanelText(0, QString());
    host.setPanelText(1, QString());

    if (mode == CheckMode::Window) {
        store::Query &temp = host.tempQuery();
        reopen(temp, QString::fromUtf8(sql::kSelectYydm));
        temp.open();
        temp.first();
        const QString yydm = temp.eof() ? QString() : textOf(temp, QStringLiteral("yydm")).trimmed();
        if (yydm.isEmpty()) {
            host.showMessage(QStringLiteral("无数据可检验！"));
            return false;
        }
    }

    busy.on();
    host.setPanelText(0, statusChecking());
    host.processEvents();

    store::Query &findings = host.findingsQuery();
    // The findings table is this run's alone until its findings are read
    // back: a check run by another program at the same time waits, instead
    // of mixing its findings with these.
    std::optional<store::fileio::File> hold;
    hold.emplace(store::fileio::File::open(store::sql::tableFile(findings.directory(), QStringLiteral("shtable1")),
                                           false, store::fileio::Lock::Exclusive));
    reopen(findings, QString::fromUtf8(sql::kDeleteFindings));
    findings.execSql();

    store::Query &rules = host.rulesQuery();
    reopen(rules, QString::fromUtf8(sql::kSelectRules));
    rules.open();
    rules.first();

    store::Query &temp = host.tempQuery();
    int position = 0;
    while (!rules.eof()) {
        ++position;
        const QString cond = textOf(rules, QStringLiteral("Cond")).trimmed();
        const QString cont = textOf(rules, QStringLiteral("Cont")).trimmed();

        reopen(temp, QString::fromUtf8(sql::kSelectRowsWhere) + cond);
        temp.open();
        for (temp.first(); !temp.eof(); temp.next()) {
            const QString label = store::catalogue::periodLabelFromCode(textOf(temp, QStringLiteral("nd")).trimmed());
            findings.close();
            findings.setSql(QString::fromUtf8(sql::kSelectFindings));
            findings.open();
            findings.append();
            findings.setFieldValue(QStringLiteral("name1"), label);
            findings.setFieldValue(QStringLiteral("name2"), QString());
            findings.setFieldValue(QStringLiteral("name3"), cont);
            findings.post();
        }

        host.setPanelText(1, progressText(position * 1.7));
        host.processEvents();
        rules.next();
    }

    host.setPanelText(0, statusFinished());
    host.setPanelText(1, progressText(100));
    host.processEvents();

    reopen(findings, QString::fromUtf8(sql::kSelectFindings));
    findings.open();
    hold.reset();
    if (findings.recordCount() > 0) {
        // The cursor goes back to normal before the preview: the user works
        // in it, nothing runs meanwhile.
        busy.off();
        host.previewFindings(findings);
        return false;
    }

    if (mode == CheckMode::Window) {
        busy.off();
        host.showMessage(QStringLiteral("数据通过检验！"));
        return true;
    }
    busy.keep();
    return true;
}

} // namespace

QString textOf(const store::Query &query, const QString &column)
{
    const QVariant value = query.fieldByName(column);
    return value.isValid() && !value.isNull() ? value.toString() : QString();
}

QString progressText(double percent)
{
    const QString point = QLocale::system().decimalPoint();
    const QChar separator = point.isEmpty() ? QLatin1Char('.') : point.at(0);
    return QStringLiteral(" 检验，完成：") + store::formatNumber(percent, separator) + QStringLiteral("%");
}

bool runCheck(CheckHost &host, CheckMode mode, bool *notRun)
{
    if (notRun)
        *notRun = false;
    Busy busy(host);
    QString failure;
    try {
        return run(host, mode, busy);
    } catch (const store::Error &e) {
        failure = e.message();
    } catch (const std::exception &e) {
        failure = QString::fromUtf8(e.what());
    } catch (...) {
        failure = QStringLiteral("检验时发生未知错误。");
    }
    // The status panels keep what they showed when the rule failed.
    if (notRun)
        *notRun = true;
    busy.off();
    try {
        host.showMessage(failure);
    } catch (...) {
    }
    return false;
}

} // namespace check
