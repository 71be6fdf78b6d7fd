#include "centre/Export.h"

#include "report/Prepared.h"
#include "store/Catalogue.h"
#include "store/FileIo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <xlsxwriter.h>

#include <cstdio>

namespace centre {

namespace cat = store::catalogue;

bool parseExportPart(const QString &word, ExportPart *part)
{
    static const std::pair<const char *, ExportPart> parts[] = {
        {"declarations", ExportPart::Declarations}, {"findings", ExportPart::Findings}, {"implausible", ExportPart::Implausible}};
    for (const auto &[name, value] : parts)
        if (word == QLatin1String(name)) {
            *part = value;
            return true;
        }
    return false;
}

ExportTable buildExportTable(ExportPart part, const std::vector<Declaration> &declarations, const Reference &reference,
                             const ImplausibleOptions &options)
{
    const auto nameOf = [&](const Declaration &d) {
        const Project *p = reference.project(d.file.project);
        return p ? p->name : d.file.yydm;
    };
    ExportTable t;
    const QString code = QStringLiteral("项目编码"), name = QStringLiteral("项目名称"), period = QStringLiteral("时期");
    switch (part) {
    case ExportPart::Declarations:
        t.title = QStringLiteral("申报数据");
        t.headers << code << name << period;
        for (int i = 0; i < kIndicators; ++i)
            t.headers << indicatorTitle(i);
        for (const Declaration &d : declarations) {
            for (int p = 0; p < kPeriods; ++p) {
                std::vector<QVariant> row{d.file.project, nameOf(d), cat::periods()[std::size_t(p)].label};
                for (const auto &v : d.figures[std::size_t(p)])
                    row.push_back(v ? QVariant(*v) : QVariant());
                t.rows.push_back(std::move(row));
            }
        }
        break;
    case ExportPart::Findings:
        t.title = QStringLiteral("审核发现");
        t.headers << code << name << period << QStringLiteral("审核发现") << QStringLiteral("医院标记")
                  << QStringLiteral("标记不符");
        for (const Declaration &d : declarations)
            for (const Finding &f : d.findings)
                t.rows.push_back({d.file.project, nameOf(d), f.label, f.text, d.file.hospitalFlag,
                                  d.file.mismatch ? QStringLiteral("是") : QString()});
        break;
    case ExportPart::Implausible:
        t.title = QStringLiteral("异常数值");
        t.headers << code << name << QStringLiteral("指标") << QStringLiteral("字段") << period << QStringLiteral("数值")
                  << QStringLiteral("说明");
        for (const ImplausibleFlag &f : findImplausible(declarations, reference, options))
            t.rows.push_back({f.code, f.name, f.caption, f.field, f.periodLabel, f.value, f.explanation});
        break;
    }
    return t;
}

ExportTable buildExportTable(ExportPart part, Database &db, const Reference &reference, const ImplausibleOptions &options)
{
    return buildExportTable(part, currentDeclarations(db), reference, options);
}

QString cellText(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QString();
    if (value.typeId() == QMetaType::Double)
        return report::formatValue(value, true);
    return value.toString();
}

namespace {

QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n'))
        && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

[[noreturn]] void writeFailed(const QString &path, const QString &why)
{
    throw Error(QStringLiteral("无法写入“%1”：%2").arg(QDir::toNativeSeparators(path), why));
}

} // namespace

void writeCsv(const ExportTable &table, const QString &path)
{
    QByteArray bytes("\xEF\xBB\xBF");
    const auto line = [&](const QStringList &cells) {
        QStringList quoted;
        for (const QString &c : cells)
            quoted << csvField(c);
        bytes += quoted.join(QLatin1Char(',')).toUtf8();
        bytes += "\r\n";
    };
    line(table.headers);
    for (const auto &row : table.rows) {
        QStringList cells;
        for (const QVariant &v : row)
            cells << cellText(v);
        line(cells);
    }
    store::fileio::replaceFile(path, bytes);
}

void writeXlsx(const ExportTable &table, const QString &path)
{
    const QFileInfo target(path);
    if (!target.absoluteDir().exists())
        writeFailed(path, QStringLiteral("文件夹不存在"));
    // The library writes the temporary file beside the target (through its
    // own handle, into the same file), which then gets the target's name.
    store::fileio::NewFile out(path);
    const QByteArray tempName = QFile::encodeName(out.tempPath());
    lxw_workbook *book = workbook_new(tempName.constData());
    if (!book)
        writeFailed(path, QStringLiteral("无法建立文件"));
    lxw_worksheet *sheet = workbook_add_worksheet(book, table.title.toUtf8().constData());
    lxw_format *bold = workbook_add_format(book);
    format_set_bold(bold);
    for (int c = 0; c < table.headers.size(); ++c)
        worksheet_write_string(sheet, 0, lxw_col_t(c), table.headers[c].toUtf8().constData(), bold);
    lxw_row_t r = 1;
    for (const auto &row : table.rows) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            const QVariant &v = row[c];
            if (!v.isValid() || v.isNull())
                continue;
            if (v.typeId() == QMetaType::Double)
                worksheet_write_number(sheet, r, lxw_col_t(c), v.toDouble(), nullptr);
            else
                worksheet_write_string(sheet, r, lxw_col_t(c), v.toString().toUtf8().constData(), nullptr);
        }
        ++r;
    }
    worksheet_freeze_panes(sheet, 1, 0);
    const lxw_error err = workbook_close(book);
    if (err != LXW_NO_ERROR)
        writeFailed(path, QString::fromUtf8(lxw_strerror(err)));
    out.commit();
}

ExportTableModel::ExportTableModel(QObject *parent) : QAbstractTableModel(parent) {}

void ExportTableModel::setTable(ExportTable table)
{
    beginResetModel();
    m_table = std::move(table);
    endResetModel();
}

int ExportTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_table.rows.size());
}

int ExportTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_table.headers.size());
}

QVariant ExportTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return {};
    const auto &row = m_table.rows[std::size_t(index.row())];
    if (std::size_t(index.column()) >= row.size())
        return {};
    const QVariant &v = row[std::size_t(index.column())];
    switch (role) {
    case Qt::DisplayRole: return cellText(v);
    case Qt::EditRole:
    case Qt::UserRole: return v;
    case Qt::TextAlignmentRole:
        return v.typeId() == QMetaType::Double ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter)) : QVariant();
    default: return {};
    }
}

QVariant ExportTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return section < m_table.headers.size() ? QVariant(m_table.headers[section]) : QVariant();
    return section + 1;
}

} // namespace centre
