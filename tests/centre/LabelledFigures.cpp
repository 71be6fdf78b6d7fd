#include "LabelledFigures.h"

#include "store/Catalogue.h"

#include "UploadFiles.h"

#include <QSet>

#include <cmath>
#include <random>

namespace centretest {

namespace cat = store::catalogue;

namespace {

constexpr const double (&kBase)[59] = kMiddleProject;

enum class Kind { Stock, Flow, CappedRate, Ratio, SmallCount };

Kind kindOf(int i)
{
    const cat::Indicator &ind = cat::indicators()[std::size_t(i)];
    if (ind.unit == QLatin1String("%"))
        return kBase[i] >= 70 ? Kind::CappedRate : Kind::Ratio;
    static const QStringList ratios = {"bczzl", "pjzyr", "pjmymzrcfy", "pjmyzyrcfy"};
    if (ratios.contains(ind.field))
        return Kind::Ratio;
    // Beds, staff and equipment stand; income, visits and cases flow; from
    // special treatments on come the research and teaching activities,
    // small counts drawn by chance each year.
    if (ind.field.startsWith(QLatin1String("cws")) || ind.field.startsWith(QLatin1String("rys"))
        || ind.field.startsWith(QLatin1String("yss")) || ind.field.startsWith(QLatin1String("sb_")))
        return Kind::Stock;
    return i >= cat::indicatorIndex(QStringLiteral("tslf")) && kBase[i] <= 12 ? Kind::SmallCount : Kind::Flow;
}

double round2(double v) { return std::round(v * 100) / 100; }

// Two adjacent different digits of the integer part swapped; the figure
// unchanged when it has none.
double swapDigits(double v, std::mt19937 &rng)
{
    QString digits = QString::number(qint64(v));
    std::vector<int> at;
    for (int i = 0; i + 1 < digits.size(); ++i)
        if (digits[i] != digits[i + 1])
            at.push_back(i);
    if (at.empty())
        return v;
    const int i = at[std::uniform_int_distribution<std::size_t>(0, at.size() - 1)(rng)];
    std::swap(digits[i], digits[i + 1]);
    return digits.toDouble() + (v - std::floor(v));
}

} // namespace

LabelledSet labelledSet(int projects, quint32 seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> unit(0, 1);
    std::normal_distribution<double> gauss(0, 1);
    LabelledSet set;
    for (int p = 0; p < projects; ++p) {
        centre::Declaration d;
        d.file.project = QString::number(6000 + p);
        d.file.yydm = d.file.project + QStringLiteral("  标注医院");
        const double size = std::pow(10, unit(rng) - 0.5); // a factor of ten between small and large
        const double growth = 1.02 + 0.06 * unit(rng);
        for (int i = 0; i < 59; ++i) {
            const Kind kind = kindOf(i);
            const double level = kind == Kind::Ratio ? 1 + 0.15 * gauss(rng) : size;
            const double capGap = std::fabs(gauss(rng)) * 8; // this hospital's distance from the cap
            const bool atCap = unit(rng) < 0.5;
            for (int period = 0; period < 5; ++period) {
                double v = 0;
                switch (kind) {
                case Kind::Stock:
                    v = kBase[i] * level * std::pow(growth, period) * (1 + 0.04 * gauss(rng));
                    if (kBase[i] < 100)
                        v = std::round(v); // people and beds are whole
                    break;
                case Kind::Flow:
                    v = kBase[i] * level * std::pow(growth, period) * (1 + 0.04 * gauss(rng));
                    if (period == 4)
                        v /= 2;
                    break;
                case Kind::Ratio:
                    v = kBase[i] * level * (1 + 0.03 * gauss(rng));
                    break;
                case Kind::CappedRate:
                    v = atCap ? 100 : std::clamp(100 - capGap + 2 * gauss(rng), 40.0, 100.0);
                    break;
                case Kind::SmallCount: {
                    std::poisson_distribution<int> draw(kBase[i] * std::sqrt(size) * (period == 4 ? 0.5 : 1.0));
                    v = draw(rng);
                    break;
                }
                }
                d.figures[std::size_t(period)][std::size_t(i)] = round2(std::max(v, 0.0));
            }
        }
        // One error in about a third of the projects, in a figure that is not 0.
        if (unit(rng) < 1.0 / 3) {
            PlantedError e;
            e.project = p;
            e.kind = Planted(std::uniform_int_distribution<int>(0, 5)(rng));
            for (int tries = 0; tries < 100; ++tries) {
                e.indicator = std::uniform_int_distribution<int>(0, 58)(rng);
                e.period = std::uniform_int_distribution<int>(1, 5)(rng);
                if (*d.figures[std::size_t(e.period - 1)][std::size_t(e.indicator)] > 0)
                    break;
            }
            auto &figure = d.figures[std::size_t(e.period - 1)][std::size_t(e.indicator)];
            const double before = *figure;
            switch (e.kind) {
            case Planted::Times10: figure = round2(before * 10); break;
            case Planted::Times100: figure = round2(before * 100); break;
            case Planted::Over100: figure = round2(before / 100); break;
            case Planted::WrongPeriod: {
                const int from = (e.period % 5) + 1; // the next period's figure, 2006 after 2002
                figure = d.figures[std::size_t(from - 1)][std::size_t(e.indicator)];
                break;
            }
            case Planted::SwappedDigits: figure = swapDigits(before, rng); break;
            case Planted::Negative: figure = -before; break;
            }
            if (*figure != before)
                set.planted.push_back(e);
        }
        set.declarations.push_back(std::move(d));
    }
    return set;
}

FlagScore scoreFlags(const LabelledSet &set, const std::vector<centre::ImplausibleFlag> &flags)
{
    const auto key = [](const QString &code, int indicator, int period) {
        return QStringLiteral("%1/%2/%3").arg(code).arg(indicator).arg(period);
    };
    QSet<QString> planted, flagged;
    FlagScore s;
    for (const PlantedError &e : set.planted) {
        planted.insert(key(set.declarations[std::size_t(e.project)].file.project, e.indicator, e.period));
        s.unitSlips += e.kind == Planted::Times10 || e.kind == Planted::Times100 || e.kind == Planted::Over100;
    }
    for (const centre::ImplausibleFlag &f : flags) {
        ++s.flags;
        s.flagsOnPlanted += planted.contains(key(f.code, f.indicator, f.period));
        flagged.insert(key(f.code, f.indicator, f.period));
    }
    for (const PlantedError &e : set.planted)
        if (e.kind == Planted::Times10 || e.kind == Planted::Times100 || e.kind == Planted::Over100)
            s.unitSlipsFlagged += flagged.contains(key(set.declarations[std::size_t(e.project)].file.project, e.indicator, e.period));
    return s;
}

} // namespace centretest
