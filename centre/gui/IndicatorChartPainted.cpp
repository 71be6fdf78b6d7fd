// The indicator chart of a build without Qt Charts (Windows): the same bars,
// note and highlight as IndicatorChart.cpp, painted by a plain widget.
#include "centre/gui/IndicatorChart.h"

#include "centre/Export.h"

#include <QHelpEvent>
#include <QLabel>
#include <QPainter>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace centregui {

namespace {

QString T(const char *utf8) { return QString::fromUtf8(utf8); }

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Bars largest first, the chosen one in its own colour, a zero line, the
// title above and the range at the left.
class Bars : public QWidget {
public:
    Bars(const std::vector<ChartPoint> &points, const int &highlighted, const QString &title, QWidget *parent)
        : QWidget(parent), m_points(points), m_highlighted(highlighted), m_title(title)
    {
        setObjectName(QStringLiteral("chartView"));
        setMinimumHeight(160);
        setMouseTracking(true);
    }

protected:
    QRectF plot() const { return QRectF(56, 28, width() - 68, height() - 44); }

    int barAt(const QPointF &p) const
    {
        const QRectF r = plot();
        if (m_points.empty() || !r.contains(p))
            return -1;
        return std::clamp(int((p.x() - r.left()) / r.width() * double(m_points.size())), 0, int(m_points.size()) - 1);
    }

    bool event(QEvent *e) override
    {
        if (e->type() == QEvent::ToolTip) {
            auto *help = static_cast<QHelpEvent *>(e);
            const int i = barAt(help->pos());
            if (i >= 0) {
                const ChartPoint &p = m_points[size_t(i)];
                QToolTip::showText(help->globalPos(),
                                   T("第 %1 位：%2 %3\n%4").arg(i + 1).arg(p.code, p.name, centre::cellText(p.value)));
            } else {
                QToolTip::hideText();
            }
            return true;
        }
        return QWidget::event(e);
    }

    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.fillRect(rect(), Qt::white);
        QFont titleFont = font();
        titleFont.setBold(true);
        p.setFont(titleFont);
        p.drawText(QRectF(0, 4, width(), 20), Qt::AlignCenter, m_title);
        p.setFont(font());
        if (m_points.empty())
            return;
        double low = 0, high = 0;
        for (const ChartPoint &pt : m_points) {
            low = std::min(low, pt.value);
            high = std::max(high, pt.value);
        }
        if (high <= low)
            high = low + 1;
        const QRectF r = plot();
        auto yOf = [&](double v) { return r.bottom() - (v - low) / (high - low) * r.height(); };
        p.setPen(QColor(0x60, 0x60, 0x60));
        p.drawText(QRectF(0, r.top() - 8, 52, 16), Qt::AlignRight | Qt::AlignVCenter, centre::cellText(high));
        p.drawText(QRectF(0, r.bottom() - 8, 52, 16), Qt::AlignRight | Qt::AlignVCenter, centre::cellText(low));
        p.drawLine(QPointF(r.left(), r.top()), QPointF(r.left(), r.bottom()));
        const double zero = yOf(0);
        p.drawLine(QPointF(r.left(), zero), QPointF(r.right(), zero));
        const double step = r.width() / double(m_points.size());
        const double gap = m_points.size() > 100 ? 0 : step * 0.1;
        for (size_t i = 0; i < m_points.size(); ++i) {
            const bool chosen = int(i) == m_highlighted;
            const double y = yOf(m_points[i].value);
            const QRectF bar(r.left() + step * double(i) + gap, std::min(y, zero), std::max(step - 2 * gap, 1.0),
                             std::abs(zero - y));
            p.fillRect(bar, chosen ? QColor(0xc0, 0x39, 0x2b) : QColor(0x8f, 0xa6, 0xbd));
        }
    }

private:
    const std::vector<ChartPoint> &m_points;
    const int &m_highlighted;
    const QString &m_title;
};

} // namespace

IndicatorChart::IndicatorChart(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("chartIndicator"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("lblChartNote"));
    m_note->setWordWrap(true);
    m_note->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_note);
    m_bars = new Bars(m_points, m_highlighted, m_title, this);
    layout->addWidget(m_bars, 1);
    rebuild();
}

void IndicatorChart::setData(const QString &title, std::vector<ChartPoint> points, const QString &highlight)
{
    m_title = title;
    m_points = std::move(points);
    std::stable_sort(m_points.begin(), m_points.end(),
                     [](const ChartPoint &a, const ChartPoint &b) { return a.value > b.value; });
    m_highlight = highlight;
    rebuild();
}

void IndicatorChart::setHighlight(const QString &code)
{
    if (code == m_highlight)
        return;
    m_highlight = code;
    rebuild();
}

QString IndicatorChart::titleText() const { return m_title; }
QString IndicatorChart::noteText() const { return m_note->text(); }

void IndicatorChart::rebuild()
{
    m_highlighted = -1;
    for (size_t i = 0; i < m_points.size(); ++i)
        if (!m_highlight.isEmpty() && m_points[i].code == m_highlight)
            m_highlighted = int(i);
    m_bars->update();
    if (m_points.empty()) {
        m_note->setText(m_title.isEmpty() ? T("尚无数据：请先打开数据库并收集上报文件。")
                                          : T("没有项目填报此项。"));
        return;
    }
    std::vector<double> values;
    for (const ChartPoint &p : m_points)
        values.push_back(p.value);
    const ChartPoint *chosen = m_highlighted >= 0 ? &m_points[size_t(m_highlighted)] : nullptr;
    QString note = T("%1 个项目按数值从大到小排列，中位数 %2")
                       .arg(m_points.size())
                       .arg(centre::cellText(std::round(median(values) * 100) / 100));
    if (chosen)
        note += T("；%1 %2 第 %3 位，数值 %4")
                    .arg(chosen->code, chosen->name)
                    .arg(m_highlighted + 1)
                    .arg(centre::cellText(chosen->value));
    else if (!m_highlight.isEmpty())
        note += T("；%1 未填报此项").arg(m_highlight);
    m_note->setText(note + T("。"));
}

} // namespace centregui
