#include "centre/gui/IndicatorChart.h"

#include "centre/Export.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QCursor>
#include <QLabel>
#include <QStackedBarSeries>
#include <QToolTip>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace centregui {

namespace {

QString T(const char *utf8) { return QString::fromUtf8(utf8); }

// Bars are labelled with their codes only while the labels stay readable.
constexpr int kMaxLabelledBars = 40;

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

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
    m_view = new QChartView(new QChart, this);
    m_view->setObjectName(QStringLiteral("chartView"));
    m_view->setRenderHint(QPainter::Antialiasing);
    m_view->chart()->legend()->setAlignment(Qt::AlignBottom);
    m_view->chart()->setAnimationOptions(QChart::NoAnimation);
    layout->addWidget(m_view);
    rebuild();
}

void IndicatorChart::setData(const QString &title, std::vector<ChartPoint> points, const QString &highlight)
{
    m_title = title;
    m_points = std::move(points);
    // Largest first: the rank of a bar is its position.
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

QString IndicatorChart::titleText() const { return m_view->chart()->title(); }
QString IndicatorChart::noteText() const { return m_note->text(); }

void IndicatorChart::rebuild()
{
    QChart *chart = m_view->chart();
    chart->removeAllSeries();
    // The chart gives up an axis it removes: it is deleted here, or every
    // rebuild (each change of the chosen project) would leak two axes.
    for (QAbstractAxis *axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }

    m_highlighted = -1;
    for (size_t i = 0; i < m_points.size(); ++i)
        if (!m_highlight.isEmpty() && m_points[i].code == m_highlight)
            m_highlighted = int(i);

    chart->setTitle(m_title);
    if (m_points.empty()) {
        m_note->setText(m_title.isEmpty() ? T("尚无数据：请先打开数据库并收集上报文件。")
                                          : T("没有项目填报此项。"));
        return;
    }

    // Two stacked sets: every other project, and the chosen one alone, so
    // that its bar stands in its place in its own colour.
    auto *others = new QBarSet(T("其他项目"));
    others->setColor(QColor(0x8f, 0xa6, 0xbd));
    others->setBorderColor(QColor(0x8f, 0xa6, 0xbd));
    const ChartPoint *chosen = m_highlighted >= 0 ? &m_points[size_t(m_highlighted)] : nullptr;
    auto *selected = new QBarSet(chosen ? chosen->code + QLatin1Char(' ') + chosen->name : T("所选项目"));
    selected->setColor(QColor(0xc0, 0x39, 0x2b));
    selected->setBorderColor(QColor(0x8e, 0x24, 0x1a));

    QStringList categories;
    std::vector<double> values;
    double low = 0, high = 0;
    for (size_t i = 0; i < m_points.size(); ++i) {
        const double v = m_points[i].value;
        const bool isChosen = int(i) == m_highlighted;
        *others << (isChosen ? 0.0 : v);
        *selected << (isChosen ? v : 0.0);
        categories << m_points[i].code;
        values.push_back(v);
        low = std::min(low, v);
        high = std::max(high, v);
    }

    auto *series = new QStackedBarSeries;
    series->setBarWidth(m_points.size() > 100 ? 1.0 : 0.8);
    series->append(others);
    series->append(selected);
    chart->addSeries(series);
    auto showTip = [this](bool on, int index) {
        if (on && index >= 0 && size_t(index) < m_points.size()) {
            const ChartPoint &p = m_points[size_t(index)];
            QToolTip::showText(QCursor::pos(), T("第 %1 位：%2 %3\n%4")
                                                   .arg(index + 1)
                                                   .arg(p.code, p.name, centre::cellText(p.value)));
        } else {
            QToolTip::hideText();
        }
    };
    connect(others, &QBarSet::hovered, this, showTip);
    connect(selected, &QBarSet::hovered, this, showTip);

    auto *x = new QBarCategoryAxis;
    x->append(categories);
    x->setLabelsVisible(m_points.size() <= kMaxLabelledBars);
    x->setLabelsAngle(-90);
    x->setGridLineVisible(false);
    chart->addAxis(x, Qt::AlignBottom);
    series->attachAxis(x);
    auto *y = new QValueAxis;
    y->setRange(low, high > low ? high : low + 1);
    y->applyNiceNumbers();
    y->setLabelFormat(QStringLiteral("%.10g"));
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(y);

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
    chart->legend()->setVisible(chosen != nullptr);
}

} // namespace centregui
