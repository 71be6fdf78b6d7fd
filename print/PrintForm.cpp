#include "print/PrintForm.h"

#include "controls/QueryDataSet.h"
#include "store/Catalogue.h"
#include "store/Paths.h"

namespace print {

std::vector<std::unique_ptr<store::Query>> makePeriodQueries()
{
    std::vector<std::unique_ptr<store::Query>> queries;
    const QString directory = store::paths::resultDir();
    for (const store::catalogue::Period &p : store::catalogue::periods()) {
        auto q = std::make_unique<store::Query>(periodQueryName(p.code));
        q->setDirectory(directory);
        // Each query carries its period's statement from the start, so one
        // left closed by a failed open is later opened on its own row.
        q->setSql(periodStatement(p.code));
        queries.push_back(std::move(q));
    }
    return queries;
}

void openPeriodQuery(store::Query &query, const QString &periodCode)
{
    query.close();
    query.setSql(periodStatement(periodCode));
    query.open();
    query.edit();
}

void openPeriodQueries(const std::vector<store::Query *> &queries)
{
    const auto &periods = store::catalogue::periods();
    for (size_t i = 0; i < queries.size() && i < periods.size(); ++i)
        openPeriodQuery(*queries[i], periods[i].code);
}

report::PreparedReport prepareForm(FormVariant variant, const std::vector<store::Query *> &queries)
{
    const report::Layout layout = declarationForm(variant);
    std::vector<std::unique_ptr<ui::QueryDataSet>> owned;
    std::vector<report::DataSet *> dataSets;
    // The blank form reads no query.
    if (variant == FormVariant::Data) {
        for (store::Query *q : queries) {
            // A query closed by now (its open failed when the window was
            // shown) is opened with its current statement; an open one is
            // read as it stands, in its edit state.
            if (!q->isOpen())
                q->open();
            owned.push_back(std::make_unique<ui::QueryDataSet>(*q));
            dataSets.push_back(owned.back().get());
        }
    }
    return report::prepare(layout, dataSets);
}

} // namespace print
