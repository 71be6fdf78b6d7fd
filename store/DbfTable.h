#pragma once
// One dBASE / FoxPro / Visual FoxPro table file (.dbf).
//
// Reads versions 0x03, 0xF5, 0x83, 0x8B, 0x30, 0x31, 0x32; field types
// C N F D L I B Y T (N and F up to 32 wide); memo fields are passed over.
// Texts are in the table's code page (GBK for the mark 0x7A or 0x4D, 0 taken
// as GBK) and are decoded/encoded here, through store/FieldCodec, at the
// edge: everything above works with QString. A blank N/F/D field and a VFP null (_NullFlags) read as a null
// QVariant. Every header value is checked against the file size before it is
// used; a bad file raises store::Error naming the file and the fault.
//
// A table on disk is read under a shared file lock (load) or an exclusive
// one (load for writing), held until unlock() or the object's end; a small
// table is read whole when it is opened, a large one a window of records at
// a time, so that memory stays bounded. A leftover journal (a change that a
// process did not finish) is rolled back before anything is read.
//
// Writes take the exclusive lock, go to the file through a rollback journal
// (each call all done or not done, even when the process is killed) and are
// on disk when the call returns, so another reader (or a plain file copy)
// made right after sees them. The table's own version and field layout are
// kept.
#include "store/Error.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace store {

struct FieldDef {
    QString name;       // as stored (case kept); look-ups ignore case
    char type = 'C';    // C N F D L I B Y T
    int length = 0;     // bytes in the record
    int decimals = 0;
    bool nullable = false;
    int offset = 0;     // from the start of the record (deletion flag is byte 0)
    int nullBit = -1;   // bit in _NullFlags, -1 when not nullable

    bool isNumeric() const { return type == 'N' || type == 'F' || type == 'I' || type == 'B' || type == 'Y'; }
    bool isText() const { return type == 'C'; }

    // A field for a new table (create() works out offsets and null bits).
    static FieldDef make(const QString &name, char type, int length, int decimals = 0, bool nullable = false)
    {
        FieldDef f;
        f.name = name;
        f.type = type;
        f.length = length;
        f.decimals = decimals;
        f.nullable = nullable;
        return f;
    }
};

struct DbfHeader {
    quint8 version = 0x03;
    quint8 codePageMark = 0x7A;
    QDate lastUpdate;
    quint32 recordCount = 0;
    quint16 headerLength = 0;
    quint16 recordLength = 0;
};

class DbfTable {
public:
    enum class Access { Read, Write };
    // Opens and validates the file (header and fields, its size against
    // the header); only a regular file is opened.
    static DbfTable load(const QString &path, Access access = Access::Read);
    // Ends the lock taken by load: the statement that read the table is over.
    void unlock();
    // Same checks over bytes held in memory; name stands for the file in
    // messages. Such a table cannot be written.
    static DbfTable fromBytes(const QByteArray &bytes, const QString &name);

    // Writes a new table: version 0x03, code page mark 0x7A, 0x1A at the end.
    // rows hold one QVariant per field (null, number, text, bool, date).
    // Field offsets are computed here. A table with a nullable field or an
    // I/B/Y/T field is written as Visual FoxPro (0x30, backlink, _NullFlags).
    // The file is replaced as a whole (temporary file, then rename).
    static void create(const QString &path, const std::vector<FieldDef> &fields,
                       const std::vector<std::vector<QVariant>> &rows = {});

    // Rewrites the file without its deleted records: to a temporary file in
    // the same directory, then a rename, so a crash never leaves half a table.
    // Returns the number of records removed; with none, the file is not touched.
    static quint32 pack(const QString &path);

    DbfTable(DbfTable &&) noexcept;
    DbfTable &operator=(DbfTable &&) noexcept;
    ~DbfTable();

    const QString &path() const;
    const DbfHeader &header() const;
    // The fields the program reads and writes: without the _NullFlags system
    // field and without memo, general and picture fields (M G P, dBASE's B),
    // which are left as they are (new records get no memo).
    const std::vector<FieldDef> &fields() const;
    const std::vector<FieldDef> &memoFields() const;
    int fieldIndex(const QString &name) const;  // ignores case; -1 when absent
    // Why `name` is no field here, for a message: absent, or a memo field;
    // table is the name the statement used.
    QString missingField(const QString &name, const QString &table) const;

    quint32 recordCount() const;
    bool isDeleted(quint32 record) const;       // record is 0-based
    QVariant value(quint32 record, int field) const;
    // The raw bytes of a field (for fast scans); null flags not applied.
    QByteArray rawField(quint32 record, int field) const;
    bool isNull(quint32 record, int field) const;

    // Fast access for scans. recordData points at the record's first byte
    // (the deletion flag); fields()[i].offset and .length address a field in
    // it. Valid until another record of a large table is read, or the
    // table is written or destroyed.
    const char *recordData(quint32 record) const;
    QByteArrayView rawView(quint32 record, int field) const;
    // A numeric field's value without a QVariant: false when null. A text,
    // date or logical field raises store::Error.
    bool number(quint32 record, int field, double &out) const;
    // Decodes the table's text bytes (its code page) / a number field's text.
    QString decodeText(QByteArrayView bytes) const;

    quint32 deletedCount() const;
    bool hasEndMarker() const;   // the file ends its records with 0x1A
    int nullFlagsLength() const; // bytes of _NullFlags; 0 when absent

    // In-place update of one record; values holds one entry per field.
    void writeRecord(quint32 record, const std::vector<QVariant> &values);
    // In-place update of some fields of one record, as (field index, value)
    // pairs. Only the bytes of those fields and their null flag bits are
    // written: every other byte of the record stays as it is, on disk and
    // here, even text that does not decode (half a double-byte character).
    void writeFields(quint32 record, const std::vector<std::pair<int, QVariant>> &values);
    // The same for several records, as one change.
    using FieldValues = std::vector<std::pair<int, QVariant>>;
    void writeFields(const std::vector<std::pair<quint32, FieldValues>> &records);
    // The same in memory bounded whatever the number of records (no value
    // is held): records in ascending order, each once; valuesOf(record)
    // gives a record's new values from the table as it was before this
    // change. It is asked twice per record (for the journal, then for the
    // file) and must give the same both times (the journal refuses to
    // finish, and puts the table back, if not).
    void writeFields(const std::vector<quint32> &records, const std::function<FieldValues(quint32 record)> &valuesOf);
    // Appends a record (header count updated); returns its 0-based number.
    quint32 appendRecord(const std::vector<QVariant> &values);
    // Appends rows as one change; returns the number of the first.
    quint32 appendRecords(const std::vector<std::vector<QVariant>> &rows);
    void markDeleted(quint32 record, bool deleted = true);
    void markDeleted(const std::vector<quint32> &records, bool deleted = true);
    // Sets fields of some records and appends rows, all as one change;
    // returns the number of the first appended record.
    quint32 change(const std::vector<std::pair<quint32, FieldValues>> &records,
                   const std::vector<std::vector<QVariant>> &rows);
    // Marks every record deleted and appends rows, as one change: a kill or
    // a failure leaves the old records or the new ones, never neither.
    void replaceRecords(const std::vector<std::vector<QVariant>> &rows);

private:
    DbfTable();
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace store
