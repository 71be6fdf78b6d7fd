#pragma once
// Tables and read-backs shared by the entry window and picker tests.
#include "controls/MessageBox.h"
#include "entry/UnitInData.h"
#include "entry/UnitZk.h"
#include "store/DbfTable.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QTest>
#include <QString>
#include <QPointer>
#include <QVariant>

#include <utility>
#include <vector>

namespace entrytest {

// A shown, active entry window over the program directory in use.
inline TfrmInData *openEntryWindow()
{
    auto *w = new TfrmInData(nullptr);
    w->show();
    w->activateWindow();
    if (!QTest::qWaitForWindowActive(w))
        qWarning("entry window did not become active");
    return w;
}

// The message box on screen, modal or not.
inline QMessageBox *shownBox()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
            return box;
    return nullptr;
}

inline QString focusName()
{
    QWidget *w = QApplication::focusWidget();
    return w ? w->objectName() : QString();
}

// Deletes any entry or picker window a failed case left behind.
inline void deleteLeftoverWindows()
{
    ui::MessageBox::setTestMode(true);
    QList<QPointer<QWidget>> left;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (qobject_cast<TfrmInData *>(w) || qobject_cast<TfrmYymc *>(w))
            left << w;
    for (const QPointer<QWidget> &w : left)
        delete w.data();
}

inline store::FieldDef textField(const char *name, int length)
{
    return store::FieldDef::make(QString::fromLatin1(name), 'C', length);
}

// DataMeta/tjjctjk.dbf holding exactly these (cond, text) rules, in order.
inline void writeRules(const testsupport::TempProgramDir &dir, const std::vector<std::pair<QString, QString>> &rules)
{
    std::vector<std::vector<QVariant>> rows;
    for (const auto &r : rules)
        rows.push_back({r.first, r.second});
    store::DbfTable::create(dir.file(QStringLiteral("DataMeta/tjjctjk.dbf")),
                            {textField("Cond", 254), textField("Cont", 254)}, rows);
}

struct Project {
    QString xmh, yymcks, ybm;
};
inline void writeProjects(const testsupport::TempProgramDir &dir, const std::vector<Project> &projects)
{
    std::vector<std::vector<QVariant>> rows;
    for (const auto &p : projects)
        rows.push_back({p.xmh, p.yymcks, p.ybm});
    store::DbfTable::create(dir.file(QStringLiteral("DataMeta/zbzkyy.dbf")),
                            {textField("Xmh", 10), textField("yymcks", 80), textField("ybm", 20)}, rows);
}

// Result/result.dbf with the template's columns and the given rows; each row
// names its nd and a few (field, value) pairs, everything else blank.
struct Row {
    QString nd;
    QString yydm;
    std::vector<std::pair<QString, double>> figures;
};
inline void writeResult(const testsupport::TempProgramDir &dir, const std::vector<Row> &rows)
{
    const store::DbfTable tmpl = store::DbfTable::load(dir.file(QStringLiteral("DataMeta/sjsbb.dbf")));
    std::vector<std::vector<QVariant>> out;
    for (const Row &r : rows) {
        std::vector<QVariant> values(tmpl.fields().size());
        values[std::size_t(tmpl.fieldIndex(QStringLiteral("nd")))] = r.nd;
        values[std::size_t(tmpl.fieldIndex(QStringLiteral("yydm")))] = r.yydm;
        for (const auto &f : r.figures)
            values[std::size_t(tmpl.fieldIndex(f.first))] = f.second;
        out.push_back(values);
    }
    store::DbfTable::create(dir.file(QStringLiteral("Result/result.dbf")), tmpl.fields(), out);
}

// The rows of a table as python3-dbf reads them: one object per record,
// texts with trailing blanks removed, blank numbers as null.
inline QJsonArray pythonRows(const QString &path)
{
    const QString script = QStringLiteral(
                               "import dbf, json\n"
                               "t = dbf.Table(%1)\n"
                               "t.open(dbf.READ_ONLY)\n"
                               "rows = []\n"
                               "for r in t:\n"
                               "    o = {}\n"
                               "    for f in t.field_names:\n"
                               "        v = r[f]\n"
                               "        o[f] = v.rstrip() if isinstance(v, str) else (None if v is None else float(v))\n"
                               "    rows.append(o)\n"
                               "print(json.dumps(rows, ensure_ascii=False))\n")
                               .arg(QStringLiteral("'") + path + QStringLiteral("'"));
    const testsupport::ProcessResult r = testsupport::python(script);
    if (r.exitCode != 0)
        return QJsonArray{QJsonValue(QString::fromUtf8(r.err))};
    return QJsonDocument::fromJson(r.out).array();
}

} // namespace entrytest
