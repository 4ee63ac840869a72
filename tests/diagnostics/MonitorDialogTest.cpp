#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "DiagTestFiles.h"
#include "QtTestApp.h"
#include "TestKit.h"
#include "diagnostics/MonitorDialog.h"
#include "diagnostics/VersionPanel.h"
#include "diagnostics/WallTime.h"
#include "serial/ErrorReport.h"
#include "serial/SerialPort.h"
#include "sim/SimulatedCharger.h"

namespace {

using namespace diagtest;

// The texts the panel last drew in one column (x in client pixels), top to bottom.
std::string PaintedColumn(const CMonitorDialog& dialog, int x) {
    std::multimap<int, std::string> cells;
    for (const CVersionPanel::Drawing& drawing : dialog.Panel().Drawings()) {
        if (drawing.kind == CVersionPanel::Drawing::Kind::Text && drawing.rect.left() == x) {
            cells.emplace(drawing.rect.top(), drawing.text.toStdString());
        }
    }
    std::string texts;
    for (const auto& cell : cells) {
        texts += (texts.empty() ? "" : ",") + cell.second;
    }
    return texts;
}

// The monitor on one end of a pseudo-terminal; the test plays the charger.
class MonitorDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_port.SetPortName(m_pty.SlavePath());
        m_dialog.m_pPort = &m_port;
    }

    // Opens the monitor and takes its report request off the line.
    void Start() {
        m_dialog.show();
        ASSERT_TRUE(m_port.IsOpen());
        ASSERT_EQ(m_pty.Receive(6, 5000), "\r/011\r");
    }

    // Sends bytes from the charger's side and waits (bounded) until the
    // port's reader has put them all into the receive ring.
    void Feed(const std::string& bytes) {
        const int expected = m_port.BytesAvailable() + static_cast<int>(bytes.size());
        m_pty.Send(bytes);
        for (int wait = 0; wait < 2500 && m_port.BytesAvailable() < expected; ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ASSERT_EQ(m_port.BytesAvailable(), expected);
    }

    // A healthy simulated charger and the monitor on its line.
    void StartSimulator() {
        m_charger = std::make_unique<sim::CSimulatedCharger>(sim::SimOptions{});
        ASSERT_TRUE(m_charger->Start()) << m_charger->ErrorText();
        m_port.SetPortName(m_charger->SlavePath());
        m_dialog.show();
        ASSERT_TRUE(m_port.IsOpen());
    }

    // Ticks as the timer would until a line has been shown; gives up after
    // about five seconds.
    bool TickUntilReported() {
        for (int tick = 0; tick < 250 && m_dialog.Variables().supplyVoltage == 0.0; ++tick) {
            m_dialog.OnTimer();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return m_dialog.Variables().supplyVoltage != 0.0;
    }

    diagtest::CApplicationFirst m_application;
    testkit::CBoxRecorder m_boxes;
    testkit::CPtyPair m_pty;
    std::unique_ptr<sim::CSimulatedCharger> m_charger;
    CSerialPort m_port;
    CMonitorDialog m_dialog;
};

// Each tick takes every complete line waiting and shows the newest that
// could be read: a step feeds bytes, ticks once, then checks the rows.
TEST_F(MonitorDialogTest, AsksForTheReportThenShowsTheNewestLineEachTick) {
    EXPECT_EQ(m_dialog.windowTitle(), "Charger Variables");
    EXPECT_EQ(m_dialog.minimumSize(), m_dialog.maximumSize());
    // Bytes already waiting when the monitor starts begin its first line.
    ASSERT_TRUE(m_port.Open());
    Feed(kFullLine.substr(0, 10));
    m_port.Close();
    Start();
    EXPECT_TRUE(m_dialog.IsTimerActive());
    const std::string second = "0,1,0,2,3,4,5.5,6,7,8.5,9.5,10,11.5,12.5,0,14.5,15.5\r";
    const char* const secondRows =
        "false,true,CC,2,3,4,5.50,6,0007,8.50,9.50,10,11.50,12.50,14.50,15.50";
    const std::string third = "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,99.5\r";
    const char* const thirdRows =
        "false,false,CC,0,0,0,0.00,0,0000,0.00,0.00,0,0.00,0.00,0.00,99.50";
    // Seventeen fields whose last one, padded with spaces, ends exactly at
    // byte 1024; the digits after it must not reach the parser.
    std::string longLine = "1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,";
    longLine += std::string(CMonitorDialog::kLineSize - longLine.size() - 4, ' ') + "7.25";
    longLine += "99,5,5";
    const struct {
        std::string feed;
        std::string rows;
    } steps[] = {
        {"", kZeroRows},                                     // nothing received yet
        {kFullLine.substr(10, 10), kZeroRows},               // a line split across ticks is joined
        {kFullLine.substr(20) + "\r" + second, secondRows},  // two lines in a second: the newer
        {third + "1,1,1\r", thirdRows},  // a short line after a sound one changes nothing
        // The port's ring holds 1024 bytes: the long line comes in parts.
        {longLine.substr(0, 500), thirdRows},
        {longLine.substr(500, 500), thirdRows},
        {longLine.substr(1000), thirdRows},
        {"\r", "true,true,CV,1,1,1,1.00,1,0001,1.00,1.00,1,1.00,1.00,1.00,7.25"},
    };
    for (const auto& step : steps) {
        if (!step.feed.empty()) {
            Feed(step.feed);
        }
        m_dialog.OnTimer();
        EXPECT_EQ(Rows(m_dialog.Variables()), step.rows) << step.feed;
        EXPECT_EQ(m_port.BytesAvailable(), 0) << step.feed;
    }
    // What reached the window: labels at 10 pixels, values at 170, row by row.
    EXPECT_EQ(PaintedColumn(m_dialog, 170), std::end(steps)[-1].rows);
    const std::string labels = PaintedColumn(m_dialog, 10);
    EXPECT_EQ(std::count(labels.begin(), labels.end(), ','), 15) << labels;
    EXPECT_TRUE(labels.starts_with("Batt Present,") && labels.ends_with(",Supply Voltage"))
        << labels;
}

// A charger that reports faster than the ring is emptied fills it; the line
// cut short there must not be completed by the bytes of a later report.
TEST_F(MonitorDialogTest, AFullReceiveRingNeverGluesTwoReportsTogether) {
    Start();
    std::string burst;
    for (int line = 0; line < 16; ++line) {
        burst += kFullLine + "\r";  // 16 x 68 bytes: the ring keeps 15 lines and 4 bytes
    }
    m_pty.Send(burst);
    for (int wait = 0; wait < 2500 && m_port.BytesAvailable() < 1024; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_EQ(m_port.BytesAvailable(), 1024);
    m_dialog.OnTimer();
    EXPECT_EQ(Rows(m_dialog.Variables()), kFullRows);
    const std::string later = "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,99.5\r";
    Feed(later);  // would end the cut line as 19 fields, all moved two places
    m_dialog.OnTimer();
    EXPECT_EQ(Rows(m_dialog.Variables()), kFullRows);
    Feed(later);
    m_dialog.OnTimer();
    EXPECT_EQ(Rows(m_dialog.Variables()),
              "false,false,CC,0,0,0,0.00,0,0000,0.00,0.00,0,0.00,0.00,0.00,99.50");
}

// Zeros are never left to pass for readings: the notice says whether a
// report has come and, once they stop, since when.
TEST_F(MonitorDialogTest, NoticeSaysWaitingUntilTheFirstReportThenWhenReportsStop) {
    testkit::CFakeClock clock(5000);
    const WallTimePoint start = std::chrono::system_clock::from_time_t(1800000000);
    m_dialog.SetClocks(clock, [&] { return start + std::chrono::milliseconds(clock.NowMs()); });
    Start();
    EXPECT_EQ(m_dialog.NoticeText(), "Waiting for the charger's report");
    Feed("1,1,1\r");  // a line, but not one that can be read
    m_dialog.OnTimer();
    EXPECT_EQ(m_dialog.NoticeText(), "Waiting for the charger's report");
    Feed(kFullLine + "\r");
    m_dialog.OnTimer();
    EXPECT_EQ(m_dialog.NoticeText(), "");
    // The notice has its own band: below the last row, inside the window.
    int rowsBottom = 0;
    for (const CVersionPanel::Drawing& drawing : m_dialog.Panel().Drawings()) {
        if (drawing.kind == CVersionPanel::Drawing::Kind::Text) {
            rowsBottom = std::max(rowsBottom, drawing.rect.bottom());
        }
    }
    EXPECT_GT(m_dialog.NoticeRect().top(), rowsBottom);
    EXPECT_LE(m_dialog.NoticeRect().bottom(), m_dialog.height());
    const std::string since = ClockTime(start + std::chrono::milliseconds(5000));
    clock.Advance(2999);
    m_dialog.OnTimer();
    EXPECT_EQ(m_dialog.NoticeText(), "");
    clock.Advance(1);
    m_dialog.OnTimer();
    EXPECT_EQ(m_dialog.NoticeText(), QString::fromStdString("No report since " + since));
}

TEST_F(MonitorDialogTest, EveryWayOutLeavesThePortClosed) {
    Start();
    m_dialog.reject();  // Esc
    EXPECT_FALSE(m_port.IsOpen());
    EXPECT_FALSE(m_dialog.IsTimerActive());

    Start();           // a second run opens and asks again
    m_dialog.close();  // the close box
    EXPECT_FALSE(m_port.IsOpen());

    {
        CMonitorDialog dropped;
        dropped.m_pPort = &m_port;
        dropped.show();
        ASSERT_TRUE(m_port.IsOpen());
    }
    EXPECT_FALSE(m_port.IsOpen());
}

TEST_F(MonitorDialogTest, PortThatCannotOpenSendsNothingAndKeepsZeros) {
    m_port.SetPortName(m_pty.SlavePath() + "-missing");
    m_dialog.show();
    EXPECT_FALSE(m_port.IsOpen());
    EXPECT_TRUE(m_dialog.IsTimerActive());
    m_dialog.OnTimer();
    EXPECT_EQ(Rows(m_dialog.Variables()), kZeroRows);
    EXPECT_EQ(m_pty.Receive(1, 200), "");
}

// The device opens but refuses the line settings: the monitor would read a
// charger on the wrong settings, so the port's box is shown, once.
TEST_F(MonitorDialogTest, RefusedLineSettingsOfAGoodOpenAreShownOnce) {
    testkit::CDebugRecorder debug;
    platform::SerialLineSettings settings;
    settings.baudRate = 12345;  // no such speed
    m_port.SetLineSettings(settings);
    m_port.SetPortName(m_pty.SlavePath());
    m_dialog.show();
    ASSERT_TRUE(m_port.IsOpen());
    m_dialog.OnTimer();
    ASSERT_EQ(m_boxes.Count(), 1U);
    EXPECT_EQ(m_boxes.Boxes()[0].text, kCommErrorText);
    EXPECT_EQ(debug.Text(), "SetCommState");
}

// Unplugged, the monitor waits for the charger and asks again when it is
// back, as the trends window does, and shows no error box on the way.
TEST_F(MonitorDialogTest, ReconnectsAfterAnUnplugWithoutABox) {
    testkit::CScratchDir scratch;
    const std::string link = scratch.Path() + "/charger";
    auto charger = std::make_unique<testkit::CPtyPair>();
    std::filesystem::create_symlink(charger->SlavePath(), link);
    testkit::CFakeClock clock(1000);
    m_dialog.SetClocks(clock, SystemWallTime);
    m_port.SetPortName(link);
    m_dialog.m_strDevicePath = link;
    m_dialog.show();
    ASSERT_EQ(charger->Receive(6, 5000), "\r/011\r");

    std::filesystem::remove(link);
    charger->HangUp();
    for (int wait = 0; wait < 2500 && !m_port.IsLost(); ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));  // the reader sees it go
    }
    clock.Advance(1000);
    m_dialog.OnTimer();
    EXPECT_FALSE(m_port.IsOpen());
    EXPECT_TRUE(m_dialog.NoticeText().startsWith("Link lost"))
        << m_dialog.NoticeText().toStdString();

    charger = std::make_unique<testkit::CPtyPair>();
    std::filesystem::create_symlink(charger->SlavePath(), link);
    clock.Advance(1000);
    m_dialog.OnTimer();
    ASSERT_TRUE(m_port.IsOpen());
    EXPECT_EQ(charger->Receive(6, 5000), "\r/011\r");
    charger->Send(kFullLine + "\r");
    for (int wait = 0; wait < 2500 && m_port.BytesAvailable() <= static_cast<int>(kFullLine.size());
         ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    m_dialog.OnTimer();
    EXPECT_EQ(Rows(m_dialog.Variables()), kFullRows);
    EXPECT_EQ(m_boxes.Count(), 0u);
}

TEST_F(MonitorDialogTest, SimulatorReportRequestStartsLinesThatReachTheRows) {
    StartSimulator();
    ASSERT_TRUE(TickUntilReported());
    const auto& commands = m_charger->Log().commands;
    EXPECT_EQ(commands.empty() ? "" : commands.back().text, "/011");
    const ChargerVariables& vars = m_dialog.Variables();
    EXPECT_TRUE(Rows(vars).starts_with("true,true,")) << Rows(vars);
    EXPECT_TRUE(vars.systemState == 0x22 || vars.systemState == 0x23) << vars.systemState;
    EXPECT_NEAR(vars.trimPotPosition, 0x80, 3);
    EXPECT_NEAR(vars.supplyVoltage, 24.0, 0.06);
    EXPECT_EQ(PaintedColumn(m_dialog, 170), Rows(vars));
}

}  // namespace
