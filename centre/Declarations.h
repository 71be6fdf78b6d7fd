#pragma once
// What the database holds, read back: the current declaration of each
// project (its figures by period and indicator), its findings, the stored
// files with their history. Status, the implausibility flags, the exports,
// the committee PDF and the window all read through these.
#include "centre/Database.h"

#include <QDateTime>
#include <QHash>
#include <QString>

#include <array>
#include <optional>
#include <vector>

namespace centre {

constexpr int kPeriods = 5;
constexpr int kIndicators = 59;

struct Finding {
    int period = 0;      // 1..5
    QString label;       // "2002年" ... "2006上半年"
    QString text;        // the rule's Cont, trimmed
};

struct StoredFile {
    qint64 id = 0;
    QString project;     // code
    QString yydm;        // the declaration's project text, trimmed
    QString name;        // file name (no folder)
    qint64 size = 0;
    QDateTime mtime;     // UTC
    QDateTime collectedAt; // UTC
    QString sha256;      // lower-case hex
    QString hospitalFlag; // bln_zkjy as sent: "Y", "N" or ""
    int findings = 0;
    bool mismatch = false;
    bool current = false;
};

struct Declaration {
    StoredFile file;
    // figures[period 0..4][indicator 0..58]; nullopt for a blank figure
    std::array<std::array<std::optional<double>, kIndicators>, kPeriods> figures;
    std::vector<Finding> findings; // rule order, then period order
};

// Every current declaration, ordered by project code. Two queries, however
// many projects.
std::vector<Declaration> currentDeclarations(Database &db);
// One project's current declaration; nullopt when it sent nothing.
std::optional<Declaration> currentDeclaration(Database &db, const QString &code);
// Every stored file of a project, newest collection first (current and history).
std::vector<StoredFile> filesOfProject(Database &db, const QString &code);
// Number of stored files (current and history).
int storedFileCount(Database &db);
// Codes of files refused because their project is not in the list, sorted.
QStringList unknownProjectCodes(Database &db);

// A refused file, as kept: one record per file content and path, with the
// last time it was refused.
struct RefusalRecord {
    QString path;        // absolute, as found
    QString name;        // file name
    QString project;     // the code its name or its rows gave; empty when neither
    QString reason;      // in Chinese
    QString sha256;      // empty when the file could not be read
    QDateTime collectedAt; // UTC
    QString collectedBy, host;
};
// Every kept refusal, oldest first.
std::vector<RefusalRecord> storedRefusals(Database &db);

// What a project's files were: its stored files (newest collection first)
// and the time the last of them was collected.
struct StoredFileDetail : StoredFile {
    QString sourcePath, collectedBy, host;
    QString dateSource;  // "table": the table's own last-update date; "file": the file's time
    QString declaredOn;  // yyyy-MM-dd
};
std::vector<StoredFileDetail> fileHistory(Database &db, const QString &code);
// The figures of one stored file, current or not; nullopt when no such file.
std::optional<Declaration> storedDeclaration(Database &db, qint64 fileId);
// Project code -> when its last stored file was collected.
QHash<QString, QDateTime> lastCollected(Database &db);

// Blank figures of a declaration (of 5 x 59), and whether it holds nothing
// but blanks and zeros.
int blankFigures(const Declaration &declaration);
bool isEmptyDeclaration(const Declaration &declaration);

} // namespace centre
