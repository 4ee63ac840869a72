// The trend strips in their scroll area: readable scales at every size,
// scrolling to the last strip, and the time band under the area that shows
// the times while the strips' own are out of view.
#include <gtest/gtest.h>

#include <QAbstractAxis>
#include <QApplication>
#include <QFontMetrics>
#include <QScrollArea>
#include <QScrollBar>

#include <cstddef>

#include "TrendsFixture.h"
#include "diagnostics/TrendStrips.h"

namespace {

using namespace diagtest;

// However many values are ticked and however large the window, every
// strip's scale shows whole numbers (at least three, two for a two-state
// value), never "...": the strips share the height there is and never get
// shorter than their labels need; the scroll area takes the rest.
TEST_F(TrendsDialogTest, EveryStripShowsReadableScaleLabelsAtEverySize) {
    ASSERT_NO_FATAL_FAILURE(ShowOnCharger());
    SendCharge(40);
    const struct {
        int values;  // the first rows ticked
        QSize size;  // (1, 1): the smallest the window gets
        bool scrolls;
    } rows[] = {
        {8, {960, 620}, true}, {16, {960, 620}, true},  {16, {1580, 950}, true},
        {4, {1, 1}, true},     {4, {1580, 950}, false}, {1, {960, 620}, false},
    };
    auto* area = m_dialog.findChild<QScrollArea*>("stripArea");
    ASSERT_NE(area, nullptr);
    for (const auto& r : rows) {
        for (int row = 0; row < kVariableRows; ++row) {
            m_dialog.SetPlotted((row + 3) % kVariableRows, row < r.values);
        }
        m_dialog.resize(r.size);
        QApplication::processEvents();
        const auto views = StripViews(m_dialog);
        ASSERT_EQ(views.size(), static_cast<std::size_t>(r.values));
        for (const QChartView* view : views) {
            const QStringList labels = Texts(ShownLabels(*view, Axis::Values));
            // Batt Present, Radio Detected and the charge phase: 0 and 1.
            const int fewest = view->objectName() <= "strip2" ? 2 : 3;
            EXPECT_GE(labels.size(), fewest)
                << r.values << " values: " << labels.join(' ').toStdString();
            for (const QString& label : labels) {
                EXPECT_FALSE(label.contains("...") || label.contains(QChar(0x2026)))
                    << r.values << " values at " << r.size.width() << ": " << label.toStdString();
            }
        }
        const QScrollBar* down = area->verticalScrollBar();
        EXPECT_EQ(down->maximum() > 0, r.scrolls) << r.values << " values";
        if (r.scrolls) {
            // Strips that scroll get no more than their three labels need:
            // Qt Charts gives each label a share of the plot less 4 px
            // above and below.
            const int fontHeight = QFontMetrics(m_dialog.Strips().font()).height();
            for (const auto& strip : m_dialog.Strips().Strips()) {
                EXPECT_LT(strip.plot.height(), 4 * (fontHeight + 9)) << r.values << " values";
            }
        }
        // The strips fill what they are given, and reach the end of it.
        // (Whole pixels for every plot leave less than one a strip over.)
        const int end = views.back()->geometry().bottom() + 1;
        EXPECT_LE(end, area->widget()->height()) << r.values;
        EXPECT_GT(end, area->widget()->height() - r.values) << r.values;
        EXPECT_GE(area->widget()->height(), area->viewport()->height()) << r.values;
    }
}

// Scrolled down, the strips go up: the first strip shows at the top of the
// scroll, the last one and its time labels at the bottom. The time axis is
// in view all the while, under the scroll area while the strips hide it.
TEST_F(TrendsDialogTest, StripsScrollDownToTheLastStripAndTheTimeAxisStaysInView) {
    TickAll(true);
    ASSERT_NO_FATAL_FAILURE(ShowOnCharger());
    SendCharge(40);
    m_dialog.Redraw();
    QApplication::processEvents();
    auto* area = m_dialog.findChild<QScrollArea*>("stripArea");
    ASSERT_NE(area, nullptr);
    QScrollBar* down = area->verticalScrollBar();
    const auto views = StripViews(m_dialog);
    ASSERT_EQ(views.size(), 16u);
    const QWidget* viewport = area->viewport();
    const auto* band = m_dialog.findChild<QChartView*>("timeAxis");
    ASSERT_NE(band, nullptr);
    QStringList times;
    for (const TimeTick& tick : m_dialog.Strips().Ticks()) {
        times << QString::fromStdString(tick.label);
    }
    ASSERT_GE(times.size(), 2);

    EXPECT_EQ(down->value(), 0);
    EXPECT_GT(down->maximum(), 0);
    EXPECT_EQ(views.front()->mapTo(viewport, QPoint()).y(), 0) << "the first strip on top";
    EXPECT_GT(views.back()->mapTo(viewport, QPoint()).y(), viewport->height());
    EXPECT_EQ(Texts(ShownLabels(*band, Axis::Times)), times) << "the times under the view";
    ASSERT_EQ(band->parentWidget(), m_dialog.findChild<QWidget*>("timeBand"));
    EXPECT_GE(band->parentWidget()->mapTo(&m_dialog, QPoint()).y(),
              viewport->mapTo(&m_dialog, QPoint(0, viewport->height())).y());
    // Whole inside the band: the chart around them stands above it.
    for (const ShownLabel& label : ShownLabels(*band, Axis::Times)) {
        EXPECT_TRUE(
            QRectF(band->parentWidget()->rect()).contains(label.rect.translated(band->pos())))
            << label.text.toStdString();
    }
    // The band draws only the times, on no plot and with no grid; every
    // strip, the first one too, draws its plot with the time grid.
    EXPECT_FALSE(band->chart()->isPlotAreaBackgroundVisible());
    EXPECT_FALSE(band->chart()->axes(Qt::Horizontal).at(0)->isGridLineVisible());
    for (const QChartView* view : views) {
        EXPECT_TRUE(view->chart()->isPlotAreaBackgroundVisible())
            << view->objectName().toStdString();
        EXPECT_TRUE(view->chart()->axes(Qt::Horizontal).at(0)->isGridLineVisible())
            << view->objectName().toStdString();
    }

    down->setValue(down->maximum());
    QApplication::processEvents();
    EXPECT_LT(views.front()->mapTo(viewport, QPoint()).y(), 0) << "scrolled down, it went up";
    const QChartView* last = views.back();
    const auto lastTimes = ShownLabels(*last, Axis::Times);
    EXPECT_EQ(Texts(lastTimes), times);
    ASSERT_FALSE(lastTimes.empty());
    for (const ShownLabel& label : lastTimes) {
        const QPoint inView = last->mapTo(viewport, label.rect.bottomLeft().toPoint());
        EXPECT_LE(inView.y(), viewport->height()) << label.text.toStdString();
    }
    EXPECT_LE(last->mapTo(viewport, QPoint(0, last->height())).y(), viewport->height())
        << "the last strip whole";
    EXPECT_TRUE(ShownLabels(*band, Axis::Times).empty()) << "not twice";

    // One pixel row of the last strip out of view: the band shows the times.
    down->setValue(last->mapTo(area->widget(), QPoint(0, last->height() - 1)).y() -
                   viewport->height());
    QApplication::processEvents();
    EXPECT_EQ(last->mapTo(viewport, QPoint(0, last->height() - 1)).y(), viewport->height());
    EXPECT_EQ(Texts(ShownLabels(*band, Axis::Times)), times) << "a pixel out of view";

    // Back on top, the band's labels stand under the strips' time ticks,
    // also after the window has grown wider.
    down->setValue(0);
    m_dialog.resize(1300, 620);
    QApplication::processEvents();
    const auto strips = m_dialog.Strips().Strips();
    const auto ticks = m_dialog.Strips().Ticks();
    const auto bandLabels = ShownLabels(*band, Axis::Times);
    ASSERT_EQ(bandLabels.size(), ticks.size());
    const QRect plot = strips.back().plot;
    const double pxPerMs = plot.width() / (m_dialog.ViewToMs() - m_dialog.ViewFromMs());
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        const double tickX = area->widget()->mapTo(&m_dialog, plot.topLeft()).x() +
                             (ticks[i].ms - m_dialog.ViewFromMs()) * pxPerMs;
        const QPoint labelAt = band->mapTo(&m_dialog, bandLabels[i].rect.center().toPoint());
        EXPECT_NEAR(labelAt.x(), tickX, 2.0) << ticks[i].label;
    }

    // Nothing ticked: no strips, no times.
    TickAll(false);
    QApplication::processEvents();
    EXPECT_TRUE(ShownLabels(*band, Axis::Times).empty());
}

}  // namespace
