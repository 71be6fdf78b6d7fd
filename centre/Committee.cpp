#include "centre/Committee.h"

#include "centre/Export.h"

#include "print/FormLayout.h"
#include "store/Catalogue.h"
#include "store/FileIo.h"

#include <QDate>
#include <QHash>
#include <QSet>

#include <cmath>
#include <memory>

namespace centre {

namespace cat = store::catalogue;

namespace {

// One period's row of a stored declaration, seen by the report engine as the
// period query the printed form reads ("AQry_20030112").
class PeriodDataSet : public report::DataSet {
public:
    // marked: the indicators whose figure in this period is implausible,
    // printed with a star after them.
    PeriodDataSet(const Declaration &d, int period, QSet<int> marked = {})
        : m_d(d), m_period(period), m_marked(std::move(marked)) {}
    QString name() const override { return print::periodQueryName(cat::periods()[std::size_t(m_period)].code); }
    void first() override { m_eof = false; }
    void next() override { m_eof = true; }
    bool eof() const override { return m_eof; }
    QVariant value(const QString &column) const override
    {
        if (column.compare(QLatin1String("yydm"), Qt::CaseInsensitive) == 0)
            return m_d.file.yydm;
        if (column.compare(QLatin1String("nd"), Qt::CaseInsensitive) == 0)
            return cat::periods()[std::size_t(m_period)].code;
        if (column.compare(QLatin1String("bln_zkjy"), Qt::CaseInsensitive) == 0)
            return m_d.file.hospitalFlag;
        const int i = cat::indicatorIndex(column);
        if (i < 0)
            return {};
        const auto &v = m_d.figures[std::size_t(m_period)][std::size_t(i)];
        if (v && m_marked.contains(i))
            return report::formatValue(QVariant(*v), true) + QStringLiteral("*");
        return v ? QVariant(*v) : QVariant();
    }
    // A blank figure is printed blank, as the exports leave it empty: only
    // a figure that is there is a number (the engine prints a missing
    // number as 0).
    bool isNumeric(const QString &column) const override
    {
        const int i = cat::indicatorIndex(column);
        return i >= 0 && m_d.figures[std::size_t(m_period)][std::size_t(i)].has_value() && !m_marked.contains(i);
    }
    bool hasColumn(const QString &column) const override
    {
        return cat::indicatorIndex(column) >= 0 || column.compare(QLatin1String("yydm"), Qt::CaseInsensitive) == 0
            || column.compare(QLatin1String("nd"), Qt::CaseInsensitive) == 0
            || column.compare(QLatin1String("bln_zkjy"), Qt::CaseInsensitive) == 0;
    }

private:
    const Declaration &m_d;
    int m_period;
    QSet<int> m_marked;
    bool m_eof = false;
};

const QString kTitle = QStringLiteral("重点专科（专病）项目申报数据汇总");
constexpr double kLeft = 6.1, kRight = 202.6; // the form's borders
constexpr double kPageBottom = 287.0;
constexpr double kLineMm = 4.6;               // one 9 pt line with its spacing

report::TextCell cell(const QString &text, double x1, double y, double x2, double h, double pt, bool bold,
                      report::HAlign align = report::HAlign::Left)
{
    report::TextCell c;
    c.rect = QRectF(QPointF(x1, y), QPointF(x2, y + h));
    c.text = text;
    c.fontPt = pt;
    c.bold = bold;
    c.hAlign = align;
    c.vAlign = report::VAlign::Top;
    return c;
}

// Lines a 9 pt text takes across the form's width: a Chinese character is
// about 3.2 mm wide, a Latin one half that.
int linesFor(const QString &text, double widthMm)
{
    double w = 0;
    for (const QChar c : text)
        w += c.unicode() >= 0x1100 ? 3.2 : 1.7;
    return std::max(1, int(std::ceil(w / (widthMm - 1.2))));
}

// Writes lines of text down a page, starting new pages as needed.
class Writer {
public:
    Writer(report::PreparedReport &r, std::size_t page, double y) : m_r(r), m_page(page), m_y(y) {}
    void heading(const QString &text) { add(text, 10.5, true, 1.0); }
    void line(const QString &text) { add(text, 9, false, 0); }

private:
    void add(const QString &text, double pt, bool bold, double gapBefore)
    {
        const int lines = linesFor(text, kRight - kLeft);
        const double h = lines * (pt * 0.3528 + 1.0) + 0.6;
        if (m_y + gapBefore + h > kPageBottom) {
            m_r.pages.push_back(report::PreparedPage{});
            m_page = m_r.pages.size() - 1;
            m_y = 12.0;
        } else {
            m_y += gapBefore;
        }
        m_r.pages[m_page].texts.push_back({cell(text, kLeft, m_y, kRight, h, pt, bold)});
        m_y += h;
    }
    report::PreparedReport &m_r;
    std::size_t m_page;
    double m_y;
};

// The contents: each project's form with the page it starts on.
struct ContentsLine {
    QString code, name;
    int page = 0;
};

void appendSummary(report::PreparedReport &r, const StatusReport &status, const std::vector<ContentsLine> &contents)
{
    report::PreparedPage page;
    page.texts.push_back({cell(kTitle, 4.4, 10, 205.1, 9, 14, true,
                               report::HAlign::Center)});
    page.texts.push_back({cell(QStringLiteral("汇总日期：%1").arg(QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"))),
                               kLeft, 22, kRight, 5.5, 10.5, false)});
    int withFindings = 0, mismatches = 0, implausible = 0;
    QStringList missing, empty, refused;
    for (const ProjectStatus &p : status.projects) {
        withFindings += p.findings > 0;
        mismatches += p.mismatch;
        implausible += p.implausible > 0;
        if (p.refusedLast)
            refused << QStringLiteral("%1 %2：%3").arg(p.code, p.name, p.refusalReason);
        else if (!p.sent)
            missing << p.code;
        else if (p.empty)
            empty << p.code;
    }
    const std::pair<QString, int> counts[] = {
        {QStringLiteral("项目总数"), int(status.projects.size())},
        {QStringLiteral("已上报"), status.sentCount()},
        {QStringLiteral("未上报"), int(missing.size())},
        {QStringLiteral("最近上报的文件被拒收"), int(refused.size())},
        {QStringLiteral("空表（全部空白或为 0）"), int(empty.size())},
        {QStringLiteral("有审核发现的项目"), withFindings},
        {QStringLiteral("医院标记与审核结果不符的项目"), mismatches},
        {QStringLiteral("有异常数值的项目"), implausible},
        {QStringLiteral("异常数值"), int(status.implausible.size())},
        {QStringLiteral("不在项目列表中的编码"), int(status.unknown.size())},
        {QStringLiteral("已收文件（含历史）"), status.files},
    };
    double y = 32;
    for (const auto &[label, n] : counts) {
        page.texts.push_back({cell(label, 20, y, 120, 6, 10.5, true)});
        page.texts.push_back({cell(QString::number(n), 120, y, 160, 6, 10.5, false, report::HAlign::Right)});
        page.lines.push_back({report::Line{QString(), 20, y + 6.4, 160, y + 6.4, 0.2}});
        y += 7.4;
    }
    r.pages.push_back(std::move(page));
    Writer w(r, r.pages.size() - 1, y + 4);
    // Codes a line of sixteen at a time, so that none is broken in two.
    const auto codes = [&](const QString &heading, const QStringList &list) {
        if (list.isEmpty())
            return;
        w.heading(heading);
        for (int i = 0; i < list.size(); i += 16)
            w.line(list.mid(i, 16).join(QStringLiteral("  ")));
    };
    codes(QStringLiteral("未上报的项目"), missing);
    if (!refused.isEmpty()) {
        w.heading(QStringLiteral("拒收的项目（最近上报的文件未收下）"));
        for (const QString &line : refused)
            w.line(line);
    }
    codes(QStringLiteral("空表的项目"), empty);
    codes(QStringLiteral("不在项目列表中的编码"), status.unknown);
    if (!contents.empty()) {
        w.heading(QStringLiteral("目录"));
        for (const ContentsLine &c : contents)
            w.line(QStringLiteral("%1  %2  ……  第 %3 页").arg(c.code, c.name).arg(c.page));
    }
}

} // namespace

report::PreparedReport prepareDeclarationForm(const Declaration &declaration, const std::vector<const ImplausibleFlag *> &marked)
{
    std::vector<std::unique_ptr<PeriodDataSet>> owned;
    std::vector<report::DataSet *> sets;
    for (int p = 0; p < kPeriods; ++p) {
        QSet<int> mine;
        for (const ImplausibleFlag *f : marked)
            if (f->period == p + 1)
                mine.insert(f->indicator);
        owned.push_back(std::make_unique<PeriodDataSet>(declaration, p, std::move(mine)));
        sets.push_back(owned.back().get());
    }
    try {
        report::PreparedReport r = report::prepare(print::declarationForm(print::FormVariant::Data), sets);
        r.title = declaration.file.yydm;
        return r;
    } catch (...) {
        const Error e = store::currentError();
        throw Error(e, QStringLiteral("无法排版 %1 的申报表：%2").arg(declaration.file.project, e.message()));
    }
}

report::PreparedReport prepareDeclarationForm(const Declaration &declaration)
{
    return prepareDeclarationForm(declaration, {});
}

namespace {

// The notes below a project's form: its findings and implausible figures.
void writeNotes(Writer &w, const Declaration &d, const std::vector<const ImplausibleFlag *> &mine)
{
    QString head = QStringLiteral("审核发现（%1 条）").arg(d.findings.size());
    if (d.file.mismatch)
        head += QStringLiteral("：医院标记为 Y，与中心审核结果不符");
    w.heading(head);
    for (const Finding &f : d.findings)
        w.line(f.label + QStringLiteral("  ") + f.text);
    w.heading(QStringLiteral("异常数值（%1 处）").arg(mine.size()) + (mine.empty() ? QString() : QStringLiteral("：表中标 * 的数值")));
    for (const ImplausibleFlag *f : mine)
        w.line(QStringLiteral("%1  %2  %3：%4").arg(f->caption, f->periodLabel, report::formatValue(QVariant(f->value), true), f->explanation));
}

const double kBelowTable = 6.0; // below the form's second table (mm)

// The committee report a piece at a time: the summary, then one project's
// form with its findings. Only the piece being written is held.
class CommitteePages {
public:
    CommitteePages(const std::vector<Declaration> &declarations, const StatusReport &status, const Reference &reference)
        : m_status(status), m_reference(reference)
    {
        for (const Declaration &d : declarations)
            m_byCode.insert(d.file.project, &d);
        for (const ImplausibleFlag &f : status.implausible)
            m_flags[f.code].push_back(&f);
        // Every page carries "第 N 页 共 M 页": the pages are counted first.
        // A form is two pages and its notes run on where they do not fit,
        // which is known without preparing the form.
        std::vector<int> formPages;
        for (const Project &project : m_reference.projects())
            if (const Declaration *d = m_byCode.value(project.code)) {
                report::PreparedReport notes;
                notes.pages.resize(2);
                Writer w(notes, 1, belowTable());
                writeNotes(w, *d, m_flags.value(project.code));
                formPages.push_back(int(notes.pages.size()));
                m_contents.push_back({project.code, project.name, 0});
            }
        // The summary's length depends on its contents list, whose page
        // numbers depend on the summary's length: settled in a few rounds.
        int summaryPages = 1;
        for (int round = 0; round < 4; ++round) {
            int page = summaryPages + 1;
            for (std::size_t i = 0; i < m_contents.size(); ++i) {
                m_contents[i].page = page;
                page += formPages[i];
            }
            report::PreparedReport summary;
            appendSummary(summary, m_status, m_contents);
            if (int(summary.pages.size()) == summaryPages)
                break;
            summaryPages = int(summary.pages.size());
        }
        m_totalPages = summaryPages;
        for (int n : formPages)
            m_totalPages += n;
    }

    const report::PreparedPage *next()
    {
        while (m_at == m_piece.pages.size()) {
            if (!fillNextPiece())
                return nullptr;
        }
        report::PreparedPage &page = m_piece.pages[m_at++];
        ++m_pageNo;
        page.texts.push_back({cell(QStringLiteral("第 %1 页 共 %2 页").arg(m_pageNo).arg(m_totalPages), kLeft, 289.5, kRight,
                                   4.5, 8, false, report::HAlign::Center)});
        // Each page of a form says whose it is, even when a sheet is apart.
        if (!m_pieceHeader.isEmpty())
            page.texts.push_back({cell(m_pieceHeader, kLeft, 3.5, kRight, 4.5, 8, false, report::HAlign::Right)});
        return &page;
    }

private:
    bool fillNextPiece()
    {
        m_piece.pages.clear();
        m_at = 0;
        if (!m_summaryDone) {
            appendSummary(m_piece, m_status, m_contents);
            m_pieceHeader.clear();
            m_summaryDone = true;
            return true;
        }
        const auto &projects = m_reference.projects();
        while (m_project < projects.size()) {
            const Project &project = projects[m_project++];
            if (const Declaration *d = m_byCode.value(project.code)) {
                appendProject(project, *d);
                return true;
            }
        }
        return false;
    }

    static double belowTable() { return print::pageGeometry().back().bottomBorder() + kBelowTable; }

    void appendProject(const Project &project, const Declaration &d)
    {
        const auto mine = m_flags.value(project.code);
        m_piece = prepareDeclarationForm(d, mine);
        m_pieceHeader = QStringLiteral("%1  %2").arg(project.code, project.name);
        Writer w(m_piece, m_piece.pages.size() - 1, belowTable());
        writeNotes(w, d, mine);
    }

    const StatusReport &m_status;
    const Reference &m_reference;
    QHash<QString, const Declaration *> m_byCode;
    QHash<QString, std::vector<const ImplausibleFlag *>> m_flags;
    report::PreparedReport m_piece;
    QString m_pieceHeader;
    std::vector<ContentsLine> m_contents;
    int m_totalPages = 0, m_pageNo = 0;
    std::size_t m_at = 0, m_project = 0;
    bool m_summaryDone = false;
};

} // namespace

report::PageSource committeePages(const std::vector<Declaration> &declarations, const StatusReport &status,
                                  const Reference &reference)
{
    auto pages = std::make_shared<CommitteePages>(declarations, status, reference);
    return [pages]() { return pages->next(); };
}

void writeCommitteePdf(Database &db, const Reference &reference, const QString &path, const ImplausibleOptions &options)
{
    refuseOutputOverDatabase(path, db.name());
    const std::vector<Declaration> declarations = currentDeclarations(db);
    const StatusReport status = computeStatus(declarations, storedFileCount(db), unknownProjectCodes(db), reference,
                                              options, storedRefusals(db), lastCollected(db));
    try {
        store::fileio::NewFileDevice out(path);
        report::writePdf(kTitle, committeePages(declarations, status, reference), out, path);
        out.commit();
    } catch (...) {
        // Out of memory or a library's own exception is told like the rest.
        throw store::currentError();
    }
}

} // namespace centre
