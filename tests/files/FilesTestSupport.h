#pragma once
// What the file-layer tests of both platforms look at: a table as our
// reader sees it, a folder's files by path, and what nothing may leave
// behind.
#include "store/DbfTable.h"
#include "store/SqlTable.h"
#include "store/SqlText.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QStringList>

#include <gtest/gtest.h>

#include <map>

namespace filestest {

// The table as our reader sees it (which first rolls back a change that a
// killed process left half done): every live record, field by field.
inline QString ours(const QString &path)
{
    if (!QFile::exists(path))
        return QStringLiteral("(none)");
    const store::DbfTable t = store::DbfTable::load(path);
    QString text = QStringLiteral("records: %1\n").arg(t.recordCount());
    for (quint32 r = 0; r < t.recordCount(); ++r) {
        if (t.isDeleted(r))
            continue;
        for (int f = 0; f < int(t.fields().size()); ++f)
            text += store::sql::cellText(store::sql::cellValue(t, r, f)) + QLatin1Char('|');
        text += QLatin1Char('\n');
    }
    return text;
}

// The files of a directory tree, by relative path.
inline std::map<QString, QByteArray> snapshot(const QString &root)
{
    std::map<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString f = it.next();
        files[QDir(root).relativeFilePath(f)] = testsupport::fileBytes(f);
    }
    return files;
}

inline void restore(const QString &root, const std::map<QString, QByteArray> &files)
{
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        QFile::remove(it.next());
    for (const auto &[name, bytes] : files) {
        QFile f(root + QLatin1Char('/') + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
}

// Temporary files and journals that nothing should leave behind.
inline QStringList leftovers(const QString &root)
{
    QStringList found;
    QDirIterator it(root, {QStringLiteral("*~pdeclare-tmp-*"), QStringLiteral("*-journal")}, QDir::Files | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    return found;
}

} // namespace filestest
