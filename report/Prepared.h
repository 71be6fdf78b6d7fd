#pragma once
// A prepared report: pages of positioned, resolved items, ready to paint on
// the screen, on a printer or into a PDF with the same geometry; saved to and
// loaded from the engine's own file format.
#include "report/DataSet.h"
#include "report/Layout.h"

#include <QString>

#include <vector>

class QPainter;
class QWidget;

namespace report {

struct PreparedText {
    TextCell cell;  // rect in mm from the sheet's top-left corner; text resolved
};
struct PreparedLine {
    Line line;      // mm from the sheet's top-left corner
};
struct PreparedPage {
    double widthMm = 210.0;
    double heightMm = 297.0;
    std::vector<PreparedText> texts;
    std::vector<PreparedLine> lines;
};

struct PreparedReport {
    QString title;
    std::vector<PreparedPage> pages;

    void save(const QString &path) const; // throws std::runtime_error on failure
    static PreparedReport load(const QString &path);
};

// Lays the layout's bands out over the data sets into pages.
PreparedReport prepare(const Layout &layout, const std::vector<DataSet *> &dataSets);

// One painter for every device: the painter's device is mapped so that one
// millimetre is pixelsPerMm device pixels.
void paintPage(QPainter &painter, const PreparedPage &page, double pixelsPerMm);
void writePdf(const PreparedReport &report, const QString &path); // throws on failure

} // namespace report
