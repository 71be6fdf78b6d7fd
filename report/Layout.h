#pragma once
// The report layout model, in millimetres. A layout is data: pages of bands,
// bands of text cells and lines. Layouts are built in code (print/, check/)
// and handed to prepare(), which binds them to data sets.
//
// Text cells hold fixed text or expressions in square brackets:
//   [Query."column"]  the column's current value in the named data set
//   [DATE]            the date of preparation, system short date format
//   [PAGE#]           the page number, counted from 1
#include <QRectF>
#include <QString>

#include <vector>

namespace report {

enum class HAlign { Left, Center, Right };
enum class VAlign { Top, Middle, Bottom };

struct TextCell {
    QString name;             // object name, e.g. "Memo1"
    QRectF rect;              // mm; x from the page's left edge, y from the band's top
    QString text;             // fixed text (may hold "\n") or expressions
    QString fontFamily = QStringLiteral("宋体");
    double fontPt = 10.0;
    bool bold = false;
    HAlign hAlign = HAlign::Left;
    VAlign vAlign = VAlign::Middle;
    bool wordWrap = true;
    // Insets and line spacing of every text box (mm).
    double insetX = 0.55;
    double insetY = 0.28;
    double lineSpacing = 0.55;
};

struct Line {
    QString name;
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0; // mm, y from the band's top
    double widthMm = 0.55;
};

enum class BandKind {
    PageHeader,    // top of every page
    MasterData,    // once per row of its data set
    PageFooter,    // bottom of every page
    ReportSummary, // once, after the last row
    Body,          // one-record band: laid out exactly once (fixed pages)
};

bool operator==(const TextCell &a, const TextCell &b);
inline bool operator!=(const TextCell &a, const TextCell &b) { return !(a == b); }
bool operator==(const Line &a, const Line &b);
inline bool operator!=(const Line &a, const Line &b) { return !(a == b); }

struct Band {
    QString name;
    BandKind kind = BandKind::Body;
    double heightMm = 0;   // fixed: a band never stretches
    QString dataSet;       // MasterData: name of the data set it walks
    std::vector<TextCell> cells;
    std::vector<Line> lines;
};

// One page of a layout. A report with MasterData bands flows over as many
// sheets as its rows need; a page made of a Body band is one sheet.
struct PageLayout {
    double widthMm = 210.0;
    double heightMm = 297.0;
    double topMarginMm = 0.0; // where the first band starts on the sheet
    std::vector<Band> bands;
};

struct Layout {
    QString name;
    std::vector<PageLayout> pages;
};

} // namespace report
