#include "diagnostics/TrendStrips.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QLabel>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>
#include <limits>

#include "diagnostics/TrendStrip.h"

namespace {

constexpr int kMargin = 8;

int LocalOffsetSeconds(double ms) {
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(ms)).offsetFromUtc();
}

// A strip's scale: round ticks around the values it shows.
ValueScale ScaleFor(const std::vector<CTrendSeries::Segment>& segments, int maxTicks) {
    double low = std::numeric_limits<double>::infinity();
    double high = -low;
    for (const auto& segment : segments) {
        for (const CTrendSeries::Point& point : segment) {
            low = std::min(low, point.value);
            high = std::max(high, point.value);
        }
    }
    if (!(low <= high)) {
        low = 0.0;
        high = 1.0;
    }
    // A little room at both ends: a curve that runs along a tick at the end
    // of the scale would hide in the strip's frame. The pad never crosses
    // zero, which would add a tick below it.
    const double pad = (high - low) * 0.02;
    low = low >= 0.0 ? std::max(0.0, low - pad) : low - pad;
    high = high <= 0.0 ? std::min(0.0, high + pad) : high + pad;
    return NiceValueScale(low, high, maxTicks);
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
// taken again for it: never more than four points a pixel column.
void CTrendStrips::Refresh() {
    m_empty->setGeometry(rect());
    if (m_strips.empty()) {
        return;
    }
    const QFontMetrics fm(font());
    const int labelWidth = fm.horizontalAdvance(QStringLiteral("00:00:00"));
    int columns = m_columns > 0 ? m_columns : std::max(1, width() - 2 * labelWidth);
    for (int pass = 0; pass < 2; ++pass) {
        // As many value ticks as keep their labels apart.
        const int plotHeight = m_plotHeight > 0
                                   ? m_plotHeight
                                   : height() / static_cast<int>(m_strips.size()) - 3 * fm.height();
        const int maxTicks = std::clamp(plotHeight / (fm.height() + 2), 3, 6);
        const std::vector<TimeTick> ticks =
            TimeTicks(m_fromMs, m_toMs, std::max(2, columns / (labelWidth + 3 * kMargin)),
                      LocalOffsetSeconds(m_fromMs));
        for (CTrendStrip* strip : m_strips) {
            std::vector<CTrendSeries::Segment> segments;
            if (m_series != nullptr && m_toMs > m_fromMs) {
                segments = m_series->Decimate(strip->Row(), m_fromMs, m_toMs, columns);
            }
            strip->SetSegments(segments);
            strip->SetScale(ScaleFor(segments, maxTicks));
            strip->SetTimes(m_fromMs, m_toMs, ticks, strip == m_strips.back());
        }
        m_columns = Arrange();
        if (m_columns == columns) {
            break;
        }
        columns = m_columns;
    }
}

// Qt Charts places each strip's title, labels and plot; the strips then get
// the heights that give every plot the same height, and padding that moves
// every plot to the same left and right ends as the others. Gives the
// plots' width in pixels.
int CTrendStrips::Arrange() {
    const std::size_t count = m_strips.size();
    const int trial = std::max(1, height() / static_cast<int>(count));
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
    const QFontMetrics fm(font());
    left = std::max(left, kMargin + fm.horizontalAdvance(QStringLiteral("00:00:00")) / 2.0);
    const double plotHeight =
        std::max<double>(kMinPlotHeight, std::floor((height() - overheads) / count));
    m_plotHeight = static_cast<int>(plotHeight);
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

QSize CTrendStrips::minimumSizeHint() const {
    // A strip takes its plot, its name above it and its labels' overhang.
    const QFontMetrics fm(font());
    const int count = std::max<int>(1, static_cast<int>(m_strips.size()));
    return {320, count * (kMinPlotHeight + 2 * fm.height() + kMargin) + fm.height()};
}

QSize CTrendStrips::sizeHint() const {
    return minimumSizeHint().expandedTo(QSize(640, 400));
}

void CTrendStrips::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Refresh();  // a point a pixel column and as many ticks as fit, whatever the size
}
