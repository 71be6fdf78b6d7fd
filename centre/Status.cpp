#include "centre/Status.h"

#include "report/Format.h"
#include "store/Catalogue.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <array>
#include <cmath>
#include <tuple>

namespace centre {

namespace cat = store::catalogue;

namespace {

double median(std::vector<double> &v)
{
    const std::size_t n = v.size();
    std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(n / 2), v.end());
    const double hi = v[n / 2];
    if (n % 2)
        return hi;
    const double lo = *std::max_element(v.begin(), v.begin() + std::ptrdiff_t(n / 2));
    return (lo + hi) / 2;
}

QString number(double v) { return report::formatValue(QVariant(v), true); }

// A value shown beside its limit with enough digits that it never reads as
// inside it: 5.01 against 5 is "5.01", not "5".
QString beyond(double v, double limit)
{
    for (int decimals = 1; decimals <= 6; ++decimals) {
        const double r = std::round(v * std::pow(10, decimals)) / std::pow(10, decimals);
        if (std::fabs(r) > std::fabs(limit) || decimals == 6)
            return number(r);
    }
    return number(v);
}

// How many times one positive figure is the other.
double ratio(double a, double b) { return std::max(a / b, b / a); }

} // namespace

std::vector<ImplausibleFlag> findImplausible(const std::vector<Declaration> &declarations, const Reference &reference,
                                             const ImplausibleOptions &options)
{
    std::vector<ImplausibleFlag> flags;
    const auto &periods = cat::periods();
    const auto &indicators = cat::indicators();
    const auto make = [&](const Declaration &d, int ind, int period, double value) {
        ImplausibleFlag f;
        f.code = d.file.project;
        const Project *p = reference.project(d.file.project);
        f.name = p ? p->name : d.file.yydm;
        f.indicator = ind;
        f.caption = indicatorTitle(ind);
        f.field = indicators[std::size_t(ind)].field;
        f.period = period + 1;
        f.periodLabel = periods[std::size_t(period)].label;
        f.value = value;
        return f;
    };
    const double factor = options.changeFactor;
    // A change counts when it passes the factor and the larger figure is not
    // a small count (papers go from 2 to 12 by chance), or when it passes
    // the factor twice over, as a slip of the unit does.
    const auto beyondFactor = [&](double v, double ref) {
        const double r = ratio(v, ref);
        return r > factor && (std::max(v, ref) >= options.minChangeValue || r > factor * factor);
    };

    // Across projects, per indicator and period, on a log scale: counts of
    // small and large hospitals differ by a factor of ten, and a unit slip
    // is a factor. A figure is flagged when its modified z-score passes the
    // threshold and it is more than the change factor from the median, so
    // that where most figures are equal (rates at their cap of 100: a median
    // absolute deviation of 0) ordinary figures are never flagged.
    std::vector<double> logs, deviations;
    std::vector<std::vector<ImplausibleFlag>> outliers(declarations.size());
    for (int ind = 0; ind < kIndicators; ++ind) {
        for (int period = 0; period < kPeriods; ++period) {
            logs.clear();
            for (const Declaration &d : declarations)
                if (const auto &v = d.figures[std::size_t(period)][std::size_t(ind)]; v && *v > 0)
                    logs.push_back(std::log10(*v));
            if (int(logs.size()) < std::max(options.minProjects, 1))
                continue;
            std::vector<double> work = logs;
            const double med = median(work);
            deviations.clear();
            for (double l : logs)
                deviations.push_back(std::fabs(l - med));
            const double mad = median(deviations);
            const double medianValue = std::pow(10, med);
            for (std::size_t k = 0; k < declarations.size(); ++k) {
                const auto &v = declarations[k].figures[std::size_t(period)][std::size_t(ind)];
                if (!v || !(*v > 0) || !beyondFactor(*v, medianValue))
                    continue;
                const double z = mad > 0 ? 0.6745 * (std::log10(*v) - med) / mad : 0;
                if (mad > 0 && std::fabs(z) <= options.zThreshold)
                    continue;
                ImplausibleFlag f = make(declarations[k], ind, period, *v);
                f.kind = ImplausibleFlag::Kind::Outlier;
                f.reference = medianValue;
                f.score = z;
                f.explanation = QStringLiteral("各项目中位数 %1，相差 %2 倍（界限 %3 倍）")
                                    .arg(number(std::round(medianValue * 100) / 100), beyond(ratio(*v, medianValue), factor),
                                         number(factor));
                if (mad > 0)
                    f.explanation += QStringLiteral("，修正Z分数 %1（界限 %2）")
                                         .arg(beyond(z, options.zThreshold), number(options.zThreshold));
                outliers[k].push_back(std::move(f));
            }
        }
    }

    // The 2006 half-year halves every flow (income, visits, papers) but not
    // the stocks (beds, staff): for each indicator, what the half-year is
    // of the other periods at the median project, so that the half-year is
    // compared with the project's other periods at the same scale.
    std::array<double, kIndicators> halfYear;
    halfYear.fill(1.0);
    {
        std::vector<double> shares, others;
        for (int ind = 0; ind < kIndicators; ++ind) {
            shares.clear();
            for (const Declaration &d : declarations) {
                const auto &h = d.figures[std::size_t(kPeriods - 1)][std::size_t(ind)];
                others.clear();
                for (int q = 0; q + 1 < kPeriods; ++q)
                    if (const auto &o = d.figures[std::size_t(q)][std::size_t(ind)]; o && *o > 0)
                        others.push_back(*o);
                if (h && *h > 0 && others.size() >= 2)
                    shares.push_back(*h / median(others));
            }
            if (int(shares.size()) >= std::max(options.minProjects, 1)) {
                const double share = median(shares);
                if (share < 0.75)
                    halfYear[std::size_t(ind)] = std::max(share, 0.25);
            }
        }
    }

    // Within each project: a negative figure, and a figure far from the
    // project's own other periods (a unit slip shows best there). One flag
    // per figure: its own history first, then the other projects.
    for (std::size_t k = 0; k < declarations.size(); ++k) {
        const Declaration &d = declarations[k];
        std::vector<ImplausibleFlag> mine;
        for (int ind = 0; ind < kIndicators; ++ind) {
            for (int period = 0; period < kPeriods; ++period) {
                const auto &v = d.figures[std::size_t(period)][std::size_t(ind)];
                if (!v)
                    continue;
                if (*v < 0) {
                    ImplausibleFlag f = make(d, ind, period, *v);
                    f.kind = ImplausibleFlag::Kind::Negative;
                    f.explanation = QStringLiteral("数值为负");
                    mine.push_back(std::move(f));
                    continue;
                }
                if (*v == 0)
                    continue;
                // Every period at the scale of this one.
                const double half = halfYear[std::size_t(ind)];
                const auto scaleOf = [&](int q) { return q == kPeriods - 1 ? half : 1.0; };
                std::vector<double> others;
                int only = -1;
                for (int q = 0; q < kPeriods; ++q)
                    if (const auto &o = d.figures[std::size_t(q)][std::size_t(ind)]; q != period && o && *o > 0) {
                        others.push_back(*o / scaleOf(q) * scaleOf(period));
                        only = q;
                    }
                if (others.empty())
                    continue;
                // Of two figures alone, neither is known to be the wrong
                // one: the later is flagged against the earlier.
                if (others.size() == 1 && only > period)
                    continue;
                // With an even number of others, the middle one nearer to
                // this figure: a wrong figure among two or four others must
                // not make a right one look far off.
                std::sort(others.begin(), others.end());
                const std::size_t n = others.size();
                double middle = others[n / 2];
                if (n % 2 == 0 && ratio(*v, others[n / 2 - 1]) < ratio(*v, middle))
                    middle = others[n / 2 - 1];
                const double ref = std::round(middle * 100) / 100;
                if (beyondFactor(*v, ref)) {
                    ImplausibleFlag f = make(d, ind, period, *v);
                    f.kind = ImplausibleFlag::Kind::Jump;
                    f.reference = ref;
                    f.score = ratio(*v, ref);
                    const bool scaled = scaleOf(period) != 1.0 || (others.size() == 1 && scaleOf(only) != 1.0);
                    const QString halfNote = !scaled ? QString()
                                             : period == kPeriods - 1 ? QStringLiteral("（折合半年）")
                                                                      : QStringLiteral("（半年折合全年）");
                    f.explanation = others.size() == 1
                        ? QStringLiteral("%1为 %2%3，相差 %4 倍（界限 %5 倍）")
                              .arg(periods[std::size_t(only)].label, number(ref), halfNote, beyond(f.score, factor),
                                   number(factor))
                        : QStringLiteral("本项目其他时期中位数 %1%2，相差 %3 倍（界限 %4 倍）")
                              .arg(number(ref), halfNote, beyond(f.score, factor), number(factor));
                    mine.push_back(std::move(f));
                }
            }
        }
        for (ImplausibleFlag &f : outliers[k]) {
            const bool seen = std::any_of(mine.begin(), mine.end(), [&](const ImplausibleFlag &m) {
                return m.indicator == f.indicator && m.period == f.period;
            });
            if (!seen)
                mine.push_back(std::move(f));
        }
        std::stable_sort(mine.begin(), mine.end(), [](const ImplausibleFlag &x, const ImplausibleFlag &y) {
            return std::tie(x.indicator, x.period) < std::tie(y.indicator, y.period);
        });
        for (auto &f : mine)
            flags.push_back(std::move(f));
    }
    return flags;
}

int StatusReport::sentCount() const
{
    return int(std::count_if(projects.begin(), projects.end(), [](const ProjectStatus &p) { return p.sent; }));
}

QString stateText(const ProjectStatus &p)
{
    if (p.refusedLast)
        return QStringLiteral("拒收");
    if (!p.sent)
        return QStringLiteral("未报");
    return p.empty ? QStringLiteral("空表") : QStringLiteral("已报");
}

std::vector<Declaration> listedDeclarations(std::vector<Declaration> declarations, const Reference &reference,
                                            QStringList *unlisted)
{
    std::vector<Declaration> out;
    out.reserve(declarations.size());
    for (Declaration &d : declarations) {
        if (reference.project(d.file.project))
            out.push_back(std::move(d));
        else if (unlisted)
            *unlisted << d.file.project;
    }
    if (unlisted) {
        unlisted->sort();
        unlisted->removeDuplicates();
    }
    return out;
}

StatusReport computeStatus(const std::vector<Declaration> &all, int files, const QStringList &unknown,
                           const Reference &reference, const ImplausibleOptions &options,
                           const std::vector<RefusalRecord> &refusals, const QHash<QString, QDateTime> &lastCollected)
{
    StatusReport s;
    s.files = files;
    QStringList unknownCodes = unknown;
    const std::vector<Declaration> declarations = listedDeclarations(all, reference, &unknownCodes);
    s.implausible = findImplausible(declarations, reference, options);
    s.refusals = refusals;
    QHash<QString, const Declaration *> byCode;
    for (const Declaration &d : declarations)
        byCode.insert(d.file.project, &d);
    QHash<QString, int> flagCount;
    for (const ImplausibleFlag &f : s.implausible)
        ++flagCount[f.code];
    QHash<QString, const RefusalRecord *> lastRefusal;
    QHash<QString, int> refusedCount;
    for (const RefusalRecord &r : refusals) {
        lastRefusal.insert(r.project, &r); // oldest first: the last one stays
        ++refusedCount[r.project];
    }
    for (const Project &p : reference.projects()) {
        ProjectStatus ps;
        ps.code = p.code;
        ps.name = p.name;
        if (const Declaration *d = byCode.value(p.code)) {
            ps.sent = true;
            ps.findings = d->file.findings;
            ps.mismatch = d->file.mismatch;
            ps.hospitalFlag = d->file.hospitalFlag;
            ps.fileName = d->file.name;
            ps.implausible = flagCount.value(p.code);
            ps.blanks = blankFigures(*d);
            ps.empty = isEmptyDeclaration(*d);
        }
        ps.refused = refusedCount.value(p.code);
        if (const RefusalRecord *r = lastRefusal.value(p.code)) {
            ps.refusalReason = r->reason;
            ps.refusalPath = r->path;
            const auto stored = lastCollected.constFind(p.code);
            ps.refusedLast = !ps.sent || stored == lastCollected.constEnd() || r->collectedAt > *stored;
        }
        s.projects.push_back(std::move(ps));
    }
    // Listed by project and path: the same list however often a file was refused again.
    std::stable_sort(s.refusals.begin(), s.refusals.end(), [](const RefusalRecord &x, const RefusalRecord &y) {
        return std::tie(x.project, x.path) < std::tie(y.project, y.path);
    });
    for (const QString &code : unknownCodes)
        if (!reference.project(code) && !s.unknown.contains(code))
            s.unknown << code;
    s.unknown.sort();
    return s;
}

StatusReport computeStatus(Database &db, const Reference &reference, const ImplausibleOptions &options)
{
    return computeStatus(currentDeclarations(db), storedFileCount(db), unknownProjectCodes(db), reference, options,
                         storedRefusals(db), lastCollected(db));
}

QByteArray statusJson(const StatusReport &status)
{
    // Written by hand so that the keys keep the documented order (a JSON
    // object of Qt sorts them).
    const auto str = [](const QString &text) {
        const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
        return array.mid(1, array.size() - 2); // the quoted, escaped text
    };
    const auto boolean = [](bool b) { return b ? QByteArray("true") : QByteArray("false"); };
    QByteArray out = "{\"files\": " + QByteArray::number(status.files) + ", \"projects\": [";
    for (std::size_t i = 0; i < status.projects.size(); ++i) {
        const ProjectStatus &p = status.projects[i];
        if (i)
            out += ", ";
        out += "{\"code\": " + str(p.code) + ", \"name\": " + str(p.name) + ", \"sent\": " + boolean(p.sent)
             + ", \"findings\": " + QByteArray::number(p.findings) + ", \"mismatch\": " + boolean(p.mismatch)
             + ", \"implausible\": " + QByteArray::number(p.implausible) + ", \"refused\": " + QByteArray::number(p.refused)
             + ", \"blanks\": " + QByteArray::number(p.blanks) + ", \"empty\": " + boolean(p.empty) + "}";
    }
    out += "], \"unknown\": [";
    for (int i = 0; i < status.unknown.size(); ++i)
        out += (i ? ", " : "") + str(status.unknown[i]);
    out += "], \"refusals\": [";
    for (std::size_t i = 0; i < status.refusals.size(); ++i) {
        const RefusalRecord &r = status.refusals[i];
        out += (i ? ", " : "") + QByteArray("{\"path\": ") + str(r.path) + ", \"code\": " + str(r.project)
             + ", \"reason\": " + str(r.reason) + "}";
    }
    out += "]}";
    return out;
}

QString statusText(const StatusReport &status)
{
    // Columns padded by display width: a Chinese character takes two cells.
    const auto width = [](const QString &s) {
        int w = 0;
        for (const QChar c : s)
            w += c.unicode() >= 0x1100 ? 2 : 1;
        return w;
    };
    const auto pad = [&](const QString &s, int w) { return s + QString(std::max(0, w - width(s)), QLatin1Char(' ')); };
    int nameWidth = 8;
    for (const ProjectStatus &p : status.projects)
        nameWidth = std::max(nameWidth, width(p.name));
    QString out;
    out += pad(QStringLiteral("项目编码"), 10) + pad(QStringLiteral("项目名称"), nameWidth + 2) + pad(QStringLiteral("上报"), 6)
         + pad(QStringLiteral("审核发现"), 10) + pad(QStringLiteral("标记不符"), 10) + pad(QStringLiteral("异常数值"), 10)
         + QStringLiteral("空白数值\n");
    for (const ProjectStatus &p : status.projects) {
        out += pad(p.code, 10) + pad(p.name, nameWidth + 2) + pad(stateText(p), 6)
             + pad(p.sent ? QString::number(p.findings) : QStringLiteral("-"), 10)
             + pad(p.mismatch ? QStringLiteral("是") : QString(), 10)
             + pad(p.sent ? QString::number(p.implausible) : QStringLiteral("-"), 10)
             + (p.sent ? QString::number(p.blanks) : QStringLiteral("-")) + QLatin1Char('\n');
    }
    int withFindings = 0, mismatches = 0, implausible = 0, refused = 0, empty = 0;
    for (const ProjectStatus &p : status.projects) {
        withFindings += p.findings > 0;
        mismatches += p.mismatch;
        implausible += p.implausible > 0;
        refused += p.refusedLast;
        empty += p.sent && p.empty;
    }
    for (const ProjectStatus &p : status.projects)
        if (p.refusedLast)
            out += QStringLiteral("拒收 %1：%2（%3）\n").arg(p.code, p.refusalReason, p.refusalPath);
    if (!status.unknown.isEmpty())
        out += QStringLiteral("不在项目列表中的编码：%1\n").arg(status.unknown.join(QStringLiteral("、")));
    out += QStringLiteral("共 %1 个项目：已报 %2，未报 %3，拒收 %4，空表 %5，有审核发现 %6，标记不符 %7，有异常数值 %8；已收文件 %9 个\n")
               .arg(status.projects.size())
               .arg(status.sentCount())
               .arg(int(status.projects.size()) - status.sentCount())
               .arg(refused)
               .arg(empty)
               .arg(withFindings)
               .arg(mismatches)
               .arg(implausible)
               .arg(status.files);
    return out;
}

} // namespace centre
