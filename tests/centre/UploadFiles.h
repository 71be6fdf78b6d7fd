#pragma once
// Upload files as hospitals send them, made from the delivered template and
// a plausible declaration that passes every delivered rule, with figures
// varied per project; and a program directory whose project list holds as
// many projects as a test needs.
#include <QString>

#include <array>

namespace centretest {

using Figures = std::array<std::array<double, 59>, 5>; // [period][indicator]

// A middle-sized project's figures, in catalogue order: the base the test
// files and the labelled figures scale from.
inline constexpr double kMiddleProject[59] = {
    800, 60, 10, 20, 10, 8, 10, 12, 5000, 600, 80, 95, 30000, 12000, 4000, 300, 2000, 800, 300, 400000, 30000, 150,
    20000, 1500, 90, 25, 12, 8000, 10, 20, 15, 70, 95, 97, 8, 1, 5, 2, 4, 3, 2, 3, 2, 2, 30, 3, 4, 3, 8, 40, 2, 200,
    3, 1, 1, 150, 2, 200, 12};

// Replaces DataMeta/zbzkyy.dbf of programDir by `count` projects with codes
// code(0) .. code(count - 1).
void writeProjectList(const QString &programDir, int count);
QString code(int project);        // "5000", "5001", ...
QString projectName(int project); // "测试市第N医院（脾胃病科）"

// Plausible figures of one project: the base declaration scaled by a
// project factor between 0.6 and 1.6 (rates only varied a little), growing
// a few percent a period, two decimals. Passes every delivered rule and is
// never implausible next to other projects made so.
Figures plausibleFigures(int project);

// Writes dir/CODE + "SJSB.dbf" with the template's 62 columns, one row per
// period, yydm = code + two blanks + name, bln_zkjy = flag. Returns the path.
QString writeUpload(const QString &dir, const QString &code, const QString &name, const Figures &figures,
                    const QString &flag = QStringLiteral("Y"), const QString &fileName = QString());

int indicator(const char *field); // catalogue position of a field

} // namespace centretest
