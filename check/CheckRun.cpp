#include "check/CheckRun.h"

#include "store/Catalogue.h"
#include "store/DbfTable.h"
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

// Gathers findings (name1 the period, name2 empty, name3 the rule's text)
// and writes them over the old ones in one change of the findings table held
// open for writing: a kill or a failure midway leaves the findings of the
// last run, never an empty list.
class FindingsWriter {
public:
    explicit FindingsWriter(const QString &path)
        : m_table(store::sql::loadTable(path, QStringLiteral("shtable1"), store::DbfTable::Access::Write))
    {
        m_name1 = column("name1");
        m_name2 = column("name2");
        m_name3 = column("name3");
    }
    void add(const QString &period, const QString &text)
    {
        std::vector<QVariant> row(m_table.fields().size());
        set(row, m_name1, period);
        set(row, m_name2, QString());
        set(row, m_name3, text);
        m_rows.push_back(std::move(row));
    }
    void commit()
    {
        m_table.replaceRecords(m_rows);
        m_rows.clear();
    }

private:
    int column(const char *name) const
    {
        const int f = m_table.fieldIndex(QLatin1String(name));
        if (f < 0)
            throw store::Error(QStringLiteral("表 shtable1 中没有列 %1").arg(QLatin1String(name)));
        return f;
    }
    void set(std::vector<QVariant> &row, int f, const QString &value) const
    {
        row[size_t(f)] = store::sql::storableValue(QStringLiteral("shtable1"), m_table.fields()[size_t(f)], value);
    }

    store::DbfTable m_table;
    int m_name1 = -1, m_name2 = -1, m_name3 = -1;
    std::vector<std::vector<QVariant>> m_rows;
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
    // of mixing its findings with these. The table stays open for writing
    // through the whole run, so each finding costs one appended record, not
    // a fresh read of every finding (and every deleted one) before it.
    const QString findingsPath = store::sql::tableFile(findings.directory(), QStringLiteral("shtable1"));
    std::optional<store::fileio::File> hold;
    hold.emplace(store::fileio::File::open(findingsPath, false, store::fileio::Lock::Exclusive));
    std::optional<FindingsWriter> writer;
    writer.emplace(findingsPath);

    store::Query &rules = host.rulesQuery();
    reopen(rules, QString::fromUtf8(sql::kSelectRules));
    rules.open();
    rules.first();

    store::Query &temp = host.tempQuery();
    int position = 0;
    try {
        while (!rules.eof()) {
            ++position;
            const QString cond = textOf(rules, QStringLiteral("Cond")).trimmed();
            const QString cont = textOf(rules, QStringLiteral("Cont")).trimmed();

            reopen(temp, QString::fromUtf8(sql::kSelectRowsWhere) + cond);
            temp.open();
            for (temp.first(); !temp.eof(); temp.next())
                writer->add(store::catalogue::periodLabelFromCode(textOf(temp, QStringLiteral("nd")).trimmed()), cont);

            host.setPanelText(1, progressText(position * 1.7));
            host.processEvents();
            rules.next();
        }
    } catch (...) {
        // A rule that fails stops the run; the findings of the rules before
        // it are kept, as the user may look at them. When they cannot be
        // written either, the user is told that too, beside the fault that
        // stopped the run, whatever its type: findings are never dropped
        // without a word.
        const store::Error first = store::currentError(QStringLiteral("检验时发生未知错误。"));
        try {
            writer->commit();
        } catch (...) {
            const store::Error flush = store::currentError();
            throw store::Error(first, first.message() + QStringLiteral("\n此外，已得出的审核结果也未能保存：") + flush.message());
        }
        throw;
    }

    host.setPanelText(0, statusFinished());
    host.setPanelText(1, progressText(100));
    host.processEvents();

    writer->commit();
    reopen(findings, QString::fromUtf8(sql::kSelectFindings));
    findings.open();
    writer.reset();
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
    } catch (...) {
        failure = store::errorText(QStringLiteral("检验时发生未知错误。"));
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
