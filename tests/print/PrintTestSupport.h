#pragma once
// Helpers of the print tests: filling the working table, rendering a form to
// PDF the way the print window does, and finding rules on a rasterised page.
#include "print/FormLayout.h"
#include "tests/support/TestSupport.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <vector>

namespace printtest {

// Runs statements against the Result directory of the current program dir.
void execResult(const QStringList &statements);
QByteArray resultBytes();

// Opens the five period queries as the window does and writes the chosen
// form to pdfPath.
void renderForm(print::FormVariant variant, const QString &pdfPath);

// The words of one page of a PDF.
std::vector<testsupport::PdfWord> wordsOnPage(const std::vector<testsupport::PdfWord> &words, int page);

// Expected geometry of the printed table, written down independently of the
// layout code: y of the rule above each body row (index 0) and under each row.
std::vector<double> expectedRowRules(int page); // page 0 or 1
double expectedLeftBorder(int page);
double expectedRightBorder(int page);
struct ValueColumn {
    double left, right;
};
ValueColumn expectedValueColumn(int periodIndex); // 1..5

// A rasterised page, grey, with millimetre look-ups.
class Raster {
public:
    Raster(const QString &pdfPath, int page, int dpi = 200); // page 0-based
    bool valid() const { return !m_image.isNull(); }
    double pxPerMm() const { return m_dpi / 25.4; }
    bool darkAt(double xMm, double yMm) const;
    // Centre (mm) of a horizontal dark band near y spanning x1..x2 (97 % dark
    // along it), or -1 when there is none within `search` mm.
    double horizontalRuleNear(double yMm, double x1, double x2, double search = 1.5) const;
    double verticalRuleNear(double xMm, double y1, double y2, double search = 1.5) const;

private:
    QImage m_image;
    int m_dpi;
};

} // namespace printtest
