#include "diagnostics/TrendStrip.h"

#include <QCategoryAxis>
#include <QChart>
#include <QGraphicsLayout>
#include <QLineSeries>
#include <QPen>
#include <QValueAxis>

#include <cmath>

#include "diagnostics/ChargerVariables.h"

namespace {

// Two round times a day apart read the same ("08:00" at both ends of 24
// hours); the time axis wants each label once, so the later one is marked
// with an invisible character.
constexpr QChar kInvisible(0x200B);
// Room around a chart: beside its labels and below its plot.
constexpr int kMargin = 6;

}  // namespace

CTrendStrip::CTrendStrip(int row, QWidget* parent)
    : QChartView(parent),
      m_row(row),
      m_chart(new QChart),
      m_values(new QValueAxis(m_chart)),
      m_times(new QCategoryAxis(m_chart)) {
    setObjectName(QStringLiteral("strip%1").arg(row));
    setChart(m_chart);
    setRenderHint(QPainter::Antialiasing);
    setFrameShape(QFrame::NoFrame);
    setBackgroundBrush(palette().base());  // under the padding, too
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    const QPalette& colours = palette();
    m_chart->legend()->hide();
    m_chart->setBackgroundRoundness(0);
    m_chart->setBackgroundBrush(colours.base());
    // Room at the right for half a time label: one may stand at the plot's
    // right end.
    const int halfLabel = fontMetrics().horizontalAdvance(QStringLiteral("00:00:00")) / 2;
    m_chart->setMargins(QMargins(kMargin, 0, kMargin + halfLabel, kMargin));
    m_chart->layout()->setContentsMargins(0, 0, 0, 0);
    m_chart->setPlotAreaBackgroundVisible(true);
    m_chart->setPlotAreaBackgroundBrush(colours.base());
    m_chart->setPlotAreaBackgroundPen(QPen(colours.color(QPalette::Dark)));

    if (row != kTimeAxisOnly) {
        QFont bold = font();
        bold.setBold(true);
        m_chart->setTitle(QString::fromLatin1(VariableLabel(row)));
        m_chart->setTitleFont(bold);
        m_chart->setTitleBrush(RowColour(row));
    }

    const QColor grid = colours.color(QPalette::Mid).lighter(130);
    for (QValueAxis* axis : {m_values, static_cast<QValueAxis*>(m_times)}) {
        axis->setLabelsFont(font());
        axis->setLabelsColor(colours.color(QPalette::Text));
        axis->setGridLineColor(grid);
        axis->setLineVisible(false);  // the plot area's frame is the line
    }
    m_values->setTickType(QValueAxis::TicksDynamic);
    m_times->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    m_chart->addAxis(m_times, Qt::AlignBottom);
    m_chart->addAxis(m_values, Qt::AlignLeft);
    if (row == kTimeAxisOnly) {
        m_chart->setMargins(QMargins(kMargin, 0, kMargin + halfLabel, 0));
        m_chart->setPlotAreaBackgroundVisible(false);
        m_times->setGridLineVisible(false);
    }
}

int CTrendStrip::LabelRoom(const QFontMetrics& fm) {
    // The label's own height (its text and half a pixel above and below),
    // the padding, and a pixel for rounding.
    return fm.height() + 1 + 2 * 4 + 1;
}

QColor CTrendStrip::RowColour(int row) {
    // Hues spread by the golden angle: neighbours in the list look different.
    const int hue = static_cast<int>(std::fmod(row * 137.508, 360.0));
    return QColor::fromHsv(hue, 220, row % 2 == 0 ? 170 : 130);
}

QLineSeries* CTrendStrip::Line(std::size_t segment) {
    while (m_lines.size() <= segment) {
        auto* line = new QLineSeries(m_chart);
        line->setPen(QPen(RowColour(m_row), 1.6));
        line->setMarkerSize(4.0);
        m_chart->addSeries(line);
        line->attachAxis(m_times);
        line->attachAxis(m_values);
        m_lines.push_back(line);
    }
    return m_lines[segment];
}

void CTrendStrip::SetSegments(const std::vector<CTrendSeries::Segment>& segments) {
    for (std::size_t i = 0; i < segments.size(); ++i) {
        QList<QPointF> points;
        points.reserve(static_cast<qsizetype>(segments[i].size()));
        for (const CTrendSeries::Point& point : segments[i]) {
            points.append(QPointF(point.timeMs, point.value));
        }
        QLineSeries* line = Line(i);
        line->replace(points);
        // A lone report between two breaks has no line to draw: a dot.
        line->setPointsVisible(points.size() == 1);
        line->setVisible(true);
    }
    for (std::size_t i = segments.size(); i < m_lines.size(); ++i) {
        m_lines[i]->clear();
        m_lines[i]->setVisible(false);
    }
}

void CTrendStrip::SetScale(const ValueScale& scale) {
    m_values->setLabelFormat(QStringLiteral("%.%1f").arg(ValueTickDecimals(scale.step)));
    m_values->setTickAnchor(scale.low);
    m_values->setTickInterval(scale.step);
    m_values->setRange(scale.low, scale.high);
}

void CTrendStrip::SetTimes(double fromMs, double toMs, const std::vector<TimeTick>& ticks,
                           bool labelled) {
    for (const QString& label : m_times->categoriesLabels()) {
        m_times->remove(label);
    }
    m_times->setStartValue(fromMs);
    for (const TimeTick& tick : ticks) {
        QString label = QString::fromStdString(tick.label);
        while (m_times->categoriesLabels().contains(label)) {
            label += kInvisible;
        }
        m_times->append(label, tick.ms);
    }
    m_times->setRange(fromMs, toMs);
    m_times->setLabelsVisible(labelled);
}

QRectF CTrendStrip::Place(const QRect& area, const QMarginsF& pad) {
    setGeometry(area);
    // The view sizes its chart on its next resize event, which a hidden
    // window has not had yet: sized here, the layout below is the real one.
    m_chart->resize(area.size());
    m_chart->layout()->setContentsMargins(pad.left(), pad.top(), pad.right(), pad.bottom());
    m_chart->layout()->invalidate();
    m_chart->layout()->activate();
    return m_chart->plotArea();
}

QRectF CTrendStrip::PlotArea() const {
    return m_chart->plotArea();
}

ValueScale CTrendStrip::Scale() const {
    ValueScale scale;
    scale.low = m_values->min();
    scale.high = m_values->max();
    scale.step = m_values->tickInterval();
    const double anchor = m_values->tickAnchor();
    // The ticks the axis draws: the anchor and every step from it inside
    // the range.
    for (double k = std::ceil((scale.low - anchor) / scale.step - 1e-9);
         anchor + k * scale.step <= scale.high + scale.step * 1e-9; k += 1.0) {
        scale.ticks.push_back(anchor + k * scale.step);
    }
    return scale;
}

std::vector<TimeTick> CTrendStrip::Times() const {
    std::vector<TimeTick> ticks;
    for (const QString& label : m_times->categoriesLabels()) {
        QString shown = label;
        shown.remove(kInvisible);
        ticks.push_back({m_times->endValue(label), shown.toStdString()});
    }
    return ticks;
}

bool CTrendStrip::TimesLabelled() const {
    return m_times->labelsVisible();
}

std::vector<QList<QPointF>> CTrendStrip::Plotted() const {
    std::vector<QList<QPointF>> plotted;
    for (const QLineSeries* line : m_lines) {
        if (line->isVisible() && line->count() > 0) {
            plotted.push_back(line->points());
        }
    }
    return plotted;
}
