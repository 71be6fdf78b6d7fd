// A declaration collected at the centre prints exactly as the hospital's
// print window prints the same figures: same pages, cells, texts and rules.
#include "UploadFiles.h"
#include "centre/Collect.h"
#include "centre/Committee.h"
#include "print/PrintForm.h"
#include "tests/support/TestSupport.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace centretest;

TEST(CentreForm, CollectedDeclarationPrintsAsTheHospitalsOwnForm)
{
    testsupport::TempProgramDir dir;
    writeProjectList(dir.path(), 4);
    Figures figures = plausibleFigures(3);
    figures[4][std::size_t(indicator("jsjxry"))] = 999999999.99; // the widest figure the entry window takes
    QFile::remove(dir.file(QStringLiteral("Result/result.dbf")));
    const QString upload = writeUpload(dir.file(QStringLiteral("Result")), code(3), projectName(3), figures,
                                       QStringLiteral("Y"), QStringLiteral("result.dbf"));

    auto queries = print::makePeriodQueries();
    std::vector<store::Query *> raw;
    for (auto &q : queries)
        raw.push_back(q.get());
    print::openPeriodQueries(raw);
    const report::PreparedReport hospital = print::prepareForm(print::FormVariant::Data, raw);

    QTemporaryDir work;
    auto db = centre::Database::open(QDir(work.path()).filePath(QStringLiteral("centre.db")));
    const centre::Reference ref = centre::Reference::load(dir.path());
    centre::Collector collector(*db, ref);
    ASSERT_EQ(collector.collectFile(upload).kind, centre::FileOutcome::Kind::New);
    const auto declaration = centre::currentDeclaration(*db, code(3));
    ASSERT_TRUE(declaration);
    const report::PreparedReport centreForm = centre::prepareDeclarationForm(*declaration);

    ASSERT_EQ(centreForm.pages.size(), 2u);
    for (std::size_t p = 0; p < 2; ++p) {
        const auto &a = centreForm.pages[p].texts, &b = hospital.pages[p].texts;
        ASSERT_EQ(a.size(), b.size());
        // The hospital's project text carries the blanks that fill its
        // column; the centre keeps it trimmed. Blanks at the end of a
        // left-aligned cell do not print; everything else must be equal.
        const auto shown = [](report::TextCell c) {
            while (c.text.endsWith(QLatin1Char(' ')))
                c.text.chop(1);
            return c;
        };
        for (std::size_t i = 0; i < a.size(); ++i)
            EXPECT_TRUE(shown(a[i].cell) == shown(b[i].cell))
                << "page " << p + 1 << ": " << a[i].cell.text.toStdString() << " | " << b[i].cell.text.toStdString();
        ASSERT_EQ(centreForm.pages[p].lines.size(), hospital.pages[p].lines.size());
        for (std::size_t i = 0; i < centreForm.pages[p].lines.size(); ++i)
            EXPECT_TRUE(centreForm.pages[p].lines[i].line == hospital.pages[p].lines[i].line);
    }
}
