// dump: a table's header and field list, for support
// work on a table that the program refuses or reads oddly.
#include "cli/Commands.h"

#include "store/DbfTable.h"

#include <cstdio>

namespace cli {

namespace {

const char *versionName(quint8 v)
{
    switch (v) {
    case 0x03: return "dBASE III / FoxBASE+, no memo";
    case 0x83: return "dBASE III with memo";
    case 0x8B: return "dBASE IV with memo";
    case 0xF5: return "FoxPro 2 with memo";
    case 0x30: return "Visual FoxPro";
    case 0x31: return "Visual FoxPro, autoincrement";
    case 0x32: return "Visual FoxPro, varchar/varbinary";
    default: return "unknown";
    }
}

void print(const QString &line)
{
    const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
    cli::writeOutput(bytes.constData(), std::size_t(bytes.size()));
}

} // namespace

const Command dumpCommand{"dump", "FILE.dbf", "显示一个表的文件头和字段（供技术支持查看程序拒绝或读错的表）", nullptr, 0,
                          nullptr, false};

int cmdDump(const Args &args)
{
    if (args.positional.size() != 1)
        return usage(args);
    try {
        const store::DbfTable t = store::DbfTable::load(args.positional.first());
        const store::DbfHeader &h = t.header();
        print(QStringLiteral("file: %1").arg(t.path()));
        print(QStringLiteral("version: 0x%1 (%2)")
                  .arg(h.version, 2, 16, QLatin1Char('0'))
                  .arg(QLatin1String(versionName(h.version))));
        print(QStringLiteral("code page mark: 0x%1").arg(h.codePageMark, 2, 16, QLatin1Char('0')));
        print(QStringLiteral("last update: %1").arg(h.lastUpdate.isValid() ? h.lastUpdate.toString(Qt::ISODate)
                                                                           : QStringLiteral("(none)")));
        print(QStringLiteral("records: %1").arg(h.recordCount));
        print(QStringLiteral("deleted: %1").arg(t.deletedCount()));
        print(QStringLiteral("header length: %1").arg(h.headerLength));
        print(QStringLiteral("record length: %1").arg(h.recordLength));
        print(QStringLiteral("end byte 0x1A: %1").arg(t.hasEndMarker() ? QStringLiteral("yes") : QStringLiteral("no")));
        print(QStringLiteral("fields: %1").arg(t.fields().size()));
        print(QStringLiteral("name\ttype\tlength\tdecimals\tnullable"));
        for (const store::FieldDef &f : t.fields())
            print(QStringLiteral("%1\t%2\t%3\t%4\t%5")
                      .arg(f.name, QChar(uchar(f.type)))
                      .arg(f.length)
                      .arg(f.decimals)
                      .arg(f.nullable ? QStringLiteral("yes") : QStringLiteral("no")));
    } catch (const store::Error &e) {
        std::fputs((e.message() + QLatin1Char('\n')).toUtf8().constData(), stderr);
        return 2;
    }
    return 0;
}

} // namespace cli
