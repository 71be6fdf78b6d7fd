#pragma once
// A chart of one indicator in one period across every project that sent a
// declaration: one bar per project, sorted by value, so that a reviewer sees
// at a glance where the chosen project stands. The chosen project's bar is
// drawn in its own colour; a line above the chart names its rank and the
// median.
#include <QString>
#include <QWidget>

#include <optional>
#include <vector>

class QChart;
class QChartView;
class QBarSet;
class QLabel;

namespace centregui {

struct ChartPoint {
    QString code;
    QString name;
    double value = 0;
};

class IndicatorChart : public QWidget {
    Q_OBJECT
public:
    explicit IndicatorChart(QWidget *parent = nullptr);

    // Shows the figures (blank figures left out by the caller) under the
    // given title; highlight is the code of the project to set apart (empty
    // for none, or one without a figure).
    void setData(const QString &title, std::vector<ChartPoint> points, const QString &highlight);
    void setHighlight(const QString &code);

    // What the chart shows, for the window's text and for a test: the codes
    // in bar order, and the bar of the highlighted project (-1 when none).
    const std::vector<ChartPoint> &bars() const { return m_points; }
    int highlightedBar() const { return m_highlighted; }
    QString titleText() const;
    QString noteText() const;
#ifdef PDECLARE_HAVE_CHARTS
    QChartView *view() const { return m_view; }
#endif

private:
    void rebuild();

    QLabel *m_note = nullptr;
#ifdef PDECLARE_HAVE_CHARTS
    QChartView *m_view = nullptr;
#else
    // Without Qt Charts (the Windows build): bars painted by a plain widget.
    QWidget *m_bars = nullptr;
#endif
    QString m_title;
    QString m_highlight;
    std::vector<ChartPoint> m_points;
    int m_highlighted = -1;
};

} // namespace centregui
