#pragma once
// Status of every project of the list, and the implausible figures among the
// current declarations.
#include "centre/Declarations.h"
#include "centre/Reference.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace centre {

// Implausible figures, one flag at most per figure:
// - a negative figure;
// - within a project: a figure more than changeFactor times from the median
//   of the project's own other periods (of two figures alone, the later one
//   against the earlier), where the larger of the two is at least
//   minChangeValue or the factor is passed twice over (small counts jump by
//   chance; a unit slip does not);
// - across projects, per indicator and period, on a log scale: a figure
//   whose modified z-score 0.6745 (log x - median) / MAD passes zThreshold
//   and which is more than changeFactor times from the median (with the
//   same small-count rule). When MAD is 0 (most figures equal, as rates at
//   their cap) only the factor counts. Zeros and blanks are left out.
struct ImplausibleOptions {
    double zThreshold = 3.5;
    double changeFactor = 5.0;
    double minChangeValue = 10.0;
    int minProjects = 5;          // fewer figures than this: no z-scores
};

struct ImplausibleFlag {
    enum class Kind { Outlier, Jump, Negative };
    Kind kind = Kind::Outlier;
    QString code;         // project
    QString name;         // project name from the list (the code's yydm when unlisted)
    int indicator = 0;    // 0-based catalogue position
    QString caption;      // indicatorTitle()
    QString field;        // "cws_yy"
    int period = 0;       // 1..5
    QString periodLabel;  // "2002年" ... "2006上半年"
    double value = 0;
    double reference = 0; // Outlier: the projects' median; Jump: the median of the project's other periods
    double score = 0;     // Outlier: modified z (0 when MAD is 0); Jump: the factor
    QString explanation;  // "各项目中位数 120，相差 10 倍（界限 5 倍），修正Z分数 5.2（界限 3.5）" / "本项目其他时期中位数 12，相差 8.3 倍（界限 5 倍）"
};

std::vector<ImplausibleFlag> findImplausible(const std::vector<Declaration> &declarations,
                                             const Reference &reference,
                                             const ImplausibleOptions &options = {});

struct ProjectStatus {
    QString code;
    QString name;
    bool sent = false;
    int findings = 0;
    bool mismatch = false;
    int implausible = 0;
    QString hospitalFlag; // of the current file
    QString fileName;     // of the current file
    int blanks = 0;       // blank figures of the current declaration (of 295)
    bool empty = false;   // the current declaration holds only blanks and zeros: 空表
    int refused = 0;      // refused files kept for this project
    bool refusedLast = false; // the last file it sent was refused: 拒收
    QString refusalReason, refusalPath; // of its last refusal
};

// The state a reviewer reads first: 拒收 (the last file sent was refused),
// 未报 (nothing stored), 空表 (all blank or zero), 已报.
QString stateText(const ProjectStatus &project);

struct StatusReport {
    int files = 0;                        // stored files, current and history
    std::vector<ProjectStatus> projects;  // the list's order
    QStringList unknown;                  // codes not in the list (refused, or stored before the list changed)
    std::vector<ImplausibleFlag> implausible;
    std::vector<RefusalRecord> refusals;  // every kept refusal, by project code and path
    int sentCount() const;
};

// The declarations of projects on the list, the one set that status,
// exports, z-scores and the window all use; the codes stored but no longer
// listed are added to unlisted (sorted, once).
std::vector<Declaration> listedDeclarations(std::vector<Declaration> declarations, const Reference &reference,
                                            QStringList *unlisted = nullptr);

StatusReport computeStatus(Database &db, const Reference &reference, const ImplausibleOptions &options = {});
// Same, over declarations already read (the window keeps them).
StatusReport computeStatus(const std::vector<Declaration> &declarations, int files, const QStringList &unknown,
                           const Reference &reference, const ImplausibleOptions &options = {},
                           const std::vector<RefusalRecord> &refusals = {},
                           const QHash<QString, QDateTime> &lastCollected = {});

// {"files": N, "projects": [{"code", "name", "sent", "findings", "mismatch",
// "implausible", "refused", "blanks", "empty"}, ...], "unknown": [...],
// "refusals": [{"path", "code", "reason"}, ...]}, UTF-8, one line.
QByteArray statusJson(const StatusReport &status);
// The same as a Chinese table for a terminal, with a closing summary line.
QString statusText(const StatusReport &status);

} // namespace centre
