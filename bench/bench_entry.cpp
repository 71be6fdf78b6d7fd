// Data entry: opening the window on the template, saving the five period
// rows, and one exit from an edit against a table of 1,000 rules.
#include "controls/MessageBox.h"
#include "controls/TDBNumberEdit.h"
#include "entry/UnitInData.h"
#include "store/DbfTable.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QLineEdit>

#include <benchmark/benchmark.h>

namespace {

store::FieldDef textField(const char *name, int length)
{
    return store::FieldDef::make(QString::fromLatin1(name), 'C', length);
}

void BM_CreateAndShowEntryWindow(benchmark::State &state)
{
    testsupport::TempProgramDir dir;
    for (auto _ : state) {
        auto *w = new TfrmInData(nullptr);
        w->show();
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(w->findEdit(QStringLiteral("DBNjsjxry5")));
        state.PauseTiming();
        delete w;
        state.ResumeTiming();
    }
}
BENCHMARK(BM_CreateAndShowEntryWindow)->Unit(benchmark::kMillisecond);

void BM_SaveFivePeriodRows(benchmark::State &state)
{
    testsupport::TempProgramDir dir;
    auto *w = new TfrmInData(nullptr);
    w->show();
    w->findChild<QLineEdit *>(QStringLiteral("DBEdt_yydm"))->setText(QStringLiteral("1001  华东中医药大学附属医院（脾胃病科）"));
    double v = 1;
    for (ui::TDBNumberEdit *e : w->numberEdits())
        e->setNumber(v += 1.25);
    for (auto _ : state)
        w->Save();
    delete w;
}
BENCHMARK(BM_SaveFivePeriodRows)->Unit(benchmark::kMillisecond);

void BM_ExitWithThousandRules(benchmark::State &state)
{
    testsupport::TempProgramDir dir;
    std::vector<std::vector<QVariant>> rules;
    for (int i = 0; i < 1000; ++i) {
        // Both shapes, every one naming the edit's field, none broken.
        const QString cond = i % 2 ? QStringLiteral("cws_yy>%1").arg(1000 + i) : QStringLiteral("cws_yy>cws_zk");
        rules.push_back({cond, QStringLiteral("规则%1").arg(i)});
    }
    store::DbfTable::create(dir.file(QStringLiteral("DataMeta/tjjctjk.dbf")),
                            {textField("Cond", 254), textField("Cont", 254)}, rules);
    auto *w = new TfrmInData(nullptr);
    w->show();
    ui::TDBNumberEdit *e = w->findEdit(QStringLiteral("DBNcws_yy3"));
    e->setNumber(10);
    w->findEdit(QStringLiteral("DBNcws_zk3"))->setNumber(20);
    ui::MessageBox::clearShown();
    for (auto _ : state)
        w->NumberEditExit(e);
    if (!ui::MessageBox::shown().empty())
        state.SkipWithError("a rule was reported broken");
    delete w;
}
BENCHMARK(BM_ExitWithThousandRules)->Unit(benchmark::kMicrosecond);

// The rule query alone, for comparison with the exit above.
void BM_RuleQueryAlone(benchmark::State &state)
{
    testsupport::TempProgramDir dir;
    std::vector<std::vector<QVariant>> rules;
    for (int i = 0; i < 1000; ++i)
        rules.push_back({QStringLiteral("cws_yy>%1").arg(1000 + i), QStringLiteral("规则%1").arg(i)});
    store::DbfTable::create(dir.file(QStringLiteral("DataMeta/tjjctjk.dbf")),
                            {textField("Cond", 254), textField("Cont", 254)}, rules);
    store::Query q;
    q.setDirectory(dir.file(QStringLiteral("DataMeta")));
    for (auto _ : state) {
        q.close();
        q.clearSql();
        q.setSql(QStringLiteral("select * from tjjctjk where cond like '%cws_yy%' "));
        q.open();
        int n = 0;
        for (q.first(); !q.eof(); q.next())
            n += int(q.fieldByName(QStringLiteral("cond")).toString().size());
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_RuleQueryAlone)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ui::MessageBox::setTestMode(true);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
