// Trend strips: the chart of the trends window, one strip per ticked value.
//
// Principles of operation
//   The strips are stacked top to bottom in the order of the value list and
//   share one time axis, whose clock-time labels stand under the lowest
//   strip. Each strip has a scale of its own, widened to round ticks
//   (NiceValueScale), so a value near 720 and one near 13 both fill their
//   strips; the value's full name stands above its strip, in its colour.
//   Values are drawn as the line carries them: no units, no scaling.
//
//   SetData takes the series, the ticked rows and the time window; it
//   decimates each ticked value to the strips' pixel columns and keeps the
//   points, so what is drawn can be read back (Plotted, Strips) without
//   looking at pixels. Strips() gives the geometry for the widget's current
//   size; painting draws exactly that.
//
// Threads: user-interface thread only.
#pragma once

#include <QColor>
#include <QList>
#include <QPointF>
#include <QRect>
#include <QWidget>

#include <vector>

#include "diagnostics/TrendScale.h"
#include "diagnostics/TrendSeries.h"

class CTrendStrips : public QWidget {
public:
    // The smallest plot a strip keeps; below it the strips scroll.
    static constexpr int kMinPlotHeight = 36;

    struct Strip {
        int row = 0;
        QRect plot;        // the plotting area, in widget pixels
        QRect name;        // where the value's name stands
        ValueScale scale;  // the strip's own value axis
        std::vector<CTrendSeries::Segment> segments;
    };

    explicit CTrendStrips(QWidget* parent = nullptr);

    // A value's colour, the same in the list and in its strip.
    static QColor RowColour(int row);

    void SetData(const CTrendSeries& series, const std::vector<int>& rows, double fromMs,
                 double toMs);
    // The strips at the widget's current size, top to bottom.
    std::vector<Strip> Strips() const;
    // The time ticks under the lowest strip.
    std::vector<TimeTick> Ticks() const;
    // The points drawn for one value, one list a curve segment.
    std::vector<QList<QPointF>> Plotted(int row) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Geometry {
        int left = 0;
        int right = 0;
        int nameHeight = 0;
        int plotHeight = 0;
        int gap = 0;
        int timeBand = 0;
    };

    Geometry Measure() const;
    void Decimate();
    void PaintStrip(QPainter& painter, const Strip& strip,
                    const std::vector<TimeTick>& ticks) const;
    void PaintTimeLabels(QPainter& painter, const QRect& lowest,
                         const std::vector<TimeTick>& ticks) const;

    const CTrendSeries* m_series = nullptr;
    std::vector<int> m_rows;
    double m_fromMs = 0.0;
    double m_toMs = 0.0;
    std::vector<std::vector<CTrendSeries::Segment>> m_segments;  // one a ticked row
    int m_columns = 0;  // the plot width the segments were decimated for
};
