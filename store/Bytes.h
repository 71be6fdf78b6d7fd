#pragma once
// Fixed-width integers in bytes, the one coder for every file format the
// program reads or writes: little-endian for DBF headers, fields and the
// rollback journal, big-endian for TrueType fonts. Reads and writes go
// through Qt's qendian, so they neither depend on the host's byte order nor
// on the alignment of the pointer.
#include <QByteArray>
#include <QtEndian>

namespace store::bytes {

inline quint16 le16(const char *p) { return qFromLittleEndian<quint16>(p); }
inline quint32 le32(const char *p) { return qFromLittleEndian<quint32>(p); }
inline quint64 le64(const char *p) { return qFromLittleEndian<quint64>(p); }

inline void putLe16(char *p, quint16 v) { qToLittleEndian<quint16>(v, p); }
inline void putLe32(char *p, quint32 v) { qToLittleEndian<quint32>(v, p); }
inline void putLe64(char *p, quint64 v) { qToLittleEndian<quint64>(v, p); }

inline void appendLe32(QByteArray &out, quint32 v)
{
    char b[4];
    putLe32(b, v);
    out.append(b, 4);
}
inline void appendLe64(QByteArray &out, quint64 v)
{
    char b[8];
    putLe64(b, v);
    out.append(b, 8);
}

inline quint16 be16(const char *p) { return qFromBigEndian<quint16>(p); }
inline quint32 be32(const char *p) { return qFromBigEndian<quint32>(p); }

inline void putBe32(char *p, quint32 v) { qToBigEndian<quint32>(v, p); }

inline void appendBe16(QByteArray &out, quint16 v)
{
    char b[2];
    qToBigEndian<quint16>(v, b);
    out.append(b, 2);
}
inline void appendBe32(QByteArray &out, quint32 v)
{
    char b[4];
    putBe32(b, v);
    out.append(b, 4);
}

} // namespace store::bytes
