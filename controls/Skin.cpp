#include "controls/Skin.h"

#include "store/Paths.h"

#include <QApplication>
#include <QFile>
#include <QFont>
#include <QIconEngine>
#include <QImageReader>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleOption>
#include <QWidget>

#include <future>

namespace ui {

namespace {

// A standard icon of a style, asked of that style the first time the icon
// is drawn or measured.
class DeferredStandardIcon : public QIconEngine {
public:
    DeferredStandardIcon(QStyle *style, QStyle::StandardPixmap which, Qt::LayoutDirection direction)
        : m_style(style), m_which(which), m_direction(direction)
    {
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().actualSize(size, mode, state);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        return icon().pixmap(size, scale, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return icon().availableSizes(mode, state);
    }
    bool isNull() override { return m_loaded ? m_icon.isNull() : !m_style; }
    QIconEngine *clone() const override { return new DeferredStandardIcon(*this); }

private:
    QIcon &icon()
    {
        if (!m_loaded && m_style) {
            QStyleOption option;
            option.direction = m_direction;
            m_icon = m_style->standardIcon(m_which, &option);
        }
        m_loaded = true;
        return m_icon;
    }

    QPointer<QStyle> m_style;
    QStyle::StandardPixmap m_which;
    Qt::LayoutDirection m_direction;
    bool m_loaded = false;
    QIcon m_icon;
};

class Style : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    QIcon standardIcon(StandardPixmap which, const QStyleOption *option, const QWidget *widget) const override
    {
        if (which != SP_ToolBarHorizontalExtensionButton && which != SP_ToolBarVerticalExtensionButton)
            return QProxyStyle::standardIcon(which, option, widget);
        const Qt::LayoutDirection direction =
            option ? option->direction : widget ? widget->layoutDirection() : QGuiApplication::layoutDirection();
        return QIcon(new DeferredStandardIcon(baseStyle(), which, direction));
    }
};

// The style sheet applied last, so that a later call without a skin file
// takes only this program's own skin away again.
QString &appliedSkin()
{
    static QString sheet;
    return sheet;
}
} // namespace

bool applySkin()
{
    auto *application = qobject_cast<QApplication *>(QCoreApplication::instance());
    if (!application)
        return false;
    QFile file(store::paths::skinFile());
    if (!file.open(QIODevice::ReadOnly)) {
        if (!appliedSkin().isEmpty() && application->styleSheet() == appliedSkin())
            application->setStyleSheet(QString());
        appliedSkin().clear();
        return false;
    }
    appliedSkin() = QString::fromUtf8(file.readAll());
    application->setStyleSheet(appliedSkin());
    return true;
}

void installStyle()
{
    if (!qobject_cast<QProxyStyle *>(QApplication::style()))
        QApplication::setStyle(new Style(QApplication::style()));
}

void loadImageFormatsInBackground()
{
    static std::future<void> loading;
    if (!loading.valid())
        loading = std::async(std::launch::async, [] { QImageReader::supportedImageFormats(); });
}

void installDefaultFont()
{
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("MS Sans Serif")});
    QApplication::setFont(font);
}

} // namespace ui
