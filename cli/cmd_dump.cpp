// dump: a table's header and field list, for support
// work on a table that the program refuses or reads oddly. The labels are
// Chinese; after the line "字段名<TAB>类型<TAB>长度<TAB>小数位<TAB>可为空"
// comes one line per field in a fixed form for scripts: name, type letter,
// length, decimals, "yes" or "no", separated by tabs.
#include "cli/Commands.h"

#include "store/DbfTable.h"

#include <cstdio>

namespace cli {

namespace {

QString versionName(quint8 v)
{
    switch (v) {
    case 0x03: return QStringLiteral("dBASE III / FoxBASE+，无备注");
    case 0x83: return QStringLiteral("dBASE III，带备注");
    case 0x8B: return QStringLiteral("dBASE IV，带备注");
    case 0xF5: return QStringLiteral("FoxPro 2，带备注");
    case 0x30: return QStringLiteral("Visual FoxPro");
    case 0x31: return QStringLiteral("Visual FoxPro，带自增列");
    case 0x32: return QStringLiteral("Visual FoxPro，带变长列");
    default: return QStringLiteral("未知格式");
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
        print(QStringLiteral("文件：%1").arg(t.path()));
        print(QStringLiteral("版本：0x%1（%2）")
                  .arg(h.version, 2, 16, QLatin1Char('0'))
                  .arg(versionName(h.version)));
        print(QStringLiteral("代码页标记：0x%1").arg(h.codePageMark, 2, 16, QLatin1Char('0')));
        print(QStringLiteral("最后更新日期：%1").arg(h.lastUpdate.isValid() ? h.lastUpdate.toString(Qt::ISODate)
                                                                           : QStringLiteral("（无）")));
        print(QStringLiteral("记录数：%1").arg(h.recordCount));
        print(QStringLiteral("已删除：%1").arg(t.deletedCount()));
        print(QStringLiteral("文件头长度：%1").arg(h.headerLength));
        print(QStringLiteral("记录长度：%1").arg(h.recordLength));
        print(QStringLiteral("文件尾 0x1A：%1").arg(t.hasEndMarker() ? QStringLiteral("有") : QStringLiteral("无")));
        print(QStringLiteral("字段数：%1").arg(t.fields().size()));
        print(QStringLiteral("字段名\t类型\t长度\t小数位\t可为空"));
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
