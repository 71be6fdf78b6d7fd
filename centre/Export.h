#pragma once
// One table model for everything the centre hands out as a table: CSV, XLSX
// and the window's table all read the same ExportTable, so they never
// disagree.
#include "centre/Status.h"

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <vector>

namespace centre {

enum class ExportPart { Declarations, Findings, Implausible, Missing };
// "declarations" / "findings" / "implausible" / "missing"; false for another word.
bool parseExportPart(const QString &word, ExportPart *part);

struct ExportTable {
    QString title;                   // sheet name: "申报数据", "审核发现", "异常数值"
    QStringList headers;
    // One QVariant per column: double for figures (invalid for a blank
    // figure), QString otherwise.
    std::vector<std::vector<QVariant>> rows;
};

// Declarations: 项目编码, 项目名称, 时期, one column per indicator
// (indicatorTitle), one row per project and period.
// Findings: 项目编码, 项目名称, 时期, 审核发现, 医院标记, 标记不符.
// (Declarations end with 空白数值, the blank figures of the row.)
// Implausible: 项目编码, 项目名称, 指标, 字段, 时期, 数值, 说明.
// Missing: 项目编码, 项目名称, 状态, 最近拒收的原因, 被拒收的文件 — the
// projects that have sent nothing or whose last file was refused, for
// reminders (from the database only; from declarations alone no refusal
// is known).
ExportTable buildExportTable(ExportPart part, const std::vector<Declaration> &declarations,
                             const Reference &reference, const ImplausibleOptions &options = {});
ExportTable buildExportTable(ExportPart part, Database &db, const Reference &reference,
                             const ImplausibleOptions &options = {});

ExportTable missingTable(const StatusReport &status);

// The text of a cell as CSV and the window show it: figures in their
// shortest form ("35.5", "120"), blank figures empty.
QString cellText(const QVariant &value);

// UTF-8 with a byte order mark, CRLF line ends, fields quoted when they hold
// a comma, a quote or a line break. Written to a temporary file and renamed:
// a failure leaves no half file. Raises centre::Error.
void writeCsv(const ExportTable &table, const QString &path);
// One worksheet named after the table's title, bold header row, figures as
// numbers. Same temporary file and rename. Raises centre::Error.
void writeXlsx(const ExportTable &table, const QString &path);

// Refuses an export target that would replace a database: the open database
// (dbName; a postgresql:// name has no file), its -wal, -shm and -journal
// files, or any other SQLite database. Compared as real files, not as
// texts: a symbolic link, a hard link, "./" or ".." spellings all count as
// the file they reach. Raises centre::Error saying so.
void refuseOutputOverDatabase(const QString &output, const QString &dbName);

// The table as a Qt model (read-only; DisplayRole gives cellText, EditRole
// and Qt::UserRole the raw value for sorting).
class ExportTableModel : public QAbstractTableModel {
public:
    explicit ExportTableModel(QObject *parent = nullptr);
    void setTable(ExportTable table);
    const ExportTable &table() const { return m_table; }
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    ExportTable m_table;
};

} // namespace centre
