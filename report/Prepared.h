#pragma once
// A prepared report: pages of positioned, resolved items, ready to paint on
// the screen, on a printer or into a PDF with the same geometry; saved to and
// loaded from the engine's own file format.
#include "report/DataSet.h"
#include "report/Format.h"
#include "report/Layout.h"
#include "store/Error.h"

#include <QDate>
#include <QString>

#include <functional>
#include <vector>

class QIODevice;
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

    void save(const QString &path) const; // throws store::Error on failure
    static PreparedReport load(const QString &path);
};

bool operator==(const PreparedPage &a, const PreparedPage &b);
inline bool operator!=(const PreparedPage &a, const PreparedPage &b) { return !(a == b); }
bool operator==(const PreparedReport &a, const PreparedReport &b);
inline bool operator!=(const PreparedReport &a, const PreparedReport &b) { return !(a == b); }

// Lays the layout's bands out over the data sets into pages. [DATE] prints
// today's date (the second form takes the date to print). Throws
// store::Error (NotFound) when a cell names a data set that is not bound or
// a column its data set lacks, or a data band has no data set.
PreparedReport prepare(const Layout &layout, const std::vector<DataSet *> &dataSets);
PreparedReport prepare(const Layout &layout, const std::vector<DataSet *> &dataSets, const QDate &date);

// One painter for every device: the painter's device is mapped so that one
// millimetre is pixelsPerMm device pixels.
// Text set in `family` is drawn with `face` (falling back to `family`
// itself): where a system has the family the forms name (宋体 on Windows),
// the printing face made from it is the one drawn, so that PDFs extract
// exactly. Call before anything is drawn.
void drawFamilyAs(const QString &family, const QString &face);
// Runs prepare once, before the first font of a form is looked up (it may
// make and register the faces drawFamilyAs names).
void prepareFacesWith(std::function<void()> prepare);

void paintPage(QPainter &painter, const PreparedPage &page, double pixelsPerMm);
void writePdf(const PreparedReport &report, const QString &path); // throws store::Error on failure

// A long report's pages handed to the PDF one at a time, so that it is never
// held whole: the next page, or nullptr when there are no more. A page stays
// valid until the next call.
using PageSource = std::function<const PreparedPage *()>;
void writePdf(const QString &title, const PageSource &next, const QString &path); // throws store::Error on failure

// The same into a device the caller opened for writing and finishes (a file
// that gets its name only when whole); name stands for it in messages.
void writePdf(const PreparedReport &report, QIODevice &out, const QString &name);
void writePdf(const QString &title, const PageSource &next, QIODevice &out, const QString &name);

} // namespace report
