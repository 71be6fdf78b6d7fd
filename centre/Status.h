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

// Implausible figures. Across projects: for each indicator and period over
// all current declarations, the modified z-score 0.6745 (x - median) / MAD
// (Iglewicz and Hoaglin), flagged when |z| > zThreshold; when MAD is 0 the
// mean absolute deviation stands in (z = (x - median) / (1.253314 MeanAD)),
// and when that is 0 too every figure equals the median and nothing is
// flagged. Within a project: consecutive periods whose figures differ by more
// than changeFactor times, ignoring zeros and pairs where both figures are
// below minChangeValue.
struct ImplausibleOptions {
    double zThreshold = 3.5;
    double changeFactor = 5.0;
    double minChangeValue = 10.0;
    int minProjects = 5;          // fewer figures than this: no z-scores
};

struct ImplausibleFlag {
    enum class Kind { Outlier, Jump };
    Kind kind = Kind::Outlier;
    QString code;         // project
    QString name;         // project name from the list (the code's yydm when unlisted)
    int indicator = 0;    // 0-based catalogue position
    QString caption;      // indicatorTitle()
    QString field;        // "cws_yy"
    int period = 0;       // 1..5
    QString periodLabel;  // "2002年" ... "2006上半年"
    double value = 0;
    double reference = 0; // Outlier: the median; Jump: the previous period's figure
    double score = 0;     // Outlier: modified z; Jump: the factor
    QString explanation;  // "中位数 120，修正Z分数 5.2" / "上期（2003年）12，变化 8.3 倍"
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
};

struct StatusReport {
    int files = 0;                        // stored files, current and history
    std::vector<ProjectStatus> projects;  // the list's order
    QStringList unknown;                  // codes not in the list
    std::vector<ImplausibleFlag> implausible;
    int sentCount() const;
};

StatusReport computeStatus(Database &db, const Reference &reference, const ImplausibleOptions &options = {});
// Same, over declarations already read (the window keeps them).
StatusReport computeStatus(const std::vector<Declaration> &declarations, int files, const QStringList &unknown,
                           const Reference &reference, const ImplausibleOptions &options = {});

// {"files": N, "projects": [{"code", "name", "sent", "findings", "mismatch",
// "implausible"}, ...], "unknown": [...]}, UTF-8, one line.
QByteArray statusJson(const StatusReport &status);
// The same as a Chinese table for a terminal, with a closing summary line.
QString statusText(const StatusReport &status);

} // namespace centre
