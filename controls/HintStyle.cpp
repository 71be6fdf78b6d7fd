#include "controls/HintStyle.h"

#include <QApplication>
#include <QColor>
#include <QCursor>
#include <QEnterEvent>
#include <QHelpEvent>
#include <QPalette>
#include <QPointer>
#include <QTimer>
#include <QToolTip>
#include <QWidget>

namespace ui::hintstyle {

namespace {

// Watches every widget of the application: on entering one that carries a
// tooltip it shows the tooltip at once (or after the short pause when
// another one is up), and it swallows Qt's own delayed tooltip request for
// such widgets so that the long display time is not cut short.
class HintFilter : public QObject {
public:
    explicit HintFilter(QObject *parent) : QObject(parent)
    {
        m_timer.setSingleShot(true);
        m_timer.setInterval(kShortPauseMs);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (m_pending && m_pending->isVisible() && m_pending->underMouse())
                showFor(m_pending, QCursor::pos());
            m_pending = nullptr;
        });
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::Enter: {
            QWidget *w = hinted(watched);
            if (!w)
                break;
            const QPoint pos = static_cast<QEnterEvent *>(event)->globalPosition().toPoint();
            if (QToolTip::isVisible() && m_shown && m_shown != w) {
                m_pending = w;
                m_timer.start();
            } else {
                showFor(w, pos);
            }
            break;
        }
        case QEvent::Leave:
            if (watched == m_pending) {
                m_timer.stop();
                m_pending = nullptr;
            }
            break;
        case QEvent::ToolTip:
            if (QWidget *w = hinted(watched)) {
                if (!(QToolTip::isVisible() && m_shown == w && QToolTip::text() == w->toolTip()))
                    showFor(w, static_cast<QHelpEvent *>(event)->globalPos());
                return true;
            }
            break;
        default:
            break;
        }
        return false;
    }

private:
    static QWidget *hinted(QObject *o)
    {
        if (!o->isWidgetType())
            return nullptr;
        auto *w = static_cast<QWidget *>(o);
        return w->toolTip().isEmpty() ? nullptr : w;
    }

    void showFor(QWidget *w, const QPoint &globalPos)
    {
        m_shown = w;
        QToolTip::showText(globalPos, w->toolTip(), w, QRect(), kHidePauseMs);
    }

    QTimer m_timer;
    QPointer<QWidget> m_pending;
    QPointer<QWidget> m_shown;
};

HintFilter *&instance()
{
    static HintFilter *filter = nullptr;
    return filter;
}

} // namespace

void activate()
{
    if (instance() || !qApp)
        return;
    QPalette palette = QToolTip::palette();
    palette.setColor(QPalette::ToolTipBase, QColor(255, 255, 0));
    palette.setColor(QPalette::ToolTipText, QColor(0, 0, 0));
    QToolTip::setPalette(palette);
    instance() = new HintFilter(qApp);
    qApp->installEventFilter(instance());
}

bool isActive() { return instance() != nullptr; }

} // namespace ui::hintstyle
