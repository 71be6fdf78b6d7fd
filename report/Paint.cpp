// Text placement and the one painter of prepared pages (screen, printer,
// PDF). The painter works in 1/7200 inch units scaled to the device, so a
// page has the same geometry on every device and text metrics are taken at a
// size where hinting and rounding do not move anything.
#include "report/Prepared.h"
#include "report/TextLayout.h"

#include "store/FileIo.h"

#include <QGlyphRun>
#include <QHash>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextBoundaryFinder>

#include <cmath>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <stdexcept>

namespace report {

namespace {
QHash<QString, QString> &drawnFamilies()
{
    static QHash<QString, QString> faces;
    return faces;
}
} // namespace

void drawFamilyAs(const QString &family, const QString &face) { drawnFamilies().insert(family, face); }

namespace {
std::mutex preparerMutex;
std::function<void()> &facePreparer()
{
    static std::function<void()> prepare;
    return prepare;
}
} // namespace

void prepareFacesWith(std::function<void()> prepare)
{
    const std::lock_guard<std::mutex> hold(preparerMutex);
    facePreparer() = std::move(prepare);
}

const FontStyle &fontStyle(const QString &family, double pointSize, bool bold)
{
    // Kept for the life of the program (never destroyed: fonts must not
    // outlive the application object's font database at exit).
    static auto *cache = new QHash<QString, FontStyle *>();
    const int pixels = std::max(1, int(std::lround(pointSize * 100.0)));
    const QString key = family + QLatin1Char('\x1f') + QString::number(pixels) + (bold ? QLatin1Char('b') : QLatin1Char('r'));
    if (FontStyle *s = cache->value(key))
        return *s;
    // The faces the forms are drawn with are made when the first form is
    // laid out, not at every start of the program.
    std::function<void()> prepare;
    {
        const std::lock_guard<std::mutex> hold(preparerMutex);
        prepare = std::exchange(facePreparer(), nullptr);
    }
    if (prepare)
        prepare();
    QFont font(family);
    const auto drawn = drawnFamilies().constFind(family);
    if (drawn != drawnFamilies().constEnd())
        font.setFamilies({*drawn, family});
    font.setPixelSize(pixels);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    // No OpenType substitutions: the CJK faces swap digits after Latin
    // letters for proportional variants that have no Unicode mapping, and a
    // PDF drawn with them loses those digits to search and copy.
    font.setStyleStrategy(QFont::StyleStrategy(QFont::PreferOutline | QFont::PreferNoShaping));
    font.setKerning(false);
    auto *style = new FontStyle{font, QFontMetricsF(font), QRawFont::fromFont(font), pixels / kUnitsPerMm, {}};
    cache->insert(key, style);
    return *style;
}

const FontStyle::Glyph &FontStyle::glyph(char32_t c) const
{
    auto it = m_glyphs.constFind(c);
    if (it != m_glyphs.constEnd())
        return *it;
    const QString s = QString::fromUcs4(&c, 1);
    Glyph g;
    g.advance = metrics.horizontalAdvance(s);
    if (raw.isValid() && raw.supportsCharacter(c)) {
        const QList<quint32> indexes = raw.glyphIndexesForString(s);
        if (indexes.size() == 1)
            g.index = indexes.front();
    }
    return *m_glyphs.insert(c, g);
}

double FontStyle::advanceMm(const QString &text) const
{
    double units = 0;
    for (char32_t c : text.toUcs4())
        units += glyph(c).advance;
    return units / kUnitsPerMm;
}

namespace {

double advanceMm(const FontStyle &style, const QString &text) { return style.advanceMm(text); }

QString trimRight(const QString &s)
{
    qsizetype n = s.size();
    while (n > 0 && s.at(n - 1).isSpace())
        --n;
    return s.left(n);
}

// Breaks a run with no break opportunity between characters (keeping
// surrogate pairs together).
void breakAnywhere(const QString &word, const FontStyle &style, double widthMm, std::vector<QString> &lines,
                   QString &current)
{
    QTextBoundaryFinder chars(QTextBoundaryFinder::Grapheme, word);
    qsizetype start = 0;
    for (qsizetype next = chars.toNextBoundary(); next != -1; next = chars.toNextBoundary()) {
        const QString ch = word.mid(start, next - start);
        if (!current.isEmpty() && advanceMm(style, trimRight(current + ch)) > widthMm) {
            if (!trimRight(current).isEmpty())
                lines.push_back(trimRight(current));
            current.clear();
        }
        current += ch;
        start = next;
    }
}

} // namespace

std::vector<QString> wrapParagraph(const QString &paragraph, const FontStyle &style, double widthMm)
{
    std::vector<QString> lines;
    if (advanceMm(style, trimRight(paragraph)) <= widthMm) {
        lines.push_back(trimRight(paragraph));
        return lines;
    }
    // Greedy: take pieces between line-break opportunities while they fit.
    QString current;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Line, paragraph);
    qsizetype start = 0;
    for (qsizetype next = finder.toNextBoundary(); next != -1; next = finder.toNextBoundary()) {
        const QString piece = paragraph.mid(start, next - start);
        start = next;
        if (advanceMm(style, trimRight(current + piece)) <= widthMm) {
            current += piece;
            continue;
        }
        // The line so far is full; blanks that open the paragraph stay with
        // its first word.
        if (!trimRight(current).isEmpty()) {
            lines.push_back(trimRight(current));
            current.clear();
        }
        if (advanceMm(style, trimRight(current + piece)) <= widthMm)
            current += piece;
        else
            breakAnywhere(piece, style, widthMm, lines, current);
    }
    if (!trimRight(current).isEmpty() || lines.empty())
        lines.push_back(trimRight(current));
    return lines;
}

LaidText layoutText(const TextCell &cell)
{
    LaidText out;
    if (cell.text.isEmpty())
        return out;
    const FontStyle &style = fontStyle(cell.fontFamily, cell.fontPt, cell.bold);
    const QRectF inner = cell.rect.adjusted(cell.insetX, cell.insetY, -cell.insetX, -cell.insetY);
    const double innerWidth = std::max(0.0, inner.width());

    std::vector<QString> texts;
    QString normalised = cell.text;
    normalised.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    for (const QString &para : normalised.split(QLatin1Char('\n'))) {
        if (cell.wordWrap) {
            for (QString &l : wrapParagraph(para, style, innerWidth))
                texts.push_back(std::move(l));
        } else {
            texts.push_back(trimRight(para));
        }
    }
    // Empty trailing lines take no room.
    while (!texts.empty() && texts.back().isEmpty())
        texts.pop_back();
    if (texts.empty())
        return out;

    const double em = style.emMm;
    auto blockHeight = [&](size_t n) { return n * em + (n > 0 ? (n - 1) * cell.lineSpacing : 0.0); };
    // Keep the lines the cell can hold, at least the first.
    size_t n = texts.size();
    while (n > 1 && blockHeight(n) > cell.rect.height() + 1e-9)
        --n;
    texts.resize(n);
    const double block = blockHeight(n);

    double top = inner.top();
    if (block > inner.height()) {
        // Taller than the inset room but not than the cell: centre on the
        // cell for middle, or hold to the cell's edge.
        if (cell.vAlign == VAlign::Middle)
            top = cell.rect.center().y() - block / 2;
        else if (cell.vAlign == VAlign::Bottom)
            top = std::max(cell.rect.top(), cell.rect.bottom() - block);
        else
            top = std::max(cell.rect.top(), std::min(inner.top(), cell.rect.bottom() - block));
    } else if (cell.vAlign == VAlign::Middle) {
        top = inner.top() + (inner.height() - block) / 2;
    } else if (cell.vAlign == VAlign::Bottom) {
        top = inner.bottom() - block;
    }

    for (const QString &t : texts) {
        LaidLine line;
        line.text = t;
        line.emMm = em;
        line.topMm = top;
        line.widthMm = advanceMm(style, t);
        switch (cell.hAlign) {
        case HAlign::Left:
            line.xMm = inner.left();
            break;
        case HAlign::Right:
            line.xMm = inner.right() - line.widthMm;
            break;
        case HAlign::Center:
            line.xMm = inner.left() + (innerWidth - line.widthMm) / 2;
            break;
        }
        if (line.xMm < cell.rect.left() - 1e-9 || line.xMm + line.widthMm > cell.rect.right() + 1e-9 ||
            line.topMm < cell.rect.top() - 1e-9 || line.topMm + em > cell.rect.bottom() + 1e-9)
            out.needsClip = true;
        if (!t.isEmpty())
            out.lines.push_back(line);
        top += em + cell.lineSpacing;
    }
    return out;
}

namespace {

// Draws one line from the font's glyph table; a line with a character the
// face lacks goes through the font's own fallback instead.
void drawLine(QPainter &painter, const FontStyle &style, const QPointF &baseline, const QString &text)
{
    const QList<uint> chars = text.toUcs4();
    QList<quint32> indexes;
    QList<QPointF> positions;
    indexes.reserve(chars.size());
    positions.reserve(chars.size());
    double x = 0;
    for (char32_t c : chars) {
        const FontStyle::Glyph &g = style.glyph(c);
        if (g.index == 0) {
            painter.drawText(baseline, text);
            return;
        }
        indexes.push_back(g.index);
        positions.push_back(QPointF(x, 0));
        x += g.advance;
    }
    QGlyphRun run;
    run.setRawFont(style.raw);
    run.setGlyphIndexes(indexes);
    run.setPositions(positions);
    painter.drawGlyphRun(baseline, run);
}

} // namespace

void paintPage(QPainter &painter, const PreparedPage &page, double pixelsPerMm)
{
    painter.save();
    const double k = kUnitsPerMm;
    painter.scale(pixelsPerMm / k, pixelsPerMm / k);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setBrush(Qt::NoBrush);

    for (const PreparedLine &pl : page.lines) {
        const Line &l = pl.line;
        QPen pen(Qt::black);
        if (l.widthMm > 0) {
            pen.setWidthF(l.widthMm * k);
        } else {
            pen.setWidth(0);
            pen.setCosmetic(true);
        }
        // Square ends close the corners where a rule meets another.
        pen.setCapStyle(Qt::SquareCap);
        painter.setPen(pen);
        painter.drawLine(QPointF(l.x1 * k, l.y1 * k), QPointF(l.x2 * k, l.y2 * k));
    }

    painter.setPen(Qt::black);
    const QFont *currentFont = nullptr;
    for (const PreparedText &pt : page.texts) {
        const LaidText laid = layoutText(pt.cell);
        if (laid.lines.empty())
            continue;
        const FontStyle &style = fontStyle(pt.cell.fontFamily, pt.cell.fontPt, pt.cell.bold);
        if (currentFont != &style.font) {
            painter.setFont(style.font);
            currentFont = &style.font;
        }
        const QRectF cellRect(pt.cell.rect.x() * k, pt.cell.rect.y() * k, pt.cell.rect.width() * k,
                              pt.cell.rect.height() * k);
        if (laid.needsClip) {
            painter.save();
            painter.setClipRect(cellRect, Qt::IntersectClip);
        }
        for (const LaidLine &line : laid.lines)
            drawLine(painter, style, QPointF(line.xMm * k, line.baselineMm() * k), line.text);
        if (laid.needsClip) {
            painter.restore();
            currentFont = nullptr;
        }
    }
    painter.restore();
}

void writePdf(const PreparedReport &report, const QString &path)
{
    std::size_t i = 0;
    writePdf(report.title, [&]() { return i < report.pages.size() ? &report.pages[i++] : nullptr; }, path);
}

void writePdf(const QString &title, const PageSource &next, const QString &path)
{
    // Through the program's file layer: a file is written beside the target
    // and moved over it at the end, so a failure never leaves half a file
    // under the chosen name; a pipe or device is written into, never
    // replaced; a link keeps leading to the saved file.
    // A failure raises store::Error with its kind and the reason in Chinese.
    store::fileio::NewFileDevice file(path);
    writePdf(title, next, file, path);
    file.commit();
}

void writePdf(const PreparedReport &report, QIODevice &out, const QString &name)
{
    std::size_t i = 0;
    writePdf(report.title, [&]() { return i < report.pages.size() ? &report.pages[i++] : nullptr; }, out, name);
}

void writePdf(const QString &title, const PageSource &next, QIODevice &out, const QString &name)
{
    const PreparedPage *page = next();
    if (!page)
        throw store::Error(QStringLiteral("报表没有可输出的页面。"));
    QPdfWriter writer(&out);
    constexpr int dpi = 1200;
    writer.setResolution(dpi);
    writer.setTitle(title);
    writer.setCreator(QStringLiteral("PDeclare"));
    auto pageSize = [](const PreparedPage &p) {
        return QPageSize(QSizeF(p.widthMm, p.heightMm), QPageSize::Millimeter, QString(), QPageSize::ExactMatch);
    };
    writer.setPageSize(pageSize(*page));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    QPainter painter;
    if (!painter.begin(&writer))
        throw store::Error(store::ErrorKind::Io, QStringLiteral("无法生成 PDF 文件“%1”。").arg(name));
    const double pixelsPerMm = dpi / 25.4;
    paintPage(painter, *page, pixelsPerMm);
    while ((page = next())) {
        writer.setPageSize(pageSize(*page));
        writer.newPage();
        paintPage(painter, *page, pixelsPerMm);
    }
    painter.end();
}

} // namespace report
