// The XLSX export, an object of its own: the commands that only collect and
// report link the centre's core without libxlsxwriter (and the zip and
// compression libraries behind it), which otherwise is loaded at every start.
#include "centre/Export.h"

#include "store/FileIo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <xlsxwriter.h>

namespace centre {

namespace {

[[noreturn]] void writeFailed(const QString &path, const QString &why)
{
    throw Error(store::ErrorKind::Io, QStringLiteral("无法写入“%1”：%2").arg(QDir::toNativeSeparators(path), why));
}

} // namespace

void writeXlsx(const ExportTable &table, const QString &path)
{
    const QFileInfo target(path);
    if (!target.absoluteDir().exists())
        writeFailed(path, QStringLiteral("文件夹不存在"));
    // The library writes the temporary file beside the target (through its
    // own handle, into the same file), which then gets the target's name.
    // commit() syncs that file through its own handle first (a sync covers
    // the file's data whoever wrote it, once the library has closed it),
    // renames it and syncs the folder: a power loss leaves the old file or
    // the whole new one.
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

} // namespace centre
