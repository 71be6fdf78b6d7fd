// Preparing the filled declaration form over the five period queries and
// writing both pages to a PDF file (target: at most 200 ms).
#include "controls/Fonts.h"
#include "print/PrintForm.h"
#include "store/Catalogue.h"
#include "store/Paths.h"
#include "store/Query.h"
#include "tests/support/TestSupport.h"

#include <QApplication>

#include <benchmark/benchmark.h>

namespace {

void fill()
{
    store::Query q(QStringLiteral("AQry_Bench"));
    q.setDirectory(store::paths::resultDir());
    for (const auto &p : store::catalogue::periods()) {
        QStringList sets{QStringLiteral("yydm='0001  某医院内科'")};
        int n = 0;
        for (const auto &ind : store::catalogue::indicators())
            sets << ind.field + QStringLiteral("=") + QString::number(1000 + 37.25 * ++n + p.index);
        q.close();
        q.setSql(QStringLiteral("update result set ") + sets.join(QStringLiteral(", ")) + QStringLiteral(" where nd='")
                 + p.code + QStringLiteral("'"));
        q.execSql();
    }
}

struct Setup {
    testsupport::TempProgramDir dir;
    std::vector<std::unique_ptr<store::Query>> owned;
    std::vector<store::Query *> queries;
    Setup()
    {
        fill();
        owned = print::makePeriodQueries();
        for (auto &q : owned)
            queries.push_back(q.get());
        print::openPeriodQueries(queries);
    }
};

void BM_PrepareDataForm(benchmark::State &state)
{
    Setup s;
    for (auto _ : state) {
        auto prepared = print::prepareForm(print::FormVariant::Data, s.queries);
        benchmark::DoNotOptimize(prepared);
    }
}
BENCHMARK(BM_PrepareDataForm)->Unit(benchmark::kMillisecond);

void BM_PrepareAndWriteDataFormPdf(benchmark::State &state)
{
    Setup s;
    const QString pdf = s.dir.file(QStringLiteral("bench.pdf"));
    for (auto _ : state)
        report::writePdf(print::prepareForm(print::FormVariant::Data, s.queries), pdf);
}
BENCHMARK(BM_PrepareAndWriteDataFormPdf)->Unit(benchmark::kMillisecond);

void BM_PrepareAndWriteBlankFormPdf(benchmark::State &state)
{
    Setup s;
    const QString pdf = s.dir.file(QStringLiteral("bench.pdf"));
    for (auto _ : state)
        report::writePdf(print::prepareForm(print::FormVariant::Blank, s.queries), pdf);
}
BENCHMARK(BM_PrepareAndWriteBlankFormPdf)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ui::installFontSubstitutions();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
