#include "UploadFiles.h"

#include "store/Catalogue.h"
#include "store/DbfTable.h"
#include "store/Paths.h"

#include <QFile>
#include <QHash>

#include <cmath>
#include <stdexcept>

namespace centretest {

// A typical size of each figure, kept so that the delivered rules find
// nothing: the specialty's counts (_zk) a tenth of the hospital's (_yy),
// drug income below 80 % of medicine income, Chinese medicine below drugs,
// awards and graduates below their totals, senior staff below all staff.
double typical(const QString &field, int indicator)
{
    static const QHash<QString, double> fixed = {
        {QStringLiteral("tryxy_yyyw"), 1000}, {QStringLiteral("tryxy_yyyp"), 500}, {QStringLiteral("tryxy_yyzy"), 200},
        {QStringLiteral("tryxy_zkyw"), 100},  {QStringLiteral("tryxy_zkyp"), 50},  {QStringLiteral("tryxy_zkzy"), 20},
        {QStringLiteral("wyjx_rs"), 6},       {QStringLiteral("wyjx_cgrs"), 2},    {QStringLiteral("kycg_tgjds"), 4},
        {QStringLiteral("kycg_hjs"), 1},      {QStringLiteral("yss_gjzc"), 2},     {QStringLiteral("yss_zjzc"), 3},
        {QStringLiteral("yss_cjzc"), 4},      {QStringLiteral("rys_yjs"), 10},     {QStringLiteral("rys_bks"), 20},
        {QStringLiteral("rys_qt"), 10},
    };
    const auto at = fixed.constFind(field);
    if (at != fixed.constEnd())
        return *at;
    const double base = 10 + (indicator * 37) % 80;
    return field.contains(QLatin1String("_yy")) ? base * 10 : base;
}

double figure(const Upload &upload, int indicator, int period)
{
    const auto &field = store::catalogue::indicators()[size_t(indicator)].field;
    if (upload.breakRule && field == QLatin1String("sb_syl"))
        return 130;
    // Within 10 % of the typical size: no period jumps.
    const double wobble = ((upload.seed * 31 + indicator * 7 + period * 3) % 11 - 5) / 50.0;
    double value = std::round(typical(field, indicator) * (1 + wobble));
    if (indicator <= 1) // the hospital's and the specialty's beds
        value *= upload.outlier;
    return value;
}

QString writeUpload(const QString &dir, const Upload &upload)
{
    const QString path = dir + QLatin1Char('/') + upload.code + QStringLiteral("SJSB.dbf");
    QFile::remove(path);
    if (!QFile::copy(store::paths::templateTable(), path))
        throw std::runtime_error("cannot copy the template");
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    store::DbfTable table = store::DbfTable::load(path);
    const int yydm = table.fieldIndex(QStringLiteral("yydm"));
    const int flag = table.fieldIndex(QStringLiteral("bln_zkjy"));
    const int nd = table.fieldIndex(QStringLiteral("nd"));
    const auto &indicators = store::catalogue::indicators();
    for (quint32 r = 0; r < table.recordCount(); ++r) {
        const auto *period = store::catalogue::periodByCode(table.value(r, nd).toString().trimmed());
        std::vector<std::pair<int, QVariant>> values = {{yydm, upload.code + QStringLiteral("  ") + upload.name},
                                                        {flag, upload.flag}};
        for (size_t i = 0; i < indicators.size(); ++i)
            values.emplace_back(table.fieldIndex(indicators[i].field), figure(upload, int(i), period->index));
        table.writeFields(r, values);
    }
    return path;
}

void extendProjectList(const QString &programDir, int count)
{
    store::DbfTable list = store::DbfTable::load(programDir + QStringLiteral("DataMeta/zbzkyy.dbf"));
    for (int i = 1; i <= count; ++i) {
        const QString code = QString::number(5000 + i);
        list.appendRecord({code, QStringLiteral("测试市第%1医院（内科）").arg(i), QStringLiteral("CS%1").arg(i)});
    }
}

} // namespace centretest
