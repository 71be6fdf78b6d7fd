#include "PrintTestSupport.h"

#include "print/PrintForm.h"
#include "store/Paths.h"
#include "store/Query.h"

#include <QFile>

#include <cmath>
#include <stdexcept>

namespace printtest {

void execResult(const QStringList &statements)
{
    store::Query q(QStringLiteral("AQry_Test"));
    q.setDirectory(store::paths::resultDir());
    for (const QString &s : statements) {
        q.close();
        q.setSql(s);
        q.execSql();
    }
}

QByteArray resultBytes()
{
    QFile f(store::paths::resultTable());
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void renderForm(print::FormVariant variant, const QString &pdfPath)
{
    auto owned = print::makePeriodQueries();
    std::vector<store::Query *> queries;
    for (auto &q : owned)
        queries.push_back(q.get());
    print::openPeriodQueries(queries);
    report::writePdf(print::prepareForm(variant, queries), pdfPath);
}

std::vector<testsupport::PdfWord> wordsOnPage(const std::vector<testsupport::PdfWord> &words, int page)
{
    std::vector<testsupport::PdfWord> out;
    for (const auto &w : words)
        if (w.page == page)
            out.push_back(w);
    return out;
}

std::vector<double> expectedRowRules(int page)
{
    std::vector<double> rules{28.8};
    if (page == 0) {
        for (int n = 1; n <= 34; ++n)
            rules.push_back(28.83 + 6.93 * n);
        rules.insert(rules.end(), {270.8, 277.8, 284.4});
    } else {
        for (int n = 1; n <= 22; ++n)
            rules.push_back(35.48 + 7.21 * (n - 1));
    }
    return rules;
}

double expectedLeftBorder(int page) { return page == 0 ? 6.1 : 6.7; }
double expectedRightBorder(int page) { return page == 0 ? 202.6 : 202.4; }

ValueColumn expectedValueColumn(int periodIndex)
{
    static const ValueColumn columns[5] = {
        {79.3, 103.1}, {104.0, 127.8}, {128.6, 152.5}, {153.3, 177.1}, {178.0, 201.8}};
    return columns[periodIndex - 1];
}

Raster::Raster(const QString &pdfPath, int page, int dpi) : m_dpi(dpi)
{
    const QString base = pdfPath + QStringLiteral(".p%1").arg(page);
    const QString p = QString::number(page + 1);
    const auto r = testsupport::run(QStringLiteral("pdftoppm"),
                                    {QStringLiteral("-gray"), QStringLiteral("-r"), QString::number(dpi),
                                     QStringLiteral("-f"), p, QStringLiteral("-l"), p, QStringLiteral("-singlefile"),
                                     pdfPath, base});
    if (r.exitCode == 0)
        m_image.load(base + QStringLiteral(".pgm"));
    m_image = m_image.convertToFormat(QImage::Format_Grayscale8);
}

bool Raster::darkAt(double xMm, double yMm) const
{
    const int x = int(std::lround(xMm * pxPerMm()));
    const int y = int(std::lround(yMm * pxPerMm()));
    if (x < 0 || y < 0 || x >= m_image.width() || y >= m_image.height())
        return false;
    return m_image.constScanLine(y)[x] < 128;
}

double Raster::horizontalRuleNear(double yMm, double x1, double x2, double search) const
{
    const double k = pxPerMm();
    const int xa = int((x1 + 0.8) * k), xb = int((x2 - 0.8) * k);
    const int ya = std::max(0, int((yMm - search) * k)), yb = std::min(m_image.height() - 1, int((yMm + search) * k));
    double sum = 0;
    int n = 0;
    for (int y = ya; y <= yb; ++y) {
        const uchar *line = m_image.constScanLine(y);
        int dark = 0;
        for (int x = xa; x <= xb; ++x)
            dark += line[x] < 128;
        if (xb > xa && dark >= 0.97 * (xb - xa + 1)) {
            sum += y;
            ++n;
        }
    }
    return n ? (sum / n + 0.5) / k : -1;
}

double Raster::verticalRuleNear(double xMm, double y1, double y2, double search) const
{
    const double k = pxPerMm();
    const int ya = int((y1 + 0.8) * k), yb = int((y2 - 0.8) * k);
    const int xa = std::max(0, int((xMm - search) * k)), xb = std::min(m_image.width() - 1, int((xMm + search) * k));
    double sum = 0;
    int n = 0;
    for (int x = xa; x <= xb; ++x) {
        int dark = 0;
        for (int y = ya; y <= yb; ++y)
            dark += m_image.constScanLine(y)[x] < 128;
        if (yb > ya && dark >= 0.97 * (yb - ya + 1)) {
            sum += x;
            ++n;
        }
    }
    return n ? (sum / n + 0.5) / k : -1;
}

} // namespace printtest
