// The implausibility flags on hand-made declarations: the cases where the
// textbook formula alone would fail (more than half the figures equal, zeros,
// small counts) and the texts a reviewer reads.
#include "centre/Status.h"
#include "store/Catalogue.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const QString &s, std::ostream *os) { *os << s.toStdString(); }

namespace {

centre::Declaration declaration(const QString &code, double papers2004, double papers2005 = 0)
{
    centre::Declaration d;
    d.file.project = code;
    d.file.yydm = code + QStringLiteral("  医院");
    const int i = store::catalogue::indicatorIndex(QStringLiteral("fblws"));
    d.figures[2][std::size_t(i)] = papers2004;
    if (papers2005 > 0)
        d.figures[3][std::size_t(i)] = papers2005;
    return d;
}

QStringList texts(const std::vector<centre::ImplausibleFlag> &flags)
{
    QStringList out;
    for (const auto &f : flags)
        out << QStringLiteral("%1 %2 %3 %4 %5").arg(f.code, f.caption, f.periodLabel).arg(f.value).arg(f.explanation);
    return out;
}

} // namespace

TEST(CentreImplausible, ManyEqualFiguresStillFlagTheFarOneButNotTheirNeighbours)
{
    testsupport::TempProgramDir dir;
    const centre::Reference ref = centre::Reference::load(dir.path());
    // Seven projects report 10 papers, one 11, one 200: the median absolute
    // deviation is 0, so the mean absolute deviation measures the spread.
    std::vector<centre::Declaration> all;
    for (int i = 0; i < 7; ++i)
        all.push_back(declaration(QStringLiteral("10%1").arg(i, 2, 10, QLatin1Char('0')), 10));
    all.push_back(declaration(QStringLiteral("1020"), 11));
    all.push_back(declaration(QStringLiteral("1021"), 200));
    EXPECT_EQ(texts(centre::findImplausible(all, ref)),
              QStringList{QStringLiteral("1021 24.发表论文数 2004年 200 中位数 10，修正Z分数 7.1（界限 3.5）")});
    // All equal: nothing is implausible, and nothing divides by zero.
    all.pop_back();
    all.pop_back();
    EXPECT_TRUE(centre::findImplausible(all, ref).empty());
}

TEST(CentreImplausible, JumpsIgnoreZerosAndSmallCounts)
{
    testsupport::TempProgramDir dir;
    const centre::Reference ref = centre::Reference::load(dir.path());
    const std::vector<centre::Declaration> all = {
        declaration(QStringLiteral("1001"), 1, 9),     // small counts: 9 times, not flagged
        declaration(QStringLiteral("1002"), 0, 400),   // from nothing: not a factor
        declaration(QStringLiteral("1003"), 12, 61),   // 5.08 times: flagged
        declaration(QStringLiteral("1004"), 12, 60),   // exactly 5 times: not above the factor
    };
    EXPECT_EQ(texts(centre::findImplausible(all, ref)),
              QStringList{QStringLiteral("1003 24.发表论文数 2005年 61 上期（2004年）12，变化 5.1 倍（界限 5 倍）")});
}
