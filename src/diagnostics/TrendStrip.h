// Trend strip: the chart of one ticked value in the trends window.
//
// Principles of operation
//   A Qt Charts chart of one value over the window's time span: the value's
//   curve as line series (one a segment: a lost link breaks the curve), a
//   value axis at the left with the round ticks of the strip's own scale
//   (anchored at the scale's low end, one tick a step), and a time axis with
//   a grid line at each round clock time. Only the lowest strip labels its
//   time axis; the strips above share its grid. The value's full name is the
//   chart's title, in the value's colour, as in the list of values. A strip
//   of the row kTimeAxisOnly has neither title nor curve nor value labels:
//   only the labelled time axis under an empty plot.
//
//   Qt Charts lays out the title, the labels and the plot; the strips
//   container (CTrendStrips) pads each chart so that every strip's plot
//   starts and ends at the same pixel column. What the chart
//   holds can be read back (Scale, Times, Plotted) to check the layout in
//   code rather than by pixels.
//
// Threads: user-interface thread only.
#pragma once

#include <QChartView>
#include <QColor>
#include <QFontMetrics>
#include <QList>
#include <QMarginsF>
#include <QPointF>
#include <QRect>
#include <QRectF>

#include <vector>

#include "diagnostics/TrendScale.h"
#include "diagnostics/TrendSeries.h"

class QCategoryAxis;
class QChart;
class QLineSeries;
class QValueAxis;

class CTrendStrip : public QChartView {
public:
    // The row of a strip that draws no value, only the labelled time axis:
    // the band under the strips that keeps the times in view while the
    // strips scroll.
    static constexpr int kTimeAxisOnly = -1;

    CTrendStrip(int row, QWidget* parent);

    // The height one value label takes on the value axis: Qt Charts gives
    // each of n labels an nth of the plot's height less a padding of 4 px
    // above and below, and shows "..." for a label that does not fit.
    static int LabelRoom(const QFontMetrics& fm);

    // A value's colour, the same in the list and in its strip.
    static QColor RowColour(int row);

    int Row() const { return m_row; }

    void SetSegments(const std::vector<CTrendSeries::Segment>& segments);
    void SetScale(const ValueScale& scale);
    // The time window and the round clock times in it; labelled for the
    // lowest strip only.
    void SetTimes(double fromMs, double toMs, const std::vector<TimeTick>& ticks, bool labelled);
    // Lays the chart out at once on `area` (in the parent's pixels), with
    // `pad` added around the room its own title and labels take; gives the
    // plot area that leaves, in the chart's coordinates.
    QRectF Place(const QRect& area, const QMarginsF& pad);

    QRectF PlotArea() const;
    // The scale as the value axis holds it.
    ValueScale Scale() const;
    // The time ticks as the time axis holds them.
    std::vector<TimeTick> Times() const;
    bool TimesLabelled() const;
    // The points of the curve, one list a segment.
    std::vector<QList<QPointF>> Plotted() const;

private:
    QLineSeries* Line(std::size_t segment);

    int m_row;
    QChart* m_chart;
    QValueAxis* m_values;
    QCategoryAxis* m_times;
    std::vector<QLineSeries*> m_lines;
};
