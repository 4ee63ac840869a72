// Trend strips: the charts of the trends window, one strip per ticked value.
//
// Principles of operation
//   The strips (CTrendStrip, one Qt Charts chart each) are stacked top to
//   bottom in the order of the value list and share one time axis, whose
//   clock-time labels stand under the lowest strip. Each strip has a scale
//   of its own, widened to round ticks (NiceValueScale), so a value near 720
//   and one near 13 both fill their strips. Values are drawn as the line
//   carries them: no units, no scaling.
//
//   SetData takes the series, the ticked rows and the time window; it
//   decimates each ticked value to the strips' pixel columns (at most four
//   points a column), gives each strip its points, its scale and the round
//   times, and lays the strips out: Qt Charts sizes each strip's title and
//   labels, and each chart is padded so that all plots have one height and
//   start and end at the same pixel columns, lined up on the time axis. A
//   resize does the same at the new size. Strips() and Ticks() read back
//   what the charts hold, so the layout can be checked without pixels.
//
// Threads: user-interface thread only.
#pragma once

#include <QList>
#include <QPointF>
#include <QRect>
#include <QWidget>

#include <vector>

#include "diagnostics/TrendScale.h"
#include "diagnostics/TrendSeries.h"

class CTrendStrip;
class QLabel;

class CTrendStrips : public QWidget {
public:
    // The smallest plot a strip keeps; below it the strips scroll.
    static constexpr int kMinPlotHeight = 36;

    struct Strip {
        int row = 0;
        QRect plot;               // the plot area, in this widget's pixels
        QRect name;               // the band above the plot the value's name stands in
        ValueScale scale;         // the strip's own value axis, as the chart holds it
        bool timeLabels = false;  // the strip labels the shared time axis
    };

    explicit CTrendStrips(QWidget* parent = nullptr);

    void SetData(const CTrendSeries& series, const std::vector<int>& rows, double fromMs,
                 double toMs);
    // The strips at the widget's current size, top to bottom.
    std::vector<Strip> Strips() const;
    // The time ticks of the shared time axis, as the lowest strip labels them.
    std::vector<TimeTick> Ticks() const;
    // The points drawn for one value, one list a curve segment.
    std::vector<QList<QPointF>> Plotted(int row) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Rebuild(const std::vector<int>& rows);
    void Refresh();
    int Arrange();

    const CTrendSeries* m_series = nullptr;
    double m_fromMs = 0.0;
    double m_toMs = 0.0;
    std::vector<CTrendStrip*> m_strips;  // children, top to bottom
    int m_columns = 0;                   // the plots' width at the last layout
    int m_plotHeight = 0;                // and their height
    QLabel* m_empty = nullptr;
};
