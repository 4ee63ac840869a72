#include "diagnostics/TrendStrips.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QLabel>
#include <QMoveEvent>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>

#include "diagnostics/TrendStrip.h"

namespace {

constexpr int kMargin = 8;

int LocalOffsetSeconds(double ms) {
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(ms)).offsetFromUtc();
}

// A strip's scale: round ticks around the values it shows.
ValueScale ScaleFor(const std::vector<CTrendSeries::Segment>& segments, int maxTicks) {
    std::vector<double> values;
    for (const auto& segment : segments) {
        for (const CTrendSeries::Point& point : segment) {
            values.push_back(point.value);
        }
    }
    return ScaleOfValues(values, maxTicks);
}

}  // namespace

CTrendStrips::CTrendStrips(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("strips"));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    m_empty = new QLabel(QStringLiteral("Tick a value on the left to draw it."), this);
    m_empty->setAlignment(Qt::AlignCenter);
    m_empty->setForegroundRole(QPalette::PlaceholderText);
}

void CTrendStrips::SetData(const CTrendSeries& series, const std::vector<int>& rows, double fromMs,
                           double toMs) {
    m_series = &series;
    m_fromMs = fromMs;
    m_toMs = toMs;
    Rebuild(rows);
    updateGeometry();
    Refresh();
}

// One strip per ticked row; the strips of rows still ticked are kept.
void CTrendStrips::Rebuild(const std::vector<int>& rows) {
    std::vector<CTrendStrip*> strips;
    for (const int row : rows) {
        const auto kept =
            std::find_if(m_strips.begin(), m_strips.end(),
                         [row](const CTrendStrip* s) { return s != nullptr && s->Row() == row; });
        if (kept != m_strips.end()) {
            strips.push_back(*kept);
            *kept = nullptr;
        } else {
            strips.push_back(new CTrendStrip(row, this));
            strips.back()->show();
        }
    }
    for (CTrendStrip* gone : m_strips) {
        delete gone;
    }
    m_strips = std::move(strips);
    m_empty->setVisible(m_strips.empty());
}

// Decimated for the plot width the strips had last, or for a guess before
// the first layout; when the layout gives another width the points are
// taken again for it: never more than four points a pixel column. The
// ticks likewise follow the plots' height: as many as keep their labels
// whole.
void CTrendStrips::Refresh() {
    m_empty->setGeometry(rect());
    if (m_strips.empty()) {
        PlaceTimeBand();
        return;
    }
    const QFontMetrics fm(font());
    const int labelWidth = fm.horizontalAdvance(QStringLiteral("00:00:00"));
    int columns = m_columns > 0 ? m_columns : std::max(1, width() - 2 * labelWidth);
    int plotHeight = m_plotHeight;
    for (int pass = 0; pass < 3; ++pass) {
        const int maxTicks = std::clamp(plotHeight / CTrendStrip::LabelRoom(fm), kMinTicks, 6);
        const int fit = columns / (labelWidth + 3 * kMargin);
        const int timeTicks = std::max(2, fit);  // mutate: equivalent (max is symmetric)
        m_ticks = TimeTicks(m_fromMs, m_toMs, timeTicks, LocalOffsetSeconds(m_fromMs));
        for (CTrendStrip* strip : m_strips) {
            std::vector<CTrendSeries::Segment> segments;
            if (m_series != nullptr && m_toMs > m_fromMs) {
                segments = m_series->Decimate(strip->Row(), m_fromMs, m_toMs, columns);
            }
            strip->SetSegments(segments);
            strip->SetScale(ScaleFor(segments, maxTicks));
            strip->SetTimes(m_fromMs, m_toMs, m_ticks, strip == m_strips.back());
        }
        m_columns = Arrange();
        if (m_columns == columns && m_plotHeight == plotHeight) {
            break;
        }
        columns = m_columns;
        plotHeight = m_plotHeight;
    }
    PlaceTimeBand();
}

// Qt Charts places each strip's title, labels and plot; the strips then get
// the heights that give every plot the same height, and padding that moves
// every plot to the same left and right ends as the others. Gives the
// plots' width in pixels.
int CTrendStrips::Arrange() {
    const std::size_t count = m_strips.size();
    const QFontMetrics fm(font());
    const int minPlot = kMinTicks * CTrendStrip::LabelRoom(fm);
    // Measured on a height with room for a title, labels and a plot: what a
    // strip needs besides its plot does not depend on its height.
    const int roomy = minPlot + 6 * fm.height();  // mutate: equivalent (measures the same)
    const int trial = std::max(height() / static_cast<int>(count), roomy);
    std::vector<QRectF> own;
    double left = 0.0;
    double right = width();
    double overheads = 0.0;
    for (CTrendStrip* strip : m_strips) {
        own.push_back(strip->Place(QRect(0, 0, width(), trial), QMarginsF()));
        left = std::max(left, own.back().left());
        right = std::min(right, own.back().right());
        overheads += trial - own.back().height();
    }
    // The first time label may stand at the plot's left end, half left of it.
    left = std::max(left, kMargin + fm.horizontalAdvance(QStringLiteral("00:00:00")) / 2.0);
    const int needed = static_cast<int>(std::ceil(overheads)) + static_cast<int>(count) * minPlot;
    if (needed != m_minHeight) {
        m_minHeight = needed;
        updateGeometry();  // the scroll area gives the strips at least that
    }
    const int given = std::max(height(), needed);  // mutate: equivalent (max is symmetric)
    const double plotHeight = std::floor((given - overheads) / count);
    m_plotHeight = static_cast<int>(plotHeight);
    m_plotLeft = left;
    m_plotRight = right;
    int top = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double exact = plotHeight + trial - own[i].height();
        const int height = static_cast<int>(std::ceil(exact));
        const QMarginsF pad(left - own[i].left(), 0.0, own[i].right() - right, height - exact);
        m_strips[i]->Place(QRect(0, top, width(), height), pad);
        top += height;
    }
    return static_cast<int>(std::floor(right - left));
}

void CTrendStrips::SetTimeBand(QWidget* band) {
    m_band = band;
    m_timeAxis = new CTrendStrip(CTrendStrip::kTimeAxisOnly, band);
    m_timeAxis->setObjectName(QStringLiteral("timeAxis"));
    // The time labels, the ticks above them and a sliver of plot.
    band->setFixedHeight(fontMetrics().height() + kMargin + 2);
    band->installEventFilter(this);
}

// The band's plot lies under the strips' plots, whatever stands between
// the band's left edge and the strips' (the scroll area's frame).
void CTrendStrips::PlaceTimeBand() {
    if (m_timeAxis == nullptr) {
        return;
    }
    m_timeAxis->SetTimes(m_fromMs, m_toMs, m_ticks, !LowestTimesInView());
    // Qt Charts gives the axes at most 40 % of a chart's height: the chart
    // is three bands high, and only its lowest third, the labels, shows.
    const int height = m_band->height();
    const QRect area(0, -2 * height, m_band->width(), 3 * height);
    const QRectF own = m_timeAxis->Place(area, QMarginsF());
    const double shift = mapTo(window(), QPoint()).x() - m_band->mapTo(window(), QPoint()).x();
    const QMarginsF pad(shift + m_plotLeft - own.left(), 0.0, own.right() - shift - m_plotRight,
                        0.0);
    m_timeAxis->Place(area, pad);
}

// Whether the lowest strip's time labels stand inside the part of the strips
// the scroll area shows.
bool CTrendStrips::LowestTimesInView() const {
    if (m_strips.empty() || parentWidget() == nullptr) {
        return true;
    }
    return y() + m_strips.back()->geometry().bottom() < parentWidget()->height();
}

std::vector<CTrendStrips::Strip> CTrendStrips::Strips() const {
    std::vector<Strip> strips;
    for (const CTrendStrip* chart : m_strips) {
        Strip strip;
        strip.row = chart->Row();
        const QRect area = chart->PlotArea().toRect();
        strip.plot = area.translated(chart->pos());
        strip.name = QRect(chart->x(), chart->y(), chart->width(), area.top());
        strip.scale = chart->Scale();
        strip.timeLabels = chart->TimesLabelled();
        strips.push_back(std::move(strip));
    }
    return strips;
}

std::vector<TimeTick> CTrendStrips::Ticks() const {
    for (const CTrendStrip* strip : m_strips) {
        if (strip->TimesLabelled()) {
            return strip->Times();
        }
    }
    return {};
}

std::vector<QList<QPointF>> CTrendStrips::Plotted(int row) const {
    for (const CTrendStrip* strip : m_strips) {
        if (strip->Row() == row) {
            return strip->Plotted();
        }
    }
    return {};
}

// Strips are laid out as soon as they are made (SetData), so the height
// they need is known whenever there are any.
QSize CTrendStrips::minimumSizeHint() const {
    return {320, m_strips.empty() ? 0 : m_minHeight};
}

QSize CTrendStrips::sizeHint() const {
    return minimumSizeHint().expandedTo(QSize(640, 400));
}

void CTrendStrips::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Refresh();  // a point a pixel column and as many ticks as fit, whatever the size
}

// The scroll area scrolls by moving the strips.
void CTrendStrips::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);  // mutate: equivalent (QWidget's does nothing)
    PlaceTimeBand();
}

bool CTrendStrips::eventFilter(QObject* watched, QEvent* event) {
    // Placing the band again where it stands changes nothing.
    if (watched == m_band && event->type() == QEvent::Resize) {  // mutate: equivalent (idempotent)
        PlaceTimeBand();
    }
    return QWidget::eventFilter(watched, event);
}
