#include "entry/RulePrompts.h"

#include "store/Format.h"
#include "store/UDeclareFunction.h"

#include <vector>

namespace cat = store::catalogue;

namespace entry {

Prompts RulePrompts::afterExit(const cat::Indicator &indicator, const cat::Period &period, const FigureOf &figureOf)
{
    const QString &f = indicator.field;
    // An empty figure is below every number and equal to another empty one.
    auto greater = [](const QVariant &a, const QVariant &b) {
        if (!a.isValid())
            return false;
        if (!b.isValid())
            return true;
        return a.toDouble() > b.toDouble();
    };

    m_rules.close();
    m_rules.clearSql();
    m_rules.setSql(QStringLiteral("select * from tjjctjk where cond like '%") + f + QStringLiteral("%' "));
    m_rules.open();
    const QVariant own = figureOf(indicator);
    const QString cond = QStringLiteral("cond");
    // Rows of the rules broken, in the table's order; their texts are read
    // only for these, once the conditions have all been looked at.
    std::vector<int> broken;
    for (int row = 0, rows = m_rules.recordCount(); row < rows; ++row) {
        const QString c = m_rules.value(row, cond).toString().trimmed();
        // What follows the field and its operator character.
        const int tailLength = int(c.size()) - int(f.size()) - 1;
        double number = 0;
        if (tailLength >= 0 && UDeclareFunction::IsNumber(c.right(tailLength), &number)) {
            if (greater(own, QVariant(number)))
                broken.push_back(row);
            continue;
        }
        const int p = c.indexOf(QLatin1Char('>'));
        if (p < 0)
            continue;
        const int a = cat::indicatorIndex(c.left(p));
        const int b = a >= 0 ? cat::indicatorIndex(c.mid(p + 1)) : -1;
        if (a >= 0 && b >= 0
            && greater(figureOf(cat::indicators()[std::size_t(a)]), figureOf(cat::indicators()[std::size_t(b)])))
            broken.push_back(row);
    }

    Prompts prompts;
    for (int row : broken)
        prompts.rules << m_rules.value(row, QStringLiteral("Cont")).toString().trimmed();
    for (const QString &text : prompts.rules)
        prompts.messages << period.label + QStringLiteral("  ") + text;
    if (!prompts.rules.isEmpty())
        prompts.mark = period.label + QStringLiteral("：") + prompts.rules.join(QLatin1Char('\n'));
    return prompts;
}

QString RulePrompts::clamped(const cat::Period &period, const QString &typed, double limit)
{
    return period.label + QStringLiteral("  输入的数 %1 超过上限，已按 %2 记录。").arg(typed, store::formatNumber(limit));
}

} // namespace entry
