#pragma once
// What the centre checks every upload file against, read once from DataMeta/
// of a program directory: the project list (zbzkyy), the declaration template
// (sjsbb, its 62 columns) and the delivered check rules (tjjctjk), each rule
// parsed and bound once so that a run evaluates them straight on the records.
#include "centre/Error.h"
#include "store/DbfTable.h"
#include "store/Expr.h"

#include <QHash>
#include <QString>

#include <vector>

namespace centre {

struct Project {
    QString code;   // Xmh, trimmed
    QString name;   // yymcks, trimmed
};

struct Rule {
    QString condition;   // Cond, trimmed
    QString text;        // Cont, trimmed
    store::expr::Expr expr; // bound to the template's columns
};

class Reference {
public:
    // Reads programDir/DataMeta. Raises centre::Error naming the missing or
    // broken table, or the rule whose condition does not parse.
    static Reference load(const QString &programDir);

    const std::vector<Project> &projects() const { return m_projects; }  // list order
    const Project *project(const QString &code) const; // nullptr when not listed
    const std::vector<store::FieldDef> &templateFields() const { return m_fields; }
    const std::vector<Rule> &rules() const { return m_rules; }

private:
    std::vector<Project> m_projects;
    QHash<QString, int> m_byCode;
    std::vector<store::FieldDef> m_fields;
    std::vector<Rule> m_rules;
};

// The column title of an indicator in tables and exports: the item caption
// and the sub-item caption as one line, with its unit when the caption does
// not already carry it: "1.床位数(1)医院床位数", "7.平均每一门诊人次费用".
QString indicatorTitle(int indicator); // 0-based catalogue position

} // namespace centre
