#pragma once
// The window objects the check run works on, made findable by name the way
// the windows name them: a query object ("AQry_Temp", ...) held as a child
// QObject of its window, and a status bar ("StatusBar1") of fixed-width
// text panels.
#include "store/Query.h"

#include <QObject>
#include <QStatusBar>
#include <QString>

#include <vector>

class QLabel;
class QWidget;

namespace check {

// A store::Query owned by a window and found by its object name.
class QueryObject : public QObject {
    Q_OBJECT
public:
    // Names the object and its query, and connects it to a directory below
    // the program directory ("Result" or "DataMeta").
    QueryObject(QObject *owner, const QString &name, const QString &subdir);
    store::Query &query() { return m_query; }

    // The query object of that name on a window; nullptr when none.
    static store::Query *find(QObject *window, const QString &name);

private:
    store::Query m_query;
};

// A status bar of text panels with fixed pixel widths.
class PanelStatusBar : public QStatusBar {
    Q_OBJECT
public:
    PanelStatusBar(QWidget *owner, const std::vector<int> &panelWidths);
    int panelCount() const { return int(m_panels.size()); }
    QString panelText(int panel) const;
    void setPanelText(int panel, const QString &text);
    QLabel *panel(int index) const;

private:
    std::vector<QLabel *> m_panels;
};

} // namespace check
