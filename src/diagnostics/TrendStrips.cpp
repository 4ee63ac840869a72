#include "diagnostics/TrendStrips.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>
#include <limits>

#include "diagnostics/ChargerVariables.h"

namespace {

constexpr int kMargin = 8;
constexpr int kTickGap = 4;
// Columns to decimate for while the widget has no size yet.
constexpr int kFallbackColumns = 800;

int LocalOffsetSeconds(double ms) {
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(ms)).offsetFromUtc();
}

}  // namespace

CTrendStrips::CTrendStrips(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("strips"));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
}

QColor CTrendStrips::RowColour(int row) {
    // Hues spread by the golden angle: neighbours in the list look different.
    const int hue = static_cast<int>(std::fmod(row * 137.508, 360.0));
    return QColor::fromHsv(hue, 220, row % 2 == 0 ? 170 : 130);
}

void CTrendStrips::SetData(const CTrendSeries& series, const std::vector<int>& rows, double fromMs,
                           double toMs) {
    m_series = &series;
    m_rows = rows;
    m_fromMs = fromMs;
    m_toMs = toMs;
    updateGeometry();
    Decimate();
    update();
}

void CTrendStrips::Decimate() {
    const Geometry g = Measure();
    const int width = g.right - g.left;
    m_columns = width > 0 ? width : kFallbackColumns;
    m_segments.clear();
    for (const int row : m_rows) {
        m_segments.push_back(m_series != nullptr && m_toMs > m_fromMs
                                 ? m_series->Decimate(row, m_fromMs, m_toMs, m_columns)
                                 : std::vector<CTrendSeries::Segment>{});
    }
}

CTrendStrips::Geometry CTrendStrips::Measure() const {
    const QFontMetrics fm(font());
    Geometry g;
    // Room at the left for the widest tick text a strip may show.
    g.left = kMargin + fm.horizontalAdvance(QStringLiteral("-00000.00")) + kTickGap;
    g.right = width() - kMargin - fm.horizontalAdvance(QStringLiteral("00:00")) / 2;
    g.nameHeight = fm.height() + 2;
    g.gap = kMargin;
    g.timeBand = fm.height() + kTickGap + 2;
    const int count = std::max<int>(1, static_cast<int>(m_rows.size()));
    const int room = height() - kMargin - g.timeBand - count * (g.nameHeight + g.gap);
    g.plotHeight = std::max(kMinPlotHeight, room / count);
    return g;
}

std::vector<CTrendStrips::Strip> CTrendStrips::Strips() const {
    const Geometry g = Measure();
    const QFontMetrics fm(font());
    std::vector<Strip> strips;
    int top = kMargin / 2;
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        Strip strip;
        strip.row = m_rows[i];
        strip.name = QRect(g.left, top, std::max(0, width() - g.left - kMargin), g.nameHeight);
        strip.plot = QRect(g.left, top + g.nameHeight, std::max(1, g.right - g.left), g.plotHeight);
        if (i < m_segments.size()) {
            strip.segments = m_segments[i];
        }
        double low = std::numeric_limits<double>::infinity();
        double high = -low;
        for (const auto& segment : strip.segments) {
            for (const CTrendSeries::Point& point : segment) {
                low = std::min(low, point.value);
                high = std::max(high, point.value);
            }
        }
        if (!(low <= high)) {
            low = 0.0;
            high = 1.0;
        }
        // A little room at both ends: a curve that runs along a tick at the
        // end of the scale would hide in the strip's frame.
        // The pad never crosses zero, which would add a tick below it.
        const double pad = (high - low) * 0.02;
        low = low >= 0.0 ? std::max(0.0, low - pad) : low - pad;
        high = high <= 0.0 ? std::min(0.0, high + pad) : high + pad;
        const int maxTicks = std::clamp(g.plotHeight / (fm.height() + kTickGap), 3, 6);
        strip.scale = NiceValueScale(low, high, maxTicks);
        strips.push_back(std::move(strip));
        top += g.nameHeight + g.plotHeight + g.gap;
    }
    // The plots start just right of the widest tick text any strip shows.
    int widest = fm.horizontalAdvance(QStringLiteral("0"));
    for (const Strip& strip : strips) {
        for (const double tick : strip.scale.ticks) {
            widest = std::max(widest, fm.horizontalAdvance(QString::fromStdString(
                                          ValueTickText(tick, strip.scale.step))));
        }
    }
    const int left = std::min(g.left, kMargin + widest + kTickGap);
    for (Strip& strip : strips) {
        strip.name.setLeft(left);
        strip.plot.setLeft(left);
    }
    return strips;
}

std::vector<TimeTick> CTrendStrips::Ticks() const {
    const Geometry g = Measure();
    const QFontMetrics fm(font());
    const int labelWidth = fm.horizontalAdvance(QStringLiteral("00:00:00")) + 3 * kMargin;
    const int maxTicks = std::max(2, (g.right - g.left) / labelWidth);
    return TimeTicks(m_fromMs, m_toMs, maxTicks, LocalOffsetSeconds(m_fromMs));
}

std::vector<QList<QPointF>> CTrendStrips::Plotted(int row) const {
    std::vector<QList<QPointF>> plotted;
    const auto at = std::find(m_rows.begin(), m_rows.end(), row);
    if (at == m_rows.end() || m_segments.empty()) {
        return plotted;
    }
    for (const auto& segment : m_segments[static_cast<std::size_t>(at - m_rows.begin())]) {
        QList<QPointF> points;
        for (const CTrendSeries::Point& point : segment) {
            points.append(QPointF(point.timeMs, point.value));
        }
        plotted.push_back(std::move(points));
    }
    return plotted;
}

QSize CTrendStrips::minimumSizeHint() const {
    const QFontMetrics fm(font());
    const int count = std::max<int>(1, static_cast<int>(m_rows.size()));
    const int strip = fm.height() + 2 + kMinPlotHeight + kMargin;
    return {320, kMargin + count * strip + fm.height() + kTickGap + 2};
}

QSize CTrendStrips::sizeHint() const {
    return minimumSizeHint().expandedTo(QSize(640, 400));
}

void CTrendStrips::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (Measure().right - Measure().left != m_columns) {
        Decimate();  // a point a pixel column, whatever the width
    }
}

void CTrendStrips::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const std::vector<Strip> strips = Strips();
    if (strips.empty()) {
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(rect(), Qt::AlignCenter,
                         QStringLiteral("Tick a value on the left to draw it."));
        return;
    }
    const std::vector<TimeTick> ticks = Ticks();
    for (const Strip& strip : strips) {
        PaintStrip(painter, strip, ticks);
    }
    PaintTimeLabels(painter, strips.back().plot, ticks);
}

void CTrendStrips::PaintStrip(QPainter& painter, const Strip& strip,
                              const std::vector<TimeTick>& ticks) const {
    const QRect& plot = strip.plot;
    const QColor grid = palette().color(QPalette::Mid).lighter(130);
    const QColor text = palette().color(QPalette::Text);
    const double spanMs = m_toMs - m_fromMs;
    const double range = strip.scale.high - strip.scale.low;
    // The ends of the scales land on the frame's own pixels, inside the clip.
    const auto xAt = [&](double ms) {
        return plot.left() + (ms - m_fromMs) / spanMs * (plot.width() - 1);
    };
    const auto yAt = [&](double v) {
        return plot.bottom() - (v - strip.scale.low) / range * (plot.height() - 1);
    };

    // The name in full, in the value's colour, above its strip.
    QFont bold = font();
    bold.setBold(true);
    painter.setFont(bold);
    painter.setPen(RowColour(strip.row));
    painter.drawText(strip.name, Qt::AlignLeft | Qt::AlignVCenter,
                     QString::fromLatin1(VariableLabel(strip.row)));
    painter.setFont(font());

    const QFontMetrics fm(font());
    for (const double tick : strip.scale.ticks) {
        const int y = static_cast<int>(std::lround(yAt(tick)));
        painter.setPen(grid);
        painter.drawLine(plot.left(), y, plot.right(), y);
        painter.setPen(text);
        const QRect label(0, y - fm.height() / 2, plot.left() - kTickGap, fm.height());
        painter.drawText(label, Qt::AlignRight | Qt::AlignVCenter,
                         QString::fromStdString(ValueTickText(tick, strip.scale.step)));
    }
    painter.setPen(grid);
    for (const TimeTick& tick : ticks) {
        const int x = static_cast<int>(std::lround(xAt(tick.ms)));
        painter.drawLine(x, plot.top(), x, plot.bottom());
    }
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(plot.adjusted(0, 0, -1, -1));

    painter.save();
    painter.setClipRect(plot);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(RowColour(strip.row), 1.6));
    for (const CTrendSeries::Segment& segment : strip.segments) {
        QPainterPath path;
        for (std::size_t i = 0; i < segment.size(); ++i) {
            const QPointF at(xAt(segment[i].timeMs), yAt(segment[i].value));
            if (i == 0) {
                path.moveTo(at);
            } else {
                path.lineTo(at);
            }
        }
        if (segment.size() == 1) {
            painter.drawEllipse(path.currentPosition(), 1.5, 1.5);
        }
        painter.drawPath(path);
    }
    painter.restore();
}

void CTrendStrips::PaintTimeLabels(QPainter& painter, const QRect& lowest,
                                   const std::vector<TimeTick>& ticks) const {
    const QFontMetrics fm(font());
    const double spanMs = m_toMs - m_fromMs;
    painter.setPen(palette().color(QPalette::Text));
    for (const TimeTick& tick : ticks) {
        const QString label = QString::fromStdString(tick.label);
        const int half = fm.horizontalAdvance(label) / 2;
        const int x = static_cast<int>(
            std::lround(lowest.left() + (tick.ms - m_fromMs) / spanMs * (lowest.width() - 1)));
        // Kept whole inside the widget, never cut at its edges.
        const int left = std::clamp(x - half, 0, std::max(0, width() - 2 * half));
        painter.drawText(QPoint(left, lowest.bottom() + kTickGap + fm.ascent()), label);
    }
}
