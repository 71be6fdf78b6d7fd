#pragma once
// The window's table of every project of the list with its status, and the
// filter behind the search box: a project shows when its code or its name
// contains the text typed (letter case ignored) and it passes the chosen
// status filter.
#include "centre/Status.h"

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>

#include <vector>

namespace centregui {

class ProjectStatusModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Code, Name, Sent, Findings, Mismatch, Implausible, FileName, ColumnCount };

    explicit ProjectStatusModel(QObject *parent = nullptr);
    void setProjects(std::vector<centre::ProjectStatus> projects);
    const std::vector<centre::ProjectStatus> &projects() const { return m_projects; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    // DisplayRole: the text shown; Qt::UserRole: the value sorted by.
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::vector<centre::ProjectStatus> m_projects;
};

class ProjectFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    // The status filter's choices, in the order of its drop-down list.
    enum class Show { All, Missing, Sent, Findings, Mismatch, Implausible };
    static QStringList showTexts();

    explicit ProjectFilter(QObject *parent = nullptr);
    void setSearchText(const QString &text);
    void setShow(Show show);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    QString m_text;
    Show m_show = Show::All;
};

} // namespace centregui
