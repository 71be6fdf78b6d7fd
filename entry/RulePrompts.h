#pragma once
// The rule prompts of the entry window, without the window: which rules of
// tjjctjk the figure of one indicator in one period breaks when its edit is
// left, and the texts the window shows for them. The rules are read afresh
// from the table at every exit, so a rule changed meanwhile counts at once.
//
// A rule's cond (blanks at both ends removed) is read in two shapes:
//   field, one operator character, a number: broken when the figure is
//     greater than the number (the operator is not looked at);
//   field A ">" field B, both indicators: broken when A's figure is greater
//     than B's, both in the period being left.
// An empty figure is below every number and equal to another empty one.
// Any other shape gives no prompt. The rules asked are those whose cond is
// like '%field%' (so "_" in a field name matches any one character).
#include "store/Catalogue.h"
#include "store/Query.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>

namespace entry {

// The figure shown for an indicator in the period being left: null when
// its edit is empty.
using FigureOf = std::function<QVariant(const store::catalogue::Indicator &)>;

struct Prompts {
    QStringList rules;    // texts of the broken rules, trimmed, in the table's order
    QStringList messages; // one prompt per broken rule: period label, two blanks, text
    // What the edit keeps in sight until its figure changes: the period
    // label, "：" and the rules one a line; empty when no rule is broken.
    QString mark;
};

class RulePrompts {
public:
    // Reads the rules through `rules`, a query object on the DataMeta folder;
    // its statement is left as the last exit ran it.
    explicit RulePrompts(store::Query &rules) : m_rules(rules) {}

    // The rules broken by leaving `indicator` in `period`. Failures of the
    // rules table raise store::Error.
    Prompts afterExit(const store::catalogue::Indicator &indicator, const store::catalogue::Period &period,
                      const FigureOf &figureOf);

    // The prompt for a figure typed beyond the limit and brought to it.
    static QString clamped(const store::catalogue::Period &period, const QString &typed, double limit);

private:
    store::Query &m_rules;
};

} // namespace entry
