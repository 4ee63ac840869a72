#include <gtest/gtest.h>

#include <unistd.h>

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QFontMetrics>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QScrollArea>
#include <QScrollBar>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "DiagTestFiles.h"
#include "QtTestApp.h"
#include "TestKit.h"
#include "diagnostics/ReportFeed.h"
#include "diagnostics/TrendScale.h"
#include "diagnostics/TrendSeries.h"
#include "diagnostics/TrendStrip.h"
#include "diagnostics/TrendStrips.h"
#include "diagnostics/TrendsDialog.h"
#include "diagnostics/WallTime.h"
#include "serial/SerialPort.h"

namespace {

using namespace diagtest;
using std::chrono::milliseconds;

std::vector<std::string> FileLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The labels Qt Charts shows on one axis of a chart, as laid out: the
// visible texts left of the plot (the value axis, bottom to top) or under it
// (the time axis, left to right), each with its place in the chart view.
struct ShownLabel {
    QString text;
    QRectF rect;
};
enum class Axis { Values, Times };
std::vector<ShownLabel> ShownLabels(const QChartView& view, Axis axis) {
    const QRectF plot = view.chart()->plotArea();
    std::vector<ShownLabel> labels;
    for (QGraphicsItem* item : view.scene()->items()) {
        const auto* text = qgraphicsitem_cast<QGraphicsTextItem*>(item);
        if (text == nullptr || !text->isVisible() || text->toPlainText().isEmpty()) {
            continue;
        }
        const QRectF rect = text->sceneBoundingRect();
        if (axis == Axis::Values ? rect.right() <= plot.left() : rect.top() >= plot.bottom()) {
            QString shown = text->toPlainText();
            shown.remove(QChar(0x200B));
            labels.push_back({shown, view.mapFromScene(rect).boundingRect()});
        }
    }
    std::sort(labels.begin(), labels.end(), [axis](const ShownLabel& a, const ShownLabel& b) {
        return axis == Axis::Values ? a.rect.top() > b.rect.top() : a.rect.left() < b.rect.left();
    });
    return labels;
}

QStringList Texts(const std::vector<ShownLabel>& labels) {
    QStringList texts;
    for (const ShownLabel& label : labels) {
        texts << label.text;
    }
    return texts;
}

// The strips' charts, top to bottom.
std::vector<QChartView*> StripViews(const QWidget& window) {
    std::vector<QChartView*> views;
    for (QChartView* view : window.findChildren<QChartView*>()) {
        if (view->objectName().startsWith("strip")) {
            views.push_back(view);
        }
    }
    std::sort(views.begin(), views.end(),
              [](const QChartView* a, const QChartView* b) { return a->y() < b->y(); });
    return views;
}

// The trends window on a link (a symbolic link, as corvane-sim --link makes)
// to a pseudo-terminal the test plays the charger on. Time is virtual: the
// wall clock is a fixed start plus the fake clock.
class TrendsDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_port.SetPortName(m_link);
        m_dialog.m_pPort = &m_port;
        m_dialog.m_strDevicePath = m_link;
        m_dialog.SetClocks(m_clock, [this] { return At(m_clock.NowMs()); });
    }

    WallTimePoint At(std::uint32_t ms) const { return m_start + milliseconds(ms); }
    double MsAt(std::uint32_t ms) const {
        return static_cast<double>(
            std::chrono::duration_cast<milliseconds>(At(ms).time_since_epoch()).count());
    }

    // A charger is plugged in: the link leads to a fresh pseudo-terminal.
    void PlugIn() {
        m_charger = std::make_unique<testkit::CPtyPair>();
        std::filesystem::remove(m_link);
        std::filesystem::create_symlink(m_charger->SlavePath(), m_link);
    }
    // It is pulled out: the link goes and the line hangs up.
    void Unplug() {
        std::filesystem::remove(m_link);
        m_charger->HangUp();
    }

    // The charger sends bytes; waits (bounded) until the port has them all.
    void Send(const std::string& bytes) {
        const int expected = m_port.BytesAvailable() + static_cast<int>(bytes.size());
        m_charger->Send(bytes);
        for (int wait = 0; wait < 2500 && m_port.BytesAvailable() < expected; ++wait) {
            std::this_thread::sleep_for(milliseconds(2));
        }
        ASSERT_EQ(m_port.BytesAvailable(), expected);
    }

    // Reports of values of every size, a second apart: NAC near 0x2D0
    // (720), VSB 13.x, Charge Current 0.x, Battery Voltage 27.x.
    void SendCharge(int seconds) {
        for (int second = 0; second < seconds; ++second) {
            char line[128];
            std::snprintf(line, sizeof line,
                          "1,1,0,22,80,25,25.0,50,%X,13.%d,13.5,10,30.0,0.%d,0,27.%d,28.0\r",
                          0x2C0 + second % 32, second % 10, second % 7 + 1, second % 9);
            Send(line);
            PollAfter(1000);
        }
    }

    // One poll after the given virtual time has passed.
    void PollAfter(std::uint32_t ms) {
        m_clock.Advance(ms);
        m_dialog.OnTimer();
    }

    diagtest::CApplicationFirst m_application;
    testkit::CScratchConfig m_config;  // the ticks and the span are stored
    testkit::CBoxRecorder m_boxes;
    testkit::CScratchDir m_scratch;
    const std::string m_link = m_scratch.Path() + "/charger";
    const WallTimePoint m_start = std::chrono::system_clock::from_time_t(1800000000);
    testkit::CFakeClock m_clock{1000};
    std::unique_ptr<testkit::CPtyPair> m_charger;
    CSerialPort m_port;
    CTrendsDialog m_dialog;
};

// The wait for an unplugged charger's return is timed right across the
// wrap of the 32-bit millisecond clock: not early, not late.
TEST(ReportFeed, ReturnIsLookedForOnTimeAcrossTheClockWrap) {
    testkit::CBoxRecorder boxes;
    testkit::CScratchDir scratch;
    const std::string link = scratch.Path() + "/charger";
    testkit::CPtyPair first;
    testkit::CPtyPair second;
    std::filesystem::create_symlink(first.SlavePath(), link);
    testkit::CFakeClock clock(0xFFFFFFFFU - 200);
    CSerialPort port;
    port.SetPortName(link);
    CReportFeed feed(port, clock);
    ASSERT_TRUE(feed.Start(link));
    std::filesystem::remove(link);
    first.HangUp();
    feed.Poll();
    ASSERT_EQ(feed.State(), CReportFeed::Link::Lost);
    std::filesystem::create_symlink(second.SlavePath(), link);
    clock.Advance(100);  // before the wrap, the time to look lies after it
    feed.Poll();
    EXPECT_EQ(feed.State(), CReportFeed::Link::Lost);
    clock.Advance(CReportFeed::kReturnCheckMs - 101);  // past the wrap
    feed.Poll();
    EXPECT_EQ(feed.State(), CReportFeed::Link::Lost);
    clock.Advance(1);
    feed.Poll();
    EXPECT_EQ(feed.State(), CReportFeed::Link::Up);
    feed.Stop();
}

// One scripted charge: two reports around an unreadable line, an unplug, the
// return, one more report. The record holds every report and the gap; the
// chart holds the same values as two curve segments.
TEST_F(TrendsDialogTest, ScriptedChargeWithAnUnplugReachesTheRecordAndTheChart) {
    const std::string record = m_scratch.Path() + "/charge.csv";
    PlugIn();
    ASSERT_TRUE(m_dialog.StartRecording(record));
    m_dialog.show();
    ASSERT_TRUE(m_port.IsOpen());
    ASSERT_EQ(m_charger->Receive(6, 5000), "\r/011\r");
    EXPECT_TRUE(m_dialog.StatusText().startsWith("Waiting for the charger's report"))
        << m_dialog.StatusText().toStdString();

    const std::string second = "0,1,0,2,3,4,5.5,6,7,8.5,9.5,10,11.5,12.5,0,14.5,15.5\r";
    Send(kFullLine + "\r1,1,1\r");  // at 1100: a report and a line that cannot be read
    PollAfter(100);
    Send(second);  // at 1200
    PollAfter(100);
    Unplug();
    PollAfter(100);  // 1300: the link is lost
    EXPECT_EQ(m_dialog.StatusText().toStdString().rfind("Link lost at ", 0), 0u)
        << m_dialog.StatusText().toStdString();
    EXPECT_EQ(m_boxes.Count(), 0u) << "the status line says it; no box";
    PlugIn();
    PollAfter(CReportFeed::kReturnCheckMs);  // 1800: it is back and asked again
    ASSERT_TRUE(m_port.IsOpen());
    EXPECT_EQ(m_charger->Receive(6, 5000), "\r/011\r");
    Send("0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,99.5\r");
    PollAfter(100);  // 1900
    m_dialog.StopRecording();

    const std::string zeros = "false,false,CC,0,0,0,0.00,0,0000,0.00,0.00,0,0.00,0.00,0.00,99.50";
    const std::vector<std::string> expected = {
        "Time,Batt Present,Radio Detected,Charge Phase (CV/CC),System State,Trim Pot Pos,"
        "Battery Temp,Average Temp,Gas Gauge,NAC,VSB,Average VSB,Charge Time,Charger Temp,"
        "Charge Current,Battery Voltage,Supply Voltage",
        IsoTimestamp(At(1100)) + "," + kFullRows,
        IsoTimestamp(At(1200)) +
            ",false,true,CC,2,3,4,5.50,6,0007,8.50,9.50,10,11.50,12.50,14.50,15.50",
        IsoTimestamp(At(1300)) + ",link lost,,,,,,,,,,,,,,,",
        IsoTimestamp(At(1800)) + ",link back,,,,,,,,,,,,,,,",
        IsoTimestamp(At(1900)) + "," + zeros,
    };
    EXPECT_EQ(FileLines(record), expected);

    m_dialog.SetPlotted(15, true);  // Supply Voltage
    m_dialog.Redraw();
    const auto segments = m_dialog.Plotted(15);
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(segments[0], (QList<QPointF>{{MsAt(1100), 14.1}, {MsAt(1200), 15.5}}));
    EXPECT_EQ(segments[1], (QList<QPointF>{{MsAt(1900), 99.5}}));
    EXPECT_EQ(m_dialog.Series().Size(), 3u);
    m_dialog.SetPlotted(15, false);
    m_dialog.Redraw();
    EXPECT_TRUE(m_dialog.Plotted(15).empty());
}

// The view follows the newest report over the chosen span; paused, it
// stays where it was while reports still come in.
TEST_F(TrendsDialogTest, ViewFollowsTheNewestReportUnlessPaused) {
    PlugIn();
    m_dialog.SetSpanSeconds(60);
    m_dialog.show();
    ASSERT_EQ(m_charger->Receive(6, 5000), "\r/011\r");
    for (int second = 0; second < 90; ++second) {
        Send(kFullLine + "\r");
        PollAfter(1000);
    }
    m_dialog.Redraw();
    EXPECT_EQ(m_dialog.ViewToMs(), MsAt(1000 + 90 * 1000));
    EXPECT_EQ(m_dialog.ViewToMs() - m_dialog.ViewFromMs(), 60000.0);

    m_dialog.SetPaused(true);
    EXPECT_TRUE(m_dialog.StatusText().startsWith("Paused")) << m_dialog.StatusText().toStdString();
    const double pausedAt = m_dialog.ViewToMs();
    for (int second = 0; second < 5; ++second) {
        Send(kFullLine + "\r");
        PollAfter(1000);
    }
    EXPECT_EQ(m_dialog.ViewToMs(), pausedAt);
    EXPECT_EQ(m_dialog.Series().Size(), 95u) << "paused, reports are still taken";
    m_dialog.SetPaused(false);
    EXPECT_EQ(m_dialog.ViewToMs(), MsAt(1000 + 95 * 1000));
}

// Four ticked values, far apart in size, get four stacked strips on one
// time axis, each with its own round scale around its own values; at the
// narrowest useful width the time labels still stand apart.
TEST_F(TrendsDialogTest, EachTickedValueGetsAStripWithItsOwnRoundScale) {
    PlugIn();
    for (int row = 0; row < kVariableRows; ++row) {
        m_dialog.SetPlotted(row, row == 8 || row == 9 || row == 13 || row == 14);
    }
    m_dialog.resize(690, 560);
    m_dialog.show();
    ASSERT_EQ(m_charger->Receive(6, 5000), "\r/011\r");
    // NAC near 0x2D0 (720), VSB 13.x, Charge Current 0.x, Battery Voltage 27.x.
    for (int second = 0; second < 120; ++second) {
        char line[128];
        std::snprintf(line, sizeof line,
                      "1,1,0,22,80,25,25.0,50,%X,13.%d,13.5,10,30.0,0.%d,0,27.%d,28.0\r",
                      0x2C0 + second % 32, second % 10, second % 7 + 1, second % 9);
        Send(line);
        PollAfter(1000);
    }
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

// A charge current that runs from -1.9 A to 1.9 A, in a strip with room for
// few ticks: its axis reads -2, 0 and 2, the ticks below zero with their sign.
TEST_F(TrendsDialogTest, ValuesBelowZeroGetNegativeTicks) {
    CTrendSeries series;
    ChargerVariables vars;
    const double start = MsAt(0);
    for (int second = 0; second <= 38; ++second) {
        vars.chargeCurrent = -1.9 + second * 0.1;
        series.Append(start + second * 1000.0, vars);
    }
    CTrendStrips strips;
    strips.resize(700, 110);
    strips.show();
    strips.SetData(series, {13}, start, start + 38000.0);
    const auto shown = strips.Strips();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].scale.low, -2.0);
    EXPECT_EQ(shown[0].scale.high, 2.0);
    EXPECT_EQ(shown[0].scale.ticks, (std::vector<double>{-2.0, 0.0, 2.0}));
}

// However many values are ticked and however large the window, every
// strip's scale shows whole numbers (at least three, two for a two-state
// value), never "...": the strips share the height there is and never get
// shorter than their labels need; the scroll area takes the rest.
TEST_F(TrendsDialogTest, EveryStripShowsReadableScaleLabelsAtEverySize) {
    PlugIn();
    m_dialog.show();
    ASSERT_EQ(m_charger->Receive(6, 5000), "\r/011\r");
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
    PlugIn();
    for (int row = 0; row < kVariableRows; ++row) {
        m_dialog.SetPlotted(row, true);
    }
    m_dialog.show();
    ASSERT_EQ(m_charger->Receive(6, 5000), "\r/011\r");
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
    for (int row = 0; row < kVariableRows; ++row) {
        m_dialog.SetPlotted(row, false);
    }
    QApplication::processEvents();
    EXPECT_TRUE(ShownLabels(*band, Axis::Times).empty());
}

// A value that only takes 0 and 1 (Batt Present, always 1 here; the charge
// phase, which changes) reads 0 and 1 on its scale, nothing between.
TEST_F(TrendsDialogTest, TwoStateValuesReadZeroAndOne) {
    PlugIn();
    for (int row = 0; row < kVariableRows; ++row) {
        m_dialog.SetPlotted(row, row == 0 || row == 2 || row == 3);
    }
    m_dialog.show();
    ASSERT_EQ(m_charger->Receive(6, 5000), "\r/011\r");
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

// Ten minutes shown, ten seconds of reports: the time axis ends at the newest
// report, not in the future, and the curve ends at the right of the plot.
TEST_F(TrendsDialogTest, AShortRecordEndsTheTimeAxisAtTheNewestReport) {
    PlugIn();
    m_dialog.SetSpanSeconds(600);
    m_dialog.show();
    ASSERT_EQ(m_charger->Receive(6, 5000), "\r/011\r");
    for (int second = 0; second < 10; ++second) {
        Send(kFullLine + "\r");
        PollAfter(1000);
    }
    m_dialog.Redraw();
    EXPECT_EQ(m_dialog.ViewToMs(), MsAt(1000 + 10 * 1000));
    EXPECT_EQ(m_dialog.ViewFromMs(), MsAt(1000 + 10 * 1000) - 600000.0);
    const auto ticks = m_dialog.Strips().Ticks();
    ASSERT_FALSE(ticks.empty());
    EXPECT_LE(ticks.back().ms, MsAt(1000 + 10 * 1000)) << ticks.back().label;
}

// Dragged back, the view stays where the time scroll bar is; a longer span
// than the reports cover then ends the view at the newest report again.
TEST_F(TrendsDialogTest, ScrolledBackThenWidenedTheViewEndsAtTheNewestReport) {
    PlugIn();
    m_dialog.SetSpanSeconds(60);
    m_dialog.show();
    ASSERT_EQ(m_charger->Receive(6, 5000), "\r/011\r");
    for (int second = 0; second < 90; ++second) {
        Send(kFullLine + "\r");
        PollAfter(1000);
    }
    m_dialog.Redraw();
    auto* time = m_dialog.findChild<QScrollBar*>("timeScroll");
    ASSERT_NE(time, nullptr);
    time->setValue(0);
    EXPECT_EQ(m_dialog.ViewFromMs(), MsAt(2000)) << "the first report";
    m_dialog.SetSpanSeconds(600);
    EXPECT_EQ(m_dialog.ViewToMs(), MsAt(1000 + 90 * 1000));
}

// The ticked values and the span come back in the next run.
TEST_F(TrendsDialogTest, TicksAndSpanAreRememberedBetweenRuns) {
    m_dialog.SetPlotted(13, false);
    m_dialog.SetPlotted(2, true);
    m_dialog.SetSpanSeconds(3600);
    CTrendsDialog next;
    EXPECT_TRUE(next.IsPlotted(2));
    EXPECT_FALSE(next.IsPlotted(13));
    EXPECT_TRUE(next.IsPlotted(14));
    EXPECT_EQ(next.SpanSeconds(), 3600);
}

TEST_F(TrendsDialogTest, ClosingLeavesThePortClosed) {
    PlugIn();
    m_dialog.show();
    ASSERT_TRUE(m_port.IsOpen());
    EXPECT_TRUE(m_dialog.IsTimerActive());
    EXPECT_FALSE(m_dialog.minimumSize() == m_dialog.maximumSize()) << "the window is resizable";
    m_dialog.reject();
    EXPECT_FALSE(m_port.IsOpen());
    EXPECT_FALSE(m_dialog.IsTimerActive());
}

}  // namespace
