// libFuzzer target for the statement parser and the expression evaluator:
// any text must give a parsed statement or a store::Error, and evaluating a
// parsed condition over a few rows must give a value or a store::Error;
// never a crash, a hang or a read outside a buffer.
#include "store/Error.h"
#include "store/Expr.h"
#include "store/Sql.h"

#include <QString>

#include <cstddef>
#include <cstdint>

using namespace store::expr;

namespace {

class FuzzRow : public Schema, public Row {
public:
    explicit FuzzRow(int variant) : m_variant(variant) {}
    int columnIndex(const QString &name) const override
    {
        static const char *const names[] = {"nd", "yydm", "cws_yy", "cws_zk", "blank", "ok", "born"};
        for (int i = 0; i < 7; ++i)
            if (name.compare(QLatin1String(names[i]), Qt::CaseInsensitive) == 0)
                return i;
        return -1;
    }
    QString tableName() const override { return QStringLiteral("result"); }
    Value column(int index) const override
    {
        switch (index) {
        case 0: return Value::string(m_variant ? QStringLiteral("20060106") : QStringLiteral("20020112"));
        case 1: return Value::string(QStringLiteral("A001  北京协和医院  "));
        case 2: return m_variant == 2 ? Value::null() : Value::num(120.5 * m_variant);
        case 3: return Value::num(-0.0);
        case 4: return Value::null();
        case 5: return Value::boolean(m_variant == 1);
        default: return Value::date(2452641 + m_variant);
        }
    }

private:
    int m_variant;
};

void evaluate(Expr e)
{
    for (int v = 0; v < 3; ++v) {
        FuzzRow row(v);
        try {
            e.bind(row);
            (void)e.evaluate(row);
            (void)e.test(row);
        } catch (const store::Error &) {
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        evaluate(Expr::parse(text));
    } catch (const store::Error &) {
    }
    try {
        const auto statement = store::sql::parse(text);
        if (!statement->where.isNull())
            evaluate(statement->where);
        for (const auto &a : statement->assignments)
            evaluate(a.value);
    } catch (const store::Error &) {
    }
    return 0;
}
