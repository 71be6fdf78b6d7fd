#pragma once
// Collect: upload files (CODE + "SJSB.dbf") into the centre database. Each
// file is read once, hashed (SHA-256), checked (the template's 62 columns
// with their types and widths, one row for each of the five periods, valid
// GBK text, the project code against the list), run through the delivered
// rules with the check's semantics, and stored with its figures, findings and
// the hospital's own flag, all or nothing (on SQLite a savepoint of its own
// inside a transaction of 32 files at first, of up to 256 later in a long
// collect; on PostgreSQL, where several reviewers collect at once, a
// transaction of its own). The same file twice changes
// nothing; a different file of the same project becomes current (unless the
// current one is newer by its time) and the other one is kept as history. A
// bad file is refused with its reason and nothing of it is stored, except
// that a file naming a project not in the list is remembered (name, hash,
// code) so that status can name the unknown code.
#include "centre/Database.h"
#include "centre/Reference.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <memory>
#include <vector>

namespace centre {

struct FileOutcome {
    // History: a new file of a project whose current declaration is newer
    // by its date; stored, and kept as history.
    enum class Kind { New, Replaced, Unchanged, Refused, History };
    Kind kind = Kind::Refused;
    QString path;       // as found
    QString project;    // code read from the file (empty when unreadable)
    QString reason;     // Refused: why, in Chinese; Replaced: what it replaced
    int findings = 0;   // findings of the delivered rules
    bool mismatch = false; // hospital flag Y but the centre finds something
    bool current = false;  // the file is now its project's current declaration
};

// What a collect stored. Counts only what the database has kept: when the
// database fails half-way (a full disk, a lost connection), the files of
// the batch it took back are not counted, and error says what failed.
struct CollectSummary {
    int newFiles = 0, replaced = 0, unchanged = 0, refused = 0, history = 0;
    bool cancelled = false;
    std::optional<Error> error;            // the failure that stopped collect
    int notDone = 0;                       // files not stored because of it
    std::vector<FileOutcome> refusedFiles; // in the order met
    int total() const { return newFiles + replaced + unchanged + refused + history; }
    int stored() const { return newFiles + replaced + history; }
};

// Upload files among paths: files as given; folders searched recursively for
// names ending in "SJSB.dbf" in any letter case. Sorted by path, duplicates
// removed. A path that does not exist is kept, for collect to refuse by name.
QStringList findUploadFiles(const QStringList &paths);

class Collector {
public:
    Collector(Database &db, const Reference &reference);
    ~Collector();

    // Called after each file; return false to stop after it (the files done
    // stay stored). done counts from 1 to total. On SQLite a file is
    // committed with its batch: when the database fails, the files of the
    // unfinished batch are not stored (collecting them again takes them);
    // collect returns what was stored with the failure in error.
    using Progress = std::function<bool(int done, int total, const FileOutcome &last)>;

    CollectSummary collect(const QStringList &files, const Progress &progress = {});
    // One file, in its own transaction. A database failure raises; a bad
    // file is an outcome, not an exception.
    FileOutcome collectFile(const QString &path);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// "新增 N，替换 N，未变 N，拒收 N", and "，历史 N" when older files were
// stored as history.
QString summaryLine(const CollectSummary &summary);

} // namespace centre
