#include "UploadFiles.h"

#include "store/Catalogue.h"
#include "store/DbfTable.h"

#include <QDir>

#include <cmath>
#include <stdexcept>

namespace centretest {

namespace cat = store::catalogue;

namespace {

constexpr const double (&kBase)[59] = kMiddleProject;

bool isRate(const QString &field)
{
    static const QStringList rates = {"sb_syl",   "sb_whl",   "bcsyl",   "bczzl",   "pjzyr",    "pjmymzrcfy", "pjmyzyrcfy",
                                      "jwzzhzbl", "ynbzhzbl", "qywhzbl", "zyzll",   "zdfhl_mc", "zdfhl_rc"};
    return rates.contains(field);
}

// A fixed pseudo-random number in [0, 1) from two integers.
double noise(int a, int b)
{
    quint32 x = quint32(a) * 2654435761u ^ quint32(b + 1) * 40503u;
    x ^= x >> 13;
    x *= 0x5bd1e995u;
    x ^= x >> 15;
    return double(x % 10000) / 10000.0;
}

} // namespace

QString code(int project) { return QString::number(5000 + project); }
QString projectName(int project) { return QStringLiteral("测试市第%1医院（脾胃病科）").arg(project + 1); }

int indicator(const char *field)
{
    const int i = cat::indicatorIndex(QString::fromLatin1(field));
    if (i < 0)
        throw std::logic_error(field);
    return i;
}

void writeProjectList(const QString &programDir, int count)
{
    std::vector<std::vector<QVariant>> rows;
    for (int i = 0; i < count; ++i)
        rows.push_back({code(i), projectName(i), QStringLiteral("CSS%1").arg(i)});
    store::DbfTable::create(QDir(programDir).filePath(QStringLiteral("DataMeta/zbzkyy.dbf")),
                            {store::FieldDef::make(QStringLiteral("Xmh"), 'C', 10),
                             store::FieldDef::make(QStringLiteral("yymcks"), 'C', 80),
                             store::FieldDef::make(QStringLiteral("ybm"), 'C', 20)},
                            rows);
}

Figures plausibleFigures(int project)
{
    Figures f{};
    const double scale = 0.6 + noise(project, 999);
    for (int p = 0; p < 5; ++p) {
        for (int i = 0; i < 59; ++i) {
            const QString &field = cat::indicators()[std::size_t(i)].field;
            const double jitter = 1.0 + (noise(project * 7 + p, i) - 0.5) * 0.1; // ±5 %
            const double v = isRate(field) ? kBase[i] * jitter : kBase[i] * scale * (1.0 + 0.04 * p) * jitter;
            f[std::size_t(p)][std::size_t(i)] = std::round(v * 100) / 100;
        }
    }
    // Percentages never pass 100.
    for (auto &period : f)
        for (const char *field : {"sb_syl", "sb_whl", "zdfhl_mc", "zdfhl_rc"})
            period[std::size_t(indicator(field))] = std::min(period[std::size_t(indicator(field))], 99.5);
    return f;
}

QString writeUpload(const QString &dir, const QString &code, const QString &name, const Figures &figures,
                    const QString &flag, const QString &fileName)
{
    std::vector<std::vector<QVariant>> rows;
    for (const cat::Period &period : cat::periods()) {
        std::vector<QVariant> row{code + QStringLiteral("  ") + name, period.code, flag};
        for (double v : figures[std::size_t(period.index - 1)])
            row.push_back(v);
        rows.push_back(std::move(row));
    }
    const QString path = QDir(dir).filePath(fileName.isEmpty() ? code + QStringLiteral("SJSB.dbf") : fileName);
    store::DbfTable::create(path, cat::declarationFields(), rows);
    return path;
}

} // namespace centretest
