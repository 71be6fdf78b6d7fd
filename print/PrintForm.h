#pragma once
// What the print window and pdeclare-cli share: the five period queries on the
// working table and the preparation of the chosen form over them.
#include "print/FormLayout.h"
#include "report/Prepared.h"
#include "store/Query.h"

#include <memory>
#include <vector>

namespace print {

// The five query objects, in period order, named "AQry_" + period code, each
// given the connection string of the Result directory and its period's
// statement; none is opened.
std::vector<std::unique_ptr<store::Query>> makePeriodQueries();

// Opens one period query: close, the period's statement, open, edit state.
// The edit is never posted: the row (or, for a period without a row, the
// blank record edit state starts) is only read.
void openPeriodQuery(store::Query &query, const QString &periodCode);

// Opens the queries in period order; the first failure raises store::Error
// and leaves the queries after it closed.
void openPeriodQueries(const std::vector<store::Query *> &queries);

// Lays out the chosen form over the queries' current rows. A closed query is
// opened with its current statement when it is read.
report::PreparedReport prepareForm(FormVariant variant, const std::vector<store::Query *> &queries);

} // namespace print
