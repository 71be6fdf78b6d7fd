#pragma once
// How a text cell's text is broken into lines and placed inside the cell.
// The painter and the preview's find highlight both use it, so what is
// searched is where it is drawn.
//
// Every line is one em high (the font's size) with its baseline 0.88 em
// below the line's top: the em box of the ideographic fonts the layouts are
// drawn for, so that a 10 pt line fits a 4.4 mm cell as on the designer's
// sheet. Lines are separated by the cell's extra line spacing. The block of
// lines sits in the cell's inset rectangle by the cell's alignment. A text
// that needs more height than its cell keeps as many whole lines as the cell
// holds (at least the first) and the painter clips whatever still spills
// over to the cell.
#include "report/Layout.h"

#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QRawFont>
#include <QRectF>
#include <QString>

#include <vector>

namespace report {

// The painter's own unit: 1/7200 inch, a hundredth of a point, so that every
// font size in tenths of a point is a whole pixel size and text metrics do not
// depend on the device a page is drawn on.
constexpr double kUnitsPerMm = 7200.0 / 25.4;
constexpr double kBaselineEm = 0.88;

// A font at one size and weight, with the glyph and advance of every
// character it has met. Text is measured and drawn glyph by glyph from this
// table (no OpenType shaping, no kerning), so what is measured is what is
// drawn, on every device.
struct FontStyle {
    QFont font;                 // pixel size in painter units
    QFontMetricsF metrics;
    QRawFont raw;
    double emMm = 0;            // the font's size in millimetres

    struct Glyph {
        quint32 index = 0;      // 0: the face lacks it; drawn through a fallback font
        double advance = 0;     // painter units
    };
    const Glyph &glyph(char32_t c) const;
    double advanceMm(const QString &text) const;

    mutable QHash<char32_t, Glyph> m_glyphs; // filled by glyph()
};
// Fonts are made once per family, size and weight and kept.
const FontStyle &fontStyle(const QString &family, double pointSize, bool bold);

struct LaidLine {
    QString text;     // without trailing blanks
    double xMm = 0;   // left end of the text from the sheet's left edge
    double topMm = 0; // top of the line's em box
    double widthMm = 0;
    double emMm = 0;  // height of the line
    double baselineMm() const { return topMm + kBaselineEm * emMm; }
    QRectF boxMm() const { return QRectF(xMm, topMm, widthMm, emMm); }
};

struct LaidText {
    std::vector<LaidLine> lines;
    bool needsClip = false; // something reaches outside the cell
};

// Places the cell's text, whose rect is in millimetres.
LaidText layoutText(const TextCell &cell);

// Breaks one paragraph (no "\n") into lines no wider than widthMm; a word
// longer than a line is broken between characters.
std::vector<QString> wrapParagraph(const QString &paragraph, const FontStyle &style, double widthMm);

} // namespace report
