// The trends window as a whole: what reaches the record and the chart, the
// view that follows the newest report, the stored ticks and span, the port
// left closed; and the report feed's wait for an unplugged charger.
#include <gtest/gtest.h>

#include <QScrollBar>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "TrendsFixture.h"
#include "diagnostics/ReportFeed.h"
#include "diagnostics/TrendStrips.h"

namespace {

using namespace diagtest;

std::vector<std::string> FileLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

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
    m_dialog.SetSpanSeconds(60);
    ASSERT_NO_FATAL_FAILURE(ShowOnCharger());
    SendFull(90);
    m_dialog.Redraw();
    EXPECT_EQ(m_dialog.ViewToMs(), MsAt(1000 + 90 * 1000));
    EXPECT_EQ(m_dialog.ViewToMs() - m_dialog.ViewFromMs(), 60000.0);

    m_dialog.SetPaused(true);
    EXPECT_TRUE(m_dialog.StatusText().startsWith("Paused")) << m_dialog.StatusText().toStdString();
    const double pausedAt = m_dialog.ViewToMs();
    SendFull(5);
    EXPECT_EQ(m_dialog.ViewToMs(), pausedAt);
    EXPECT_EQ(m_dialog.Series().Size(), 95u) << "paused, reports are still taken";
    m_dialog.SetPaused(false);
    EXPECT_EQ(m_dialog.ViewToMs(), MsAt(1000 + 95 * 1000));
}

// Ten minutes shown, ten seconds of reports: the time axis ends at the newest
// report, not in the future, and the curve ends at the right of the plot.
TEST_F(TrendsDialogTest, AShortRecordEndsTheTimeAxisAtTheNewestReport) {
    m_dialog.SetSpanSeconds(600);
    ASSERT_NO_FATAL_FAILURE(ShowOnCharger());
    SendFull(10);
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
    m_dialog.SetSpanSeconds(60);
    ASSERT_NO_FATAL_FAILURE(ShowOnCharger());
    SendFull(90);
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
