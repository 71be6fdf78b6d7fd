#include "controls/QueryDataSet.h"

namespace ui {

void QueryDataSet::first()
{
    // A query that is closed when a report is prepared is opened at that
    // moment with its current statement.
    if (!m_query.isOpen())
        m_query.open();
    m_query.first();
}

} // namespace ui
