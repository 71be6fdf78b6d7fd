// Writes the delivered tables of DataMeta/ from the catalogue and the UTF-8
// sources beside this file:
//
//   pdeclare-mkdata OUTDIR zbzkyy.tsv tjjctjk.tsv
//
// sjsbb.dbf     the empty declaration: yydm, nd, bln_zkjy, then the
//               indicators in catalogue order, one row per period
// zbzkyy.dbf    the monitored projects (zbzkyy.tsv)
// tjjctjk.dbf   the check rules (tjjctjk.tsv)
// shtable1.dbf  the findings table, no rows
//
// A source line that does not fit its column (too many GBK bytes, a
// character GBK cannot hold, a wrong number of cells, a duplicate project
// code) stops the tool with the file and line, and no table is replaced:
// everything is written to a scratch folder first and moved into OUTDIR
// only when all four tables are complete.
#include "store/Catalogue.h"
#include "store/DbfTable.h"
#include "store/Error.h"
#include "store/FieldCodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QStringConverter>
#include <QStringList>

#include <cstdio>

namespace {

[[noreturn]] void fail(const QString &message)
{
    throw store::Error(message);
}

store::FieldDef textField(const char *name, int length)
{
    return store::FieldDef::make(QString::fromLatin1(name), 'C', length);
}

// Checks that text fits a C column of the given width once encoded as GBK.
void checkFits(const QString &text, int width, const QString &where)
{
    bool ok = true;
    const QByteArray bytes = store::codec::encode(store::codec::kGbkMark, text, &ok);
    if (!ok)
        fail(QStringLiteral("%1: \"%2\" holds a character GBK cannot encode").arg(where, text));
    if (bytes.size() > width)
        fail(QStringLiteral("%1: \"%2\" takes %3 bytes, the column holds %4")
                 .arg(where, text)
                 .arg(bytes.size())
                 .arg(width));
}

struct Source {
    QString path;
    std::vector<QStringList> rows;
    std::vector<int> lines; // source line of each row, for messages
};

// Reads a TAB-separated UTF-8 file whose first line names the columns.
// Empty lines are skipped; cells keep their text exactly.
Source readTsv(const QString &path, const QStringList &header)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("%1: cannot open: %2").arg(path, file.errorString()));
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString all = utf8.decode(file.readAll());
    if (utf8.hasError())
        fail(QStringLiteral("%1: not valid UTF-8").arg(path));
    Source src;
    src.path = path;
    const QStringList lines = all.split(QLatin1Char('\n'));
    bool headerSeen = false;
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.isEmpty())
            continue;
        const QStringList cells = line.split(QLatin1Char('\t'));
        const QString where = QStringLiteral("%1:%2").arg(path).arg(i + 1);
        if (!headerSeen) {
            if (cells != header)
                fail(QStringLiteral("%1: the header must be \"%2\"").arg(where, header.join(QStringLiteral("\\t"))));
            headerSeen = true;
            continue;
        }
        if (cells.size() != header.size())
            fail(QStringLiteral("%1: %2 cells, expected %3").arg(where).arg(cells.size()).arg(header.size()));
        src.rows.push_back(cells);
        src.lines.push_back(i + 1);
    }
    if (!headerSeen)
        fail(QStringLiteral("%1: empty file").arg(path));
    return src;
}

void writeTemplate(const QString &path)
{
    namespace cat = store::catalogue;
    const std::vector<store::FieldDef> fields = cat::declarationFields();
    std::vector<std::vector<QVariant>> rows;
    for (const cat::Period &period : cat::periods()) {
        std::vector<QVariant> row(fields.size()); // null: blank
        row[1] = period.code;
        rows.push_back(std::move(row));
    }
    store::DbfTable::create(path, fields, rows);
}

void writeProjects(const QString &path, const Source &src)
{
    const std::vector<store::FieldDef> fields{textField("Xmh", 10), textField("yymcks", 80), textField("ybm", 20)};
    std::vector<std::vector<QVariant>> rows;
    QSet<QString> codes;
    for (std::size_t r = 0; r < src.rows.size(); ++r) {
        const QStringList &cells = src.rows[r];
        const QString where = QStringLiteral("%1:%2").arg(src.path).arg(src.lines[r]);
        if (cells[0].trimmed().isEmpty() || cells[1].trimmed().isEmpty())
            fail(QStringLiteral("%1: a project needs a code and a name").arg(where));
        if (codes.contains(cells[0].trimmed()))
            fail(QStringLiteral("%1: project code %2 appears twice").arg(where, cells[0]));
        codes.insert(cells[0].trimmed());
        std::vector<QVariant> row;
        for (int c = 0; c < 3; ++c) {
            checkFits(cells[c], fields[std::size_t(c)].length, where);
            row.push_back(cells[c]);
        }
        rows.push_back(std::move(row));
    }
    store::DbfTable::create(path, fields, rows);
}

void writeRules(const QString &path, const Source &src)
{
    const std::vector<store::FieldDef> fields{textField("Cond", 254), textField("Cont", 254)};
    std::vector<std::vector<QVariant>> rows;
    for (std::size_t r = 0; r < src.rows.size(); ++r) {
        const QStringList &cells = src.rows[r];
        const QString where = QStringLiteral("%1:%2").arg(src.path).arg(src.lines[r]);
        if (cells[0].trimmed().isEmpty() || cells[1].trimmed().isEmpty())
            fail(QStringLiteral("%1: a rule needs a condition and a message").arg(where));
        checkFits(cells[0], 254, where);
        checkFits(cells[1], 254, where);
        rows.push_back({cells[0], cells[1]});
    }
    store::DbfTable::create(path, fields, rows);
}

void writeFindings(const QString &path)
{
    store::DbfTable::create(path, {textField("name1", 20), textField("name2", 20), textField("name3", 254)});
}

void replace(const QString &from, const QString &to)
{
    QFile::remove(to);
    if (!QFile::rename(from, to))
        fail(QStringLiteral("cannot move %1 to %2").arg(from, to));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: pdeclare-mkdata OUTDIR zbzkyy.tsv tjjctjk.tsv\n");
        return 2;
    }
    const QString outDir = args[1];
    const QString scratch = QDir(outDir).filePath(QStringLiteral(".mkdata"));
    try {
        const Source projects = readTsv(args[2], {QStringLiteral("Xmh"), QStringLiteral("yymcks"), QStringLiteral("ybm")});
        const Source rules = readTsv(args[3], {QStringLiteral("Cond"), QStringLiteral("Cont")});
        QDir(scratch).removeRecursively();
        if (!QDir().mkpath(scratch))
            fail(QStringLiteral("cannot create %1").arg(scratch));
        const QStringList names{QStringLiteral("sjsbb.dbf"), QStringLiteral("zbzkyy.dbf"), QStringLiteral("tjjctjk.dbf"),
                                QStringLiteral("shtable1.dbf")};
        QDir tmp(scratch);
        writeTemplate(tmp.filePath(names[0]));
        writeProjects(tmp.filePath(names[1]), projects);
        writeRules(tmp.filePath(names[2]), rules);
        writeFindings(tmp.filePath(names[3]));
        for (const QString &name : names) {
            store::DbfTable::load(tmp.filePath(name)); // read back before delivering
            replace(tmp.filePath(name), QDir(outDir).filePath(name));
        }
        QDir(scratch).removeRecursively();
    } catch (const store::Error &e) {
        QDir(scratch).removeRecursively();
        std::fprintf(stderr, "pdeclare-mkdata: %s\n", e.message().toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
