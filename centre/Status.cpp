#include "centre/Status.h"

#include "report/Prepared.h"
#include "store/Catalogue.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
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
QString rounded(double v, int decimals) { return number(std::round(v * std::pow(10, decimals)) / std::pow(10, decimals)); }

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

    // Across projects, per indicator and period.
    std::vector<double> values, deviations;
    values.reserve(declarations.size());
    deviations.reserve(declarations.size());
    std::vector<std::vector<ImplausibleFlag>> outliers(declarations.size());
    for (int ind = 0; ind < kIndicators; ++ind) {
        for (int period = 0; period < kPeriods; ++period) {
            values.clear();
            for (const Declaration &d : declarations)
                if (const auto &v = d.figures[std::size_t(period)][std::size_t(ind)])
                    values.push_back(*v);
            if (int(values.size()) < std::max(options.minProjects, 1))
                continue;
            std::vector<double> work = values;
            const double med = median(work);
            deviations.clear();
            double meanAbs = 0;
            for (double v : values) {
                deviations.push_back(std::fabs(v - med));
                meanAbs += std::fabs(v - med);
            }
            meanAbs /= double(values.size());
            const double mad = median(deviations);
            // With more than half the figures equal the MAD is 0; the mean
            // absolute deviation, scaled to match, measures the spread then.
            const double scale = mad > 0 ? mad / 0.6745 : 1.253314 * meanAbs;
            if (!(scale > 0))
                continue;
            for (std::size_t k = 0; k < declarations.size(); ++k) {
                const auto &v = declarations[k].figures[std::size_t(period)][std::size_t(ind)];
                if (!v)
                    continue;
                const double z = (*v - med) / scale;
                if (std::fabs(z) <= options.zThreshold)
                    continue;
                ImplausibleFlag f = make(declarations[k], ind, period, *v);
                f.kind = ImplausibleFlag::Kind::Outlier;
                f.reference = med;
                f.score = z;
                f.explanation = QStringLiteral("中位数 %1，修正Z分数 %2（界限 %3）")
                                    .arg(number(med), rounded(z, 1), number(options.zThreshold));
                outliers[k].push_back(std::move(f));
            }
        }
    }

    // Within each project, period to period; flags grouped by project.
    for (std::size_t k = 0; k < declarations.size(); ++k) {
        const Declaration &d = declarations[k];
        std::vector<ImplausibleFlag> mine = std::move(outliers[k]);
        for (int ind = 0; ind < kIndicators; ++ind) {
            for (int period = 1; period < kPeriods; ++period) {
                const auto &a = d.figures[std::size_t(period - 1)][std::size_t(ind)];
                const auto &b = d.figures[std::size_t(period)][std::size_t(ind)];
                if (!a || !b || *a == 0 || *b == 0)
                    continue;
                if (std::fabs(*a) < options.minChangeValue && std::fabs(*b) < options.minChangeValue)
                    continue;
                const double factor = std::max(*a / *b, *b / *a);
                if (!(factor > options.changeFactor))
                    continue;
                ImplausibleFlag f = make(d, ind, period, *b);
                f.kind = ImplausibleFlag::Kind::Jump;
                f.reference = *a;
                f.score = factor;
                f.explanation = QStringLiteral("上期（%1）%2，变化 %3 倍（界限 %4 倍）")
                                    .arg(periods[std::size_t(period - 1)].label, number(*a), rounded(factor, 1),
                                         number(options.changeFactor));
                mine.push_back(std::move(f));
            }
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

StatusReport computeStatus(const std::vector<Declaration> &declarations, int files, const QStringList &unknown,
                           const Reference &reference, const ImplausibleOptions &options)
{
    StatusReport s;
    s.files = files;
    s.implausible = findImplausible(declarations, reference, options);
    QHash<QString, const Declaration *> byCode;
    for (const Declaration &d : declarations)
        byCode.insert(d.file.project, &d);
    QHash<QString, int> flagCount;
    for (const ImplausibleFlag &f : s.implausible)
        ++flagCount[f.code];
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
        }
        s.projects.push_back(std::move(ps));
    }
    for (const QString &code : unknown)
        if (!reference.project(code))
            s.unknown << code;
    return s;
}

StatusReport computeStatus(Database &db, const Reference &reference, const ImplausibleOptions &options)
{
    return computeStatus(currentDeclarations(db), storedFileCount(db), unknownProjectCodes(db), reference, options);
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
             + ", \"implausible\": " + QByteArray::number(p.implausible) + "}";
    }
    out += "], \"unknown\": [";
    for (int i = 0; i < status.unknown.size(); ++i)
        out += (i ? ", " : "") + str(status.unknown[i]);
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
         + pad(QStringLiteral("审核发现"), 10) + pad(QStringLiteral("标记不符"), 10) + QStringLiteral("异常数值\n");
    for (const ProjectStatus &p : status.projects) {
        out += pad(p.code, 10) + pad(p.name, nameWidth + 2) + pad(p.sent ? QStringLiteral("已报") : QStringLiteral("未报"), 6)
             + pad(p.sent ? QString::number(p.findings) : QStringLiteral("-"), 10)
             + pad(p.mismatch ? QStringLiteral("是") : QString(), 10)
             + (p.sent ? QString::number(p.implausible) : QStringLiteral("-")) + QLatin1Char('\n');
    }
    int withFindings = 0, mismatches = 0, implausible = 0;
    for (const ProjectStatus &p : status.projects) {
        withFindings += p.findings > 0;
        mismatches += p.mismatch;
        implausible += p.implausible > 0;
    }
    if (!status.unknown.isEmpty())
        out += QStringLiteral("不在项目列表中的编码：%1\n").arg(status.unknown.join(QStringLiteral("、")));
    out += QStringLiteral("共 %1 个项目：已报 %2，未报 %3，有审核发现 %4，标记不符 %5，有异常数值 %6；已收文件 %7 个\n")
               .arg(status.projects.size())
               .arg(status.sentCount())
               .arg(int(status.projects.size()) - status.sentCount())
               .arg(withFindings)
               .arg(mismatches)
               .arg(implausible)
               .arg(status.files);
    return out;
}

} // namespace centre
