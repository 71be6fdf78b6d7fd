#include "check/CheckObjects.h"

#include "store/Paths.h"

#include <QLabel>

namespace check {

QueryObject::QueryObject(QObject *owner, const QString &name, const QString &subdir) : QObject(owner), m_query(name)
{
    setObjectName(name);
    m_query.setDirectory(store::paths::tableDir(subdir));
}

store::Query *QueryObject::find(QObject *window, const QString &name)
{
    if (!window)
        return nullptr;
    // Object names are matched ignoring case, as every look-up by name is.
    const auto objects = window->findChildren<QueryObject *>();
    for (QueryObject *object : objects)
        if (object->objectName().compare(name, Qt::CaseInsensitive) == 0)
            return &object->query();
    return nullptr;
}

PanelStatusBar::PanelStatusBar(QWidget *owner, const std::vector<int> &panelWidths) : QStatusBar(owner)
{
    setSizeGripEnabled(false);
    for (std::size_t i = 0; i < panelWidths.size(); ++i) {
        auto *label = new QLabel(this);
        label->setObjectName(QStringLiteral("Panel%1").arg(i));
        label->setFixedWidth(panelWidths[i]);
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        label->setTextFormat(Qt::PlainText);
        addWidget(label);
        m_panels.push_back(label);
    }
}

QString PanelStatusBar::panelText(int panel) const
{
    return panel >= 0 && panel < panelCount() ? m_panels[std::size_t(panel)]->text() : QString();
}

void PanelStatusBar::setPanelText(int panel, const QString &text)
{
    if (panel >= 0 && panel < panelCount())
        m_panels[std::size_t(panel)]->setText(text);
}

QLabel *PanelStatusBar::panel(int index) const
{
    return index >= 0 && index < panelCount() ? m_panels[std::size_t(index)] : nullptr;
}

} // namespace check
