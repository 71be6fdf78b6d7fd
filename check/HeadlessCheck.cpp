#include "check/HeadlessCheck.h"

#include "check/FindingsReport.h"
#include "store/FileIo.h"
#include "store/Paths.h"

namespace check {

HeadlessCheckHost::HeadlessCheckHost()
    : m_temp(QStringLiteral("declaration")), m_rules(QStringLiteral("rules")),
      m_findings(QString::fromLatin1(kFindingsDataSet))
{
    m_temp.setDirectory(store::paths::resultDir());
    m_rules.setDirectory(store::paths::dataMetaDir());
    m_findings.setDirectory(store::paths::dataMetaDir());
}

void HeadlessCheckHost::setPanelText(int panel, const QString &text)
{
    (panel == 0 ? m_panel0 : m_panel1) = text;
}

void HeadlessCheckHost::previewFindings(store::Query &findings)
{
    m_previewed = true;
    m_list.clear();
    for (findings.first(); !findings.eof(); findings.next())
        m_list.emplace_back(textOf(findings, QStringLiteral("name1")).trimmed(),
                            textOf(findings, QStringLiteral("name3")).trimmed());
    if (!m_pdfPath.isEmpty()) {
        store::fileio::NewFileDevice pdf(m_pdfPath);
        report::writePdf(prepareFindings(findings), pdf, m_pdfPath);
        pdf.commit();
    }
}

QByteArray findingLines(const std::vector<std::pair<QString, QString>> &findings)
{
    QByteArray out;
    for (const auto &finding : findings)
        out += finding.first.toUtf8() + '\t' + finding.second.toUtf8() + '\n';
    return out;
}

} // namespace check
