// The window side of the findings report: its modal preview. Kept apart from
// FindingsReport.cpp so that the layout and its preparation stay free of
// widgets.
#include "check/FindingsReport.h"

#include "controls/QueryDataSet.h"
#include "report/Preview.h"

namespace check {

void FindingsReport::preview(QWidget *owner, store::Query &findings) const
{
    ui::QueryDataSet dataSet(findings);
    const report::PreparedReport prepared = report::prepare(m_layout, {&dataSet});
    report::PreviewWindow::showModal(owner, prepared);
}

} // namespace check
