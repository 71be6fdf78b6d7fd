#pragma once
// The findings report: one A4 list of the rows of AQry_Shtable1, a title and
// a rule at the top of every page, a footer with the date and the page
// number, "数据审核结束！" after the last finding. One layout, built here,
// serves the check window, the backup window and pdeclare-cli.
#include "report/Layout.h"
#include "report/Prepared.h"

#include <QObject>
#include <QString>

class QWidget;

namespace store {
class Query;
}

namespace check {

// The data set the layout reads: the findings query of the window.
inline const char *const kFindingsDataSet = "AQry_Shtable1";

// Thickness of the two horizontal rules: 3 report units of 1/91.6256 inch.
double findingsRuleWidthMm();

report::Layout findingsLayout();

// Prepares the layout over the rows of the findings query (opened on its
// current statement when closed).
report::PreparedReport prepareFindings(store::Query &findings);

// The report component of a window ("ReportMX"): holds the layout and shows
// it, prepared afresh each time, in the modal preview.
class FindingsReport : public QObject {
    Q_OBJECT
public:
    explicit FindingsReport(QObject *owner);
    const report::Layout &layout() const { return m_layout; }
    void preview(QWidget *owner, store::Query &findings) const;

private:
    report::Layout m_layout;
};

} // namespace check
