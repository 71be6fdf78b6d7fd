// Feeds arbitrary bytes to the table reader as a table file. A refused file
// must raise store::Error; an accepted one must give every value of every
// record without reading outside the file. Some inputs also go through the
// writers (record and field writes, delete mark, append of a read record,
// pack) on a scratch file.
#include "store/DbfTable.h"

#include <QDir>
#include <QFile>

#include <cstddef>
#include <cstdint>
#include <unistd.h>

namespace {

void readAll(const store::DbfTable &t)
{
    const quint32 records = std::min<quint32>(t.recordCount(), 2000);
    const int fields = int(t.fields().size());
    for (quint32 r = 0; r < records; ++r) {
        (void)t.isDeleted(r);
        for (int f = 0; f < fields; ++f) {
            (void)t.rawView(r, f);
            (void)t.isNull(r, f);
            try {
                (void)t.value(r, f);
                double v;
                if (t.fields()[size_t(f)].isNumeric())
                    (void)t.number(r, f, v);
            } catch (const store::Error &) {
                // a value the field's type cannot hold: reported, fine
            }
        }
    }
    (void)t.deletedCount();
}

void writeThrough(const QByteArray &bytes, const store::DbfTable &t)
{
    static const QString path = QDir::tempPath() + QStringLiteral("/fuzz_dbf_%1.dbf").arg(getpid());
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
            return;
    }
    try {
        store::DbfTable w = store::DbfTable::load(path);
        std::vector<QVariant> values;
        if (t.recordCount() > 0) {
            for (int f = 0; f < int(t.fields().size()); ++f) {
                try {
                    values.push_back(t.value(0, f));
                } catch (const store::Error &) {
                    values.push_back(QVariant());
                }
            }
            w.writeRecord(0, values);
            // Some fields only: the last one, set to null and back.
            const int last = int(values.size()) - 1;
            w.writeFields(0, {{last, QVariant()}});
            w.writeFields(0, {{last, values.back()}, {0, values.front()}});
            w.markDeleted(0);
        } else {
            values.resize(t.fields().size());
        }
        w.appendRecord(values);
        store::DbfTable::pack(path);
        readAll(store::DbfTable::load(path));
    } catch (const store::Error &) {
    }
    QFile::remove(path);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        const store::DbfTable t = store::DbfTable::fromBytes(bytes, QStringLiteral("fuzz.dbf"));
        readAll(t);
        if (size > 0 && size < 4096 && (data[size - 1] & 7) == 0)
            writeThrough(bytes, t);
    } catch (const store::Error &) {
    }
    return 0;
}
