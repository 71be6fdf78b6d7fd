#pragma once
// The check run without windows (pdeclare-cli): its own query objects on the
// program directory's tables, status texts and messages recorded, findings
// collected instead of previewed and, when asked, written as a PDF report.
#include "check/CheckRun.h"

#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

namespace check {

class HeadlessCheckHost : public CheckHost {
public:
    HeadlessCheckHost();

    store::Query &tempQuery() override { return m_temp; }
    store::Query &rulesQuery() override { return m_rules; }
    store::Query &findingsQuery() override { return m_findings; }
    void setPanelText(int panel, const QString &text) override;
    void processEvents() override {}
    void setBusy(bool) override {}
    void showMessage(const QString &text) override { m_messages << text; }
    void previewFindings(store::Query &findings) override;

    // Where the findings report goes when there are findings; empty: nowhere.
    void setPdfPath(const QString &path) { m_pdfPath = path; }

    const QStringList &messages() const { return m_messages; }
    QString panelText(int panel) const { return panel == 0 ? m_panel0 : panel == 1 ? m_panel1 : QString(); }
    bool hadFindings() const { return m_previewed; }
    // Period label and text of every finding, in the order found.
    const std::vector<std::pair<QString, QString>> &findings() const { return m_list; }

private:
    store::Query m_temp;
    store::Query m_rules;
    store::Query m_findings;
    QString m_panel0, m_panel1, m_pdfPath;
    QStringList m_messages;
    bool m_previewed = false;
    std::vector<std::pair<QString, QString>> m_list;
};

// "label<TAB>text\n" per finding, UTF-8.
QByteArray findingLines(const std::vector<std::pair<QString, QString>> &findings);

} // namespace check
