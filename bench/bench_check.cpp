// The check run of 1,000 rules over the five period rows in the check window,
// its status bar repainting after every rule (target: at most 150 ms), and
// the findings report of 1,000 findings prepared and written to PDF (target:
// at most 500 ms). The run with 1,000 and 10,000 findings, as pdeclare-cli
// runs it on an empty findings table and in the check window over the deleted
// findings of an earlier run (targets: 150 ms and 1.5 s).
#include "check/FindingsReport.h"
#include "check/HeadlessCheck.h"
#include "check/UnitCheck.h"
#include "controls/Fonts.h"
#include "controls/MessageBox.h"
#include "report/Preview.h"
#include "store/Paths.h"
#include "store/Query.h"
#include "tests/support/TestSupport.h"

#include <QApplication>

#include <benchmark/benchmark.h>

namespace {

void exec(const QString &subdir, const QString &sql)
{
    store::Query q;
    q.setDirectory(store::paths::tableDir(subdir));
    q.setSql(sql);
    q.execSql();
}

// count rules; those below `breaking` hold in all five periods, the rest
// are of the delivered shape and never hold for the figures below.
void setRules(int count, int breaking = 0)
{
    exec(QStringLiteral("DataMeta"), QStringLiteral("delete from tjjctjk"));
    store::Query q;
    q.setDirectory(store::paths::dataMetaDir());
    for (int i = 0; i < count; ++i) {
        q.close();
        q.setSql(QStringLiteral("select * from tjjctjk"));
        q.open();
        q.append();
        q.setFieldValue(QStringLiteral("Cond"), i < breaking ? QStringLiteral("cws_yy>%1").arg(i % 40)
                                                             : QStringLiteral("cws_yy>%1 and cws_zk<0").arg(i % 90));
        q.setFieldValue(QStringLiteral("Cont"), QStringLiteral("床位数请核对 %1").arg(i));
        q.post();
    }
}

// Findings: state.range(0), from rules that hold in all five periods.
void BM_CheckFindingsCli(benchmark::State &state)
{
    testsupport::TempProgramDir dir;
    exec(QStringLiteral("Result"), QStringLiteral("update result set yydm='1001  某医院内科', cws_yy=50, cws_zk=10"));
    const int rules = int(state.range(0) / 5);
    setRules(rules, rules);
    for (auto _ : state) {
        state.PauseTiming();
        exec(QStringLiteral("DataMeta"), QStringLiteral("pack shtable1"));
        state.ResumeTiming();
        check::HeadlessCheckHost host;
        benchmark::DoNotOptimize(check::runCheck(host, CheckMode::Upload));
        if (host.findings().size() != size_t(state.range(0)))
            state.SkipWithError("unexpected number of findings");
    }
}
BENCHMARK(BM_CheckFindingsCli)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// The same in the check window, whose table still holds the findings of an
// earlier run (deleted by this one); the preview is the test seam's.
void BM_CheckFindingsWindow(benchmark::State &state)
{
    testsupport::TempProgramDir dir;
    exec(QStringLiteral("Result"), QStringLiteral("update result set yydm='1001  某医院内科', cws_yy=50, cws_zk=10"));
    const int rules = int(state.range(0) / 5);
    setRules(rules, rules);
    auto *window = new TfrmCheck(nullptr);
    window->show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        state.PauseTiming();
        exec(QStringLiteral("DataMeta"), QStringLiteral("pack shtable1"));
        RunCheck(window, CheckMode::Window);
        report::PreviewWindow::clearShownReports();
        state.ResumeTiming();
        benchmark::DoNotOptimize(RunCheck(window, CheckMode::Window));
    }
    delete window;
}
BENCHMARK(BM_CheckFindingsWindow)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_CheckRun1000RulesWindow(benchmark::State &state)
{
    testsupport::TempProgramDir dir;
    exec(QStringLiteral("Result"), QStringLiteral("update result set yydm='1001  某医院内科', cws_yy=50, cws_zk=10"));
    setRules(1000);
    auto *window = new TfrmCheck(nullptr);
    window->show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        ui::MessageBox::clearShown();
        benchmark::DoNotOptimize(RunCheck(window, CheckMode::Window));
    }
    if (ui::MessageBox::shown().size() != 1 || ui::MessageBox::shown()[0].text != QStringLiteral("数据通过检验！"))
        state.SkipWithError("the check did not pass");
    delete window;
}
BENCHMARK(BM_CheckRun1000RulesWindow)->Unit(benchmark::kMillisecond);

class Findings : public report::DataSet {
public:
    explicit Findings(int count) : m_count(count) {}
    QString name() const override { return QStringLiteral("AQry_Shtable1"); }
    void first() override { m_row = 0; }
    void next() override { ++m_row; }
    bool eof() const override { return m_row >= m_count; }
    QVariant value(const QString &column) const override
    {
        if (column.compare(QLatin1String("name1"), Qt::CaseInsensitive) == 0)
            return QStringLiteral("2003年");
        if (column.compare(QLatin1String("name3"), Qt::CaseInsensitive) == 0)
            return QStringLiteral("设备使用率不能大于100%，请核对“(3)使用率%” %1").arg(m_row);
        return QString();
    }
    bool isNumeric(const QString &) const override { return false; }

private:
    int m_count;
    int m_row = 0;
};

void BM_Prepare1000FindingsAndWritePdf(benchmark::State &state)
{
    testsupport::TempProgramDir dir;
    const report::Layout layout = check::findingsLayout();
    const QString pdf = dir.file(QStringLiteral("findings.pdf"));
    for (auto _ : state) {
        Findings data(1000);
        const report::PreparedReport prepared = report::prepare(layout, {&data});
        report::writePdf(prepared, pdf);
    }
}
BENCHMARK(BM_Prepare1000FindingsAndWritePdf)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ui::installFontSubstitutions();
    ui::MessageBox::setTestMode(true);
    report::PreviewWindow::setTestMode(true);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
