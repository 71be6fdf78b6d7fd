// Preparation: binds a layout's expressions to the data sets and lays its
// bands out into sheets.
//
// A page layout with data bands flows: the page header(s) at the top of
// every sheet (from topMarginMm down), the page footer(s) at the bottom of
// every sheet, each data band once per row of its data set and the other
// bands (summary, body) once, all in the order the layout lists them; a new
// sheet starts when the next band would reach into the footer. A page layout
// without data bands is one sheet whatever its bands hold. Bands keep their
// height: text that does not fit is cut by the painter, never stretched.
//
// Expressions are found once per layout cell before any sheet is made, so a
// layout naming a data set that is not bound fails before anything is laid
// out. Text in square brackets that is not an expression is printed as it is.
#include "report/Prepared.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>
#include <stdexcept>

namespace report {

namespace {

struct Segment {
    enum Kind { Literal, Value, Date, Page } kind = Literal;
    QString text;            // Literal: the text; Value: the column
    DataSet *dataSet = nullptr;
};

struct CompiledCell {
    const TextCell *cell = nullptr;
    std::vector<Segment> segments;
    bool constant = true; // no expression: the text is the cell's own
};

struct CompiledBand {
    const Band *band = nullptr;
    DataSet *dataSet = nullptr; // data bands
    std::vector<CompiledCell> cells;
};

DataSet *findDataSet(const std::vector<DataSet *> &dataSets, const QString &name)
{
    for (DataSet *ds : dataSets)
        if (ds && ds->name().compare(name, Qt::CaseInsensitive) == 0)
            return ds;
    return nullptr;
}

QString where(const Layout &layout, const Band &band, const TextCell *cell)
{
    QString w = QStringLiteral("报表“%1”的“%2”").arg(layout.name, band.name);
    if (cell)
        w += QStringLiteral("中的“%1”").arg(cell->name);
    return w;
}

// A layout that names a data set or field the data does not have.
[[noreturn]] void fail(const QString &message) { throw store::Error(store::ErrorKind::NotFound, message); }

CompiledCell compileCell(const Layout &layout, const Band &band, const TextCell &cell,
                         const std::vector<DataSet *> &dataSets)
{
    // [Query."column"], [DATE], [PAGE#]; blanks around the parts are allowed.
    static const QRegularExpression expr(
        QStringLiteral(R"re(\[\s*(?:(DATE)|(PAGE#)|([A-Za-z_][A-Za-z0-9_]*)\s*\.\s*"([^"\]]*)")\s*\])re"),
        QRegularExpression::CaseInsensitiveOption);
    CompiledCell out;
    out.cell = &cell;
    qsizetype pos = 0;
    auto it = expr.globalMatch(cell.text);
    while (it.hasNext()) {
        const auto m = it.next();
        if (m.capturedStart() > pos)
            out.segments.push_back({Segment::Literal, cell.text.mid(pos, m.capturedStart() - pos), nullptr});
        Segment s;
        if (m.capturedLength(1) > 0) {
            s.kind = Segment::Date;
        } else if (m.capturedLength(2) > 0) {
            s.kind = Segment::Page;
        } else {
            s.kind = Segment::Value;
            s.dataSet = findDataSet(dataSets, m.captured(3));
            s.text = m.captured(4);
            if (!s.dataSet)
                fail(QStringLiteral("%1引用的数据集“%2”不存在，请检查报表的数据连接。")
                         .arg(where(layout, band, &cell), m.captured(3)));
            if (s.text.trimmed().isEmpty())
                fail(QStringLiteral("%1引用数据集“%2”时没有写字段名。").arg(where(layout, band, &cell), m.captured(3)));
        }
        out.constant = false;
        out.segments.push_back(s);
        pos = m.capturedEnd();
    }
    if (pos < cell.text.size())
        out.segments.push_back({Segment::Literal, cell.text.mid(pos), nullptr});
    return out;
}

QString resolve(const Layout &layout, const CompiledBand &band, const CompiledCell &cc, const QString &date, int page)
{
    if (cc.constant)
        return cc.cell->text;
    QString text;
    for (const Segment &s : cc.segments) {
        switch (s.kind) {
        case Segment::Literal:
            text += s.text;
            break;
        case Segment::Date:
            text += date;
            break;
        case Segment::Page:
            text += QString::number(page);
            break;
        case Segment::Value:
            // A data set past its last row (or without rows) reads as a row
            // of nulls.
            if (s.dataSet->eof()) {
                text += formatValue(QVariant(), s.dataSet->isNumeric(s.text));
            } else {
                if (!s.dataSet->hasColumn(s.text))
                    fail(QStringLiteral("%1引用的字段“%2”在%3中不存在。")
                             .arg(where(layout, *band.band, cc.cell), s.text, s.dataSet->description()));
                text += formatValue(s.dataSet->value(s.text), s.dataSet->isNumeric(s.text));
            }
            break;
        }
    }
    return text;
}

class Builder {
public:
    Builder(const Layout &layout, PreparedReport &out, const QString &date)
        : m_layout(layout), m_out(out), m_date(date)
    {
    }

    void layPage(const PageLayout &page, const std::vector<CompiledBand> &bands)
    {
        m_page = &page;
        m_headers.clear();
        m_footers.clear();
        std::vector<const CompiledBand *> content;
        bool flows = false;
        for (const CompiledBand &b : bands) {
            switch (b.band->kind) {
            case BandKind::PageHeader:
                m_headers.push_back(&b);
                break;
            case BandKind::PageFooter:
                m_footers.push_back(&b);
                break;
            case BandKind::MasterData:
                flows = true;
                content.push_back(&b);
                break;
            default:
                content.push_back(&b);
                break;
            }
        }
        double footerHeight = 0;
        for (const CompiledBand *f : m_footers)
            footerHeight += f->band->heightMm;
        m_footerTop = page.heightMm - footerHeight;

        startSheet();
        for (const CompiledBand *b : content) {
            if (b->band->kind == BandKind::MasterData) {
                DataSet *ds = b->dataSet;
                for (ds->first(); !ds->eof(); ds->next())
                    place(*b, flows);
            } else {
                place(*b, flows);
            }
        }
        finishSheet();
    }

private:
    void startSheet()
    {
        PreparedPage p;
        p.widthMm = m_page->widthMm;
        p.heightMm = m_page->heightMm;
        m_out.pages.push_back(std::move(p));
        m_y = m_page->topMarginMm;
        m_contentOnSheet = 0;
        for (const CompiledBand *h : m_headers) {
            emitBand(*h, m_y);
            m_y += h->band->heightMm;
        }
    }

    void finishSheet()
    {
        double y = m_footerTop;
        for (const CompiledBand *f : m_footers) {
            emitBand(*f, y);
            y += f->band->heightMm;
        }
    }

    void place(const CompiledBand &b, bool mayBreak)
    {
        // A band taller than an empty sheet's room is laid out all the same
        // (and cut by the sheet) rather than starting sheets for ever.
        constexpr double eps = 1e-9;
        if (mayBreak && m_contentOnSheet > 0 && m_y + b.band->heightMm > m_footerTop + eps) {
            finishSheet();
            startSheet();
        }
        emitBand(b, m_y);
        m_y += b.band->heightMm;
        ++m_contentOnSheet;
    }

    void emitBand(const CompiledBand &b, double top)
    {
        PreparedPage &page = m_out.pages.back();
        const int pageNumber = int(m_out.pages.size());
        for (const CompiledCell &cc : b.cells) {
            PreparedText t;
            t.cell = *cc.cell;
            t.cell.rect.translate(0, top);
            t.cell.text = resolve(m_layout, b, cc, m_date, pageNumber);
            page.texts.push_back(std::move(t));
        }
        for (const Line &l : b.band->lines) {
            PreparedLine pl;
            pl.line = l;
            pl.line.y1 += top;
            pl.line.y2 += top;
            page.lines.push_back(std::move(pl));
        }
    }

    const Layout &m_layout;
    PreparedReport &m_out;
    QString m_date;
    const PageLayout *m_page = nullptr;
    std::vector<const CompiledBand *> m_headers, m_footers;
    double m_footerTop = 0;
    double m_y = 0;
    int m_contentOnSheet = 0;
};

} // namespace

PreparedReport prepare(const Layout &layout, const std::vector<DataSet *> &dataSets, const QDate &date)
{
    // Everything is resolved and checked before the first sheet is made.
    std::vector<std::vector<CompiledBand>> pages;
    for (const PageLayout &page : layout.pages) {
        std::vector<CompiledBand> bands;
        for (const Band &band : page.bands) {
            CompiledBand cb;
            cb.band = &band;
            if (band.kind == BandKind::MasterData) {
                if (band.dataSet.trimmed().isEmpty())
                    fail(QStringLiteral("%1是数据带，但没有指定数据集。").arg(where(layout, band, nullptr)));
                cb.dataSet = findDataSet(dataSets, band.dataSet);
                if (!cb.dataSet)
                    fail(QStringLiteral("%1的数据集“%2”不存在，请检查报表的数据连接。")
                             .arg(where(layout, band, nullptr), band.dataSet));
            }
            for (const TextCell &cell : band.cells)
                cb.cells.push_back(compileCell(layout, band, cell, dataSets));
            bands.push_back(std::move(cb));
        }
        pages.push_back(std::move(bands));
    }

    PreparedReport out;
    out.title = layout.name;
    Builder builder(layout, out, QLocale::system().toString(date, QLocale::ShortFormat));
    for (size_t i = 0; i < layout.pages.size(); ++i)
        builder.layPage(layout.pages[i], pages[i]);
    return out;
}

PreparedReport prepare(const Layout &layout, const std::vector<DataSet *> &dataSets)
{
    return prepare(layout, dataSets, QDate::currentDate());
}

} // namespace report
