#include "centre/Reference.h"

#include "store/Catalogue.h"
#include "store/SqlTable.h"

#include <QDir>

namespace centre {

Reference Reference::load(const QString &programDir)
{
    const QString dir = QDir(programDir).filePath(QStringLiteral("DataMeta"));
    Reference ref;
    const auto open = [&](const char *name) {
        try {
            QString path;
            return store::sql::openTable(dir, QString::fromLatin1(name), &path);
        } catch (const store::Error &e) {
            throw Error(e, QStringLiteral("无法读取程序目录的参考表：%1").arg(e.message()));
        }
    };

    const store::DbfTable projects = open("zbzkyy");
    const int code = projects.fieldIndex(QStringLiteral("Xmh"));
    const int name = projects.fieldIndex(QStringLiteral("yymcks"));
    if (code < 0 || name < 0)
        throw Error(store::ErrorKind::CorruptFile, QStringLiteral("项目列表 zbzkyy 缺少 Xmh 或 yymcks 列。"));
    for (quint32 r = 0; r < projects.recordCount(); ++r) {
        if (projects.isDeleted(r))
            continue;
        Project p{projects.value(r, code).toString().trimmed(), projects.value(r, name).toString().trimmed()};
        if (p.code.isEmpty() || ref.m_byCode.contains(p.code))
            continue;
        ref.m_byCode.insert(p.code, int(ref.m_projects.size()));
        ref.m_projects.push_back(std::move(p));
    }
    if (ref.m_projects.empty())
        throw Error(store::ErrorKind::CorruptFile, QStringLiteral("项目列表 zbzkyy 中没有项目。"));

    const store::DbfTable templ = open("sjsbb");
    ref.m_fields = templ.fields();

    const store::DbfTable rules = open("tjjctjk");
    const int cond = rules.fieldIndex(QStringLiteral("Cond"));
    const int cont = rules.fieldIndex(QStringLiteral("Cont"));
    if (cond < 0 || cont < 0)
        throw Error(store::ErrorKind::CorruptFile, QStringLiteral("规则表 tjjctjk 缺少 Cond 或 Cont 列。"));
    const store::sql::TableSchema schema(templ, QStringLiteral("result"));
    int number = 0;
    for (quint32 r = 0; r < rules.recordCount(); ++r) {
        if (rules.isDeleted(r))
            continue;
        ++number;
        Rule rule;
        rule.condition = rules.value(r, cond).toString().trimmed();
        rule.text = rules.value(r, cont).toString().trimmed();
        try {
            if (rule.condition.isEmpty())
                throw store::Error(store::ErrorKind::Syntax, QStringLiteral("条件为空"));
            rule.expr = store::expr::Expr::parse(rule.condition);
            rule.expr.bind(schema);
        } catch (const store::Error &e) {
            throw Error(e, QStringLiteral("规则表 tjjctjk 第 %1 条规则无法使用：%2").arg(number).arg(e.message()));
        }
        ref.m_rules.push_back(std::move(rule));
    }
    return ref;
}

const Project *Reference::project(const QString &code) const
{
    const auto it = m_byCode.constFind(code);
    return it == m_byCode.constEnd() ? nullptr : &m_projects[std::size_t(*it)];
}

QString indicatorTitle(int indicator)
{
    namespace cat = store::catalogue;
    const cat::Indicator &ind = cat::indicators().at(std::size_t(indicator));
    const cat::Item &item = cat::itemOf(ind);
    const auto oneLine = [](QString s) {
        s.remove(QLatin1Char('\r'));
        s.remove(QLatin1Char('\n'));
        s.remove(QLatin1Char(' '));
        return s;
    };
    QString title = oneLine(item.caption);
    if (item.hasSubItems())
        title += oneLine(ind.subCaption);
    if (!ind.unit.isEmpty() && !title.contains(ind.unit))
        title += QStringLiteral("（%1）").arg(ind.unit);
    return title;
}

} // namespace centre
