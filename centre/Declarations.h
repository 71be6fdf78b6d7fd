#pragma once
// What the database holds, read back: the current declaration of each
// project (its figures by period and indicator), its findings, the stored
// files with their history. Status, the implausibility flags, the exports,
// the committee PDF and the window all read through these.
#include "centre/Database.h"

#include <QDateTime>
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

} // namespace centre
