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
//   resize does the same at the new size. The strips share the height they
//   are given, but each keeps a plot with room for kMinTicks readable value
//   labels; the scroll area around them takes what is left over. While the
//   lowest strip's time labels are scrolled out of view, the time band
//   under the scroll area shows them, lined up on the plots. Strips() and
//   Ticks() read back what the charts hold, so the layout can be checked
//   without pixels.
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
    // The fewest value ticks a strip keeps readable; the strips are never
    // shorter than that, and scroll when the window has no room for them.
    static constexpr int kMinTicks = 3;

    struct Strip {
        int row = 0;
        QRect plot;               // the plot area, in this widget's pixels
        QRect name;               // the band above the plot the value's name stands in
        ValueScale scale;         // the strip's own value axis, as the chart holds it
        bool timeLabels = false;  // the strip labels the shared time axis
    };

    explicit CTrendStrips(QWidget* parent = nullptr);

    // The band (outside the scroll area, under it) that repeats the time
    // axis while the lowest strip's time labels are scrolled out of view.
    void SetTimeBand(QWidget* band);

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
    void moveEvent(QMoveEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Rebuild(const std::vector<int>& rows);
    void Refresh();
    int Arrange();
    void PlaceTimeBand();
    bool LowestTimesInView() const;

    const CTrendSeries* m_series = nullptr;
    double m_fromMs = 0.0;
    double m_toMs = 0.0;
    std::vector<CTrendStrip*> m_strips;  // children, top to bottom
    int m_columns = 0;                   // the plots' width at the last layout
    int m_plotHeight = 0;                // and their height
    double m_plotLeft = 0.0;             // and their ends, in this widget's pixels
    double m_plotRight = 0.0;
    // Every strip with the fewest ticks, at the last layout.
    int m_minHeight = 0;  // mutate: equivalent (set by the layout before it is read)
    QWidget* m_band = nullptr;
    CTrendStrip* m_timeAxis = nullptr;  // in the band
    std::vector<TimeTick> m_ticks;
    QLabel* m_empty = nullptr;
};
