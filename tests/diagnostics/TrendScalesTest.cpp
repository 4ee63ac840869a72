// The trend strips' scales: a round scale of its own for each ticked value,
// negative ticks, 0 and 1 for a two-state value; the points a strip keeps for
// its width and the time labels of a day.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QFontMetrics>

#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "TrendsFixture.h"
#include "diagnostics/TrendScale.h"
#include "diagnostics/TrendSeries.h"
#include "diagnostics/TrendStrip.h"
#include "diagnostics/TrendStrips.h"

namespace {

using namespace diagtest;

// Four ticked values, far apart in size, get four stacked strips on one
// time axis, each with its own round scale around its own values; at the
// narrowest useful width the time labels still stand apart.
TEST_F(TrendsDialogTest, EachTickedValueGetsAStripWithItsOwnRoundScale) {
    TickOnly({8, 9, 13, 14});
    m_dialog.resize(690, 560);
    ASSERT_NO_FATAL_FAILURE(ShowOnCharger());
    SendCharge(120);  // NAC 0x2C0 to 0x2DF, VSB 13.x, current 0.x, voltage 27.x
    m_dialog.Redraw();
    const auto strips = m_dialog.Strips().Strips();
    ASSERT_EQ(strips.size(), 4u);
    const struct {
        int row;
        double low, high;  // the values sent
    } expected[] = {{8, 0x2C0, 0x2DF}, {9, 13.0, 13.9}, {13, 0.1, 0.7}, {14, 27.0, 27.8}};
    for (std::size_t i = 0; i < strips.size(); ++i) {
        const auto& strip = strips[i];
        const auto& e = expected[i];
        EXPECT_EQ(strip.row, e.row);
        EXPECT_LE(strip.scale.low, e.low) << e.row;
        EXPECT_GE(strip.scale.high, e.high) << e.row;
        // Tight: the values fill at least a third of their strip.
        EXPECT_GE((e.high - e.low) / (strip.scale.high - strip.scale.low), 0.33) << e.row;
        // Round ticks: each a whole number of steps of 1, 2 or 5 times a power of ten.
        const double mantissa =
            strip.scale.step / std::pow(10.0, std::floor(std::log10(strip.scale.step)));
        EXPECT_TRUE(std::fabs(mantissa - 1) < 1e-9 || std::fabs(mantissa - 2) < 1e-9 ||
                    std::fabs(mantissa - 5) < 1e-9)
            << strip.scale.step;
        for (const double tick : strip.scale.ticks) {
            EXPECT_NEAR(tick / strip.scale.step, std::round(tick / strip.scale.step), 1e-6);
        }
        EXPECT_GE(strip.scale.ticks.size(), 2u);
        EXPECT_EQ(strip.timeLabels, i + 1 == strips.size()) << "times under the lowest strip only";
        EXPECT_EQ(strip.plot.left(), strips[0].plot.left()) << "one time axis";
        EXPECT_EQ(strip.plot.width(), strips[0].plot.width());
        if (i > 0) {
            EXPECT_GT(strip.name.top(), strips[i - 1].plot.bottom()) << "stacked, not overlapping";
        }
        EXPECT_GE(
            strip.name.width(),
            QFontMetrics(m_dialog.Strips().font()).horizontalAdvance(VariableLabel(strip.row)))
            << "the name in full";
    }
    // Each strip's chart titled with its value's name, bold, in the value's
    // colour, as in the list.
    for (const QChartView* view : StripViews(m_dialog)) {
        const int row = view->objectName().mid(5).toInt();
        EXPECT_EQ(view->chart()->title().toStdString(), VariableLabel(row));
        EXPECT_TRUE(view->chart()->titleFont().bold()) << row;
        EXPECT_EQ(view->chart()->titleBrush().color(), CTrendStrip::RowColour(row)) << row;
    }
    // Time labels on whole minutes, far enough apart to read at 690 pixels.
    const auto ticks = m_dialog.Strips().Ticks();
    ASSERT_GE(ticks.size(), 2u);
    const double pxPerMs = strips[0].plot.width() / (m_dialog.ViewToMs() - m_dialog.ViewFromMs());
    const int labelWidth = QFontMetrics(m_dialog.Strips().font()).horizontalAdvance("00:00:00");
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        EXPECT_EQ(std::fmod(ticks[i].ms, 60000.0), 0.0) << ticks[i].label;
        if (i > 0) {
            EXPECT_GT((ticks[i].ms - ticks[i - 1].ms) * pxPerMs, labelWidth);
        }
    }
}

// A value that only takes 0 and 1 (Batt Present, always 1 here; the charge
// phase, which changes) reads 0 and 1 on its scale, nothing between.
TEST_F(TrendsDialogTest, TwoStateValuesReadZeroAndOne) {
    TickOnly({0, 2, 3});
    ASSERT_NO_FATAL_FAILURE(ShowOnCharger());
    for (int second = 0; second < 6; ++second) {
        char line[128];
        std::snprintf(line, sizeof line,
                      "1,1,%d,%d,80,25,25.0,50,2C0,13.1,13.5,10,30.0,0.1,0,27.1,28.0\r",
                      second < 3 ? 0 : 1, 20 + second);
        Send(line);
        PollAfter(1000);
    }
    m_dialog.Redraw();
    QApplication::processEvents();
    const auto views = StripViews(m_dialog);
    ASSERT_EQ(views.size(), 3u);
    EXPECT_EQ(Texts(ShownLabels(*views[0], Axis::Values)), (QStringList{"0", "1"}));
    EXPECT_EQ(Texts(ShownLabels(*views[1], Axis::Values)), (QStringList{"0", "1"}));
    EXPECT_GE(ShownLabels(*views[2], Axis::Values).size(), 3u) << "System State is no flag";
}

// A charge current's scale in a strip of the given height: from -1.9 A to
// 1.9 A in a strip with room for few ticks, -2, 0 and 2, the ticks below
// zero with their sign; in a tall one as many round ticks as fit, but six at
// most: 0 to 4.8 A reads 0 to 5 by 1, and 0 to 5.8 A 0 to 6 by 2, not by 1.
TEST_F(TrendsDialogTest, StripScalesTakeTheTicksTheirHeightHoldsUpToSix) {
    const struct {
        double low, high;  // the current runs from low to high in steps of 0.1
        int height;
        std::vector<double> ticks;
    } rows[] = {
        {-1.9, 1.9, 110, {-2.0, 0.0, 2.0}},
        {0.0, 4.8, 600, {0.0, 1.0, 2.0, 3.0, 4.0, 5.0}},
        {0.0, 5.8, 600, {0.0, 2.0, 4.0, 6.0}},
    };
    for (const auto& r : rows) {
        CTrendSeries series;
        ChargerVariables vars;
        const double start = MsAt(0);
        const int seconds = static_cast<int>(std::lround((r.high - r.low) * 10.0));
        for (int second = 0; second <= seconds; ++second) {
            vars.chargeCurrent = r.low + second * 0.1;
            series.Append(start + second * 1000.0, vars);
        }
        CTrendStrips strips;
        strips.resize(700, r.height);
        strips.show();
        strips.SetData(series, {13}, start, start + seconds * 1000.0);
        const auto shown = strips.Strips();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].scale.low, r.ticks.front()) << r.high;
        EXPECT_EQ(shown[0].scale.high, r.ticks.back()) << r.high;
        EXPECT_EQ(shown[0].scale.ticks, r.ticks) << r.high;
    }
}

// A day of reports a second on 800 pixels: each strip holds at most four
// points a column of the plot it really has (and a point beyond each end),
// and the time axis is labelled every three hours of the local clock, from
// midnight to the next midnight, both of which it keeps.
TEST_F(TrendsDialogTest, StripsHoldAPlotWidthOfPointsAndADayOfTimes) {
    CTrendSeries series;
    ChargerVariables vars;
    const double midnight =
        static_cast<double>(QDateTime(QDate(2027, 1, 15), QTime(0, 0)).toMSecsSinceEpoch());
    for (int second = 0; second <= 86400; ++second) {
        vars.nac = 700 + (second * 7919) % 41;  // a new value every report
        vars.batteryVoltage = 27.0 + (second % 13) * 0.1;
        series.Append(midnight + second * 1000.0, vars);
    }
    CTrendStrips strips;
    strips.resize(800, 400);
    strips.show();
    strips.SetData(series, {8, 14}, midnight, midnight + 86400000.0);
    const auto shown = strips.Strips();
    ASSERT_EQ(shown.size(), 2u);
    for (const auto& strip : shown) {
        std::size_t points = 0;
        for (const auto& segment : strips.Plotted(strip.row)) {
            points += static_cast<std::size_t>(segment.size());
        }
        EXPECT_GT(points, 2u * static_cast<std::size_t>(shown[0].plot.width())) << strip.row;
        EXPECT_LE(points, 4u * static_cast<std::size_t>(shown[0].plot.width()) + 2u) << strip.row;
    }
    const std::vector<std::string> labels = {"00:00", "03:00", "06:00", "09:00", "12:00",
                                             "15:00", "18:00", "21:00", "00:00"};
    const auto ticks = strips.Ticks();
    ASSERT_EQ(ticks.size(), labels.size());
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        EXPECT_EQ(ticks[i].label, labels[i]) << i;
        EXPECT_EQ(ticks[i].ms, midnight + static_cast<double>(i) * 3 * 3600000.0) << labels[i];
    }
}

}  // namespace
