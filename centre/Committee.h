#pragma once
// The committee's PDF and the preview of one declaration, through the
// existing report engine and the printed form's own layout: one page of
// summary, then per project (list order, projects that sent something) the
// filled two-page declaration form, with the project's findings and
// implausible figures below the table of its second page (continued on
// further pages when they do not fit).
#include "centre/Status.h"
#include "report/Prepared.h"

#include <QString>

#include <vector>

namespace centre {

// The filled two-page form of one declaration, exactly as the hospital's
// print prints it (for the window's preview).
report::PreparedReport prepareDeclarationForm(const Declaration &declaration);
// The same with the implausible figures among flags marked with a star.
report::PreparedReport prepareDeclarationForm(const Declaration &declaration,
                                              const std::vector<const ImplausibleFlag *> &flags);

// The whole committee report, a page at a time: summary page (with a
// contents list), then the forms, implausible figures marked with a star;
// every page numbered "第 N 页 共 M 页", every form page headed with the
// project's code and name. The arguments must outlive the source.
report::PageSource committeePages(const std::vector<Declaration> &declarations, const StatusReport &status,
                                  const Reference &reference);

// Prepares and writes the PDF (temporary file, then rename). Needs a
// QGuiApplication. Raises centre::Error.
void writeCommitteePdf(Database &db, const Reference &reference, const QString &path,
                       const ImplausibleOptions &options = {});

} // namespace centre
