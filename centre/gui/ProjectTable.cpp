#include "centre/gui/ProjectTable.h"

#include <QBrush>
#include <QColor>

namespace centregui {

namespace {
QString T(const char *utf8) { return QString::fromUtf8(utf8); }
} // namespace

ProjectStatusModel::ProjectStatusModel(QObject *parent) : QAbstractTableModel(parent) {}

void ProjectStatusModel::setProjects(std::vector<centre::ProjectStatus> projects)
{
    beginResetModel();
    m_projects = std::move(projects);
    endResetModel();
}

int ProjectStatusModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_projects.size());
}

int ProjectStatusModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant ProjectStatusModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_projects.size()))
        return {};
    const centre::ProjectStatus &p = m_projects[size_t(index.row())];
    const int column = index.column();
    if (role == Qt::DisplayRole) {
        switch (column) {
        case Code: return p.code;
        case Name: return p.name;
        case Sent: return p.refusedLast ? T("拒收") : !p.sent ? T("未报送") : p.empty ? T("空表") : T("已报送");
        case Findings: return p.sent ? QVariant(p.findings) : QVariant();
        case Mismatch: return p.mismatch ? T("不符") : QString();
        case Implausible: return p.sent ? QVariant(p.implausible) : QVariant();
        case FileName: return p.fileName;
        }
    } else if (role == Qt::UserRole) {
        switch (column) {
        case Code: return p.code;
        case Name: return p.name;
        case Sent: return int(p.sent);
        case Findings: return p.sent ? p.findings : -1;
        case Mismatch: return int(p.mismatch);
        case Implausible: return p.sent ? p.implausible : -1;
        case FileName: return p.fileName;
        }
    } else if (role == Qt::ForegroundRole) {
        if (!p.sent)
            return QBrush(QColor(0x5c, 0x66, 0x70));
        if ((column == Findings && p.findings > 0) || (column == Mismatch && p.mismatch)
            || (column == Implausible && p.implausible > 0))
            return QBrush(QColor(0xa6, 0x1b, 0x1b));
    } else if (role == Qt::TextAlignmentRole) {
        if (column == Findings || column == Implausible)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        if (column == Sent || column == Mismatch)
            return int(Qt::AlignCenter);
    }
    return {};
}

QVariant ProjectStatusModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char *const titles[ColumnCount] = {"项目编码", "项目名称", "状态", "审核发现",
                                                    "标记不符", "异常数值", "上报文件"};
    return section >= 0 && section < ColumnCount ? T(titles[section]) : QVariant();
}

QStringList ProjectFilter::showTexts()
{
    return {T("全部项目"), T("未报送"), T("已报送"), T("有审核发现"), T("标记不符"), T("有异常数值")};
}

ProjectFilter::ProjectFilter(QObject *parent) : QSortFilterProxyModel(parent)
{
    setSortRole(Qt::UserRole);
    setSortLocaleAware(true);
}

void ProjectFilter::setSearchText(const QString &text)
{
    m_text = text.trimmed();
    invalidateFilter();
}

void ProjectFilter::setShow(Show show)
{
    m_show = show;
    invalidateFilter();
}

bool ProjectFilter::filterAcceptsRow(int sourceRow, const QModelIndex &) const
{
    const auto *model = qobject_cast<const ProjectStatusModel *>(sourceModel());
    if (!model || sourceRow >= int(model->projects().size()))
        return false;
    const centre::ProjectStatus &p = model->projects()[size_t(sourceRow)];
    if (!m_text.isEmpty() && !p.code.contains(m_text, Qt::CaseInsensitive)
        && !p.name.contains(m_text, Qt::CaseInsensitive))
        return false;
    switch (m_show) {
    case Show::All: return true;
    case Show::Missing: return !p.sent;
    case Show::Sent: return p.sent;
    case Show::Findings: return p.findings > 0;
    case Show::Mismatch: return p.mismatch;
    case Show::Implausible: return p.implausible > 0;
    }
    return true;
}

} // namespace centregui
