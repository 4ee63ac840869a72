#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "QtTestApp.h"
#include "TestKit.h"
#include "app/VersionPanel.h"
#include "diagnostics/MonitorDialog.h"
#include "serial/SerialPort.h"

namespace {

const char* const kLine = "1,0,1,1f,a,25,26.5,3c,a,12.25,12.5,77,30.75,1.5,0,13.8,14.1";
const std::vector<std::string> kLineRows = {"true",  "false", "CV",    "31",    "10",    "25",
                                            "26.50", "3C",    "000A",  "12.25", "12.50", "77",
                                            "30.75", "1.50",  "13.80", "14.10"};
const std::vector<std::string> kZeroRows = {"false", "false", "CC",   "0",    "0",    "0",
                                            "0.00",  "0",     "0000", "0.00", "0.00", "0",
                                            "0.00",  "0.00",  "0.00", "0.00"};

std::vector<std::string> Rows(const CMonitorDialog& dialog) {
    std::vector<std::string> texts;
    for (const VariableRow& row : FormatVariables(dialog.Variables())) {
        texts.push_back(row.text);
    }
    return texts;
}

// The texts the panel last drew in one column (x in client pixels), top to bottom.
std::vector<std::string> PaintedColumn(const CMonitorDialog& dialog, int x) {
    std::vector<std::pair<int, std::string>> cells;
    for (const CVersionPanel::Drawing& drawing : dialog.Panel().Drawings()) {
        if (drawing.kind == CVersionPanel::Drawing::Kind::Text && drawing.rect.left() == x) {
            cells.emplace_back(drawing.rect.top(), drawing.text.toStdString());
        }
    }
    std::stable_sort(cells.begin(), cells.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> texts;
    for (const auto& cell : cells) {
        texts.push_back(cell.second);
    }
    return texts;
}

class MonitorDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_port.SetPortName(m_pty.SlavePath());
        m_dialog.m_pPort = &m_port;
    }
    void TearDown() override { m_port.Close(); }

    // Opens the monitor and takes its report request off the line.
    void Start() {
        m_dialog.show();
        ASSERT_TRUE(m_port.IsOpen());
        ASSERT_EQ(m_pty.Receive(6, 5000), "\r/011\r");
    }

    // Sends bytes from the charger's side and waits (bounded) until the
    // port's reader has put them all into the receive ring.
    void Feed(const std::string& bytes) {
        const int before = m_port.BytesAvailable();
        m_pty.Send(bytes);
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (m_port.BytesAvailable() < before + static_cast<int>(bytes.size()) &&
               std::chrono::steady_clock::now() < limit) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ASSERT_EQ(m_port.BytesAvailable(), before + static_cast<int>(bytes.size()));
    }

    diagtest::CApplicationFirst m_application;
    testkit::CBoxRecorder m_boxes;
    testkit::CPtyPair m_pty;
    CSerialPort m_port;
    CMonitorDialog m_dialog;
};

TEST_F(MonitorDialogTest, OpensThePortAsksForTheReportAndShowsZeros) {
    EXPECT_EQ(m_dialog.windowTitle(), "Charger Variables");
    EXPECT_EQ(m_dialog.minimumSize(), m_dialog.maximumSize());
    Start();
    EXPECT_TRUE(m_dialog.IsTimerActive());
    EXPECT_EQ(Rows(m_dialog), kZeroRows);
    m_dialog.OnTimer();  // nothing received yet
    EXPECT_EQ(Rows(m_dialog), kZeroRows);
}

TEST_F(MonitorDialogTest, LineIsParsedAndPaintedAtItsCarriageReturn) {
    Start();
    Feed(std::string(kLine) + "\r");
    m_dialog.OnTimer();
    EXPECT_EQ(Rows(m_dialog), kLineRows);
    EXPECT_EQ(m_port.BytesAvailable(), 0);
    // What reached the window: labels at 10 pixels, values at 170, row by row.
    EXPECT_EQ(PaintedColumn(m_dialog, 170), kLineRows);
    const auto labels = PaintedColumn(m_dialog, 10);
    ASSERT_EQ(labels.size(), 16U);
    EXPECT_EQ(labels.front(), "Batt Present");
    EXPECT_EQ(labels.back(), "Supply Voltage");
}

TEST_F(MonitorDialogTest, TwoLinesInOneSecondAreShownOnTwoTicks) {
    Start();
    const std::string second = "0,1,0,2,3,4,5.5,6,7,8.5,9.5,10,11.5,12.5,0,14.5,15.5";
    Feed(std::string(kLine) + "\r" + second + "\r");
    m_dialog.OnTimer();
    EXPECT_EQ(Rows(m_dialog), kLineRows);
    EXPECT_EQ(m_port.BytesAvailable(), static_cast<int>(second.size() + 1));
    m_dialog.OnTimer();
    EXPECT_EQ(m_dialog.Variables().supplyVoltage, 15.5);
    EXPECT_EQ(m_dialog.Variables().radioDetected, 1);
}

TEST_F(MonitorDialogTest, LineSplitAcrossTicksIsJoinedAtItsCarriageReturn) {
    Start();
    const std::string line = kLine;
    Feed(line.substr(0, 20));
    m_dialog.OnTimer();
    EXPECT_EQ(Rows(m_dialog), kZeroRows);
    Feed(line.substr(20) + "\r");
    m_dialog.OnTimer();
    EXPECT_EQ(Rows(m_dialog), kLineRows);
}

TEST_F(MonitorDialogTest, ShortLineLeavesTheRecordAndResetsTheLine) {
    Start();
    Feed(std::string(kLine) + "\r1,1,1\r");
    m_dialog.OnTimer();
    m_dialog.OnTimer();
    EXPECT_EQ(Rows(m_dialog), kLineRows);
    // The short line was consumed; the next line starts afresh.
    Feed("0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,99.5\r");
    m_dialog.OnTimer();
    EXPECT_EQ(m_dialog.Variables().supplyVoltage, 99.5);
}

TEST_F(MonitorDialogTest, BytesAfterTheFirst1024OfALineAreDropped) {
    Start();
    // Seventeen fields whose last one, padded with spaces, ends exactly at
    // byte 1024; the digits after it must not reach the parser.
    std::string line = "1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,";
    line += std::string(1024 - line.size() - 4, ' ') + "7.25";
    ASSERT_EQ(line.size(), CMonitorDialog::kLineSize);
    line += "99,5,5";
    // The port's ring holds 1024 bytes: feed the line in parts, a tick each.
    for (std::size_t at = 0; at < line.size(); at += 500) {
        Feed(line.substr(at, 500));
        m_dialog.OnTimer();
    }
    EXPECT_EQ(Rows(m_dialog), kZeroRows);
    Feed("\r");
    m_dialog.OnTimer();
    EXPECT_EQ(FormatVariables(m_dialog.Variables())[15].text, "7.25");
    EXPECT_EQ(m_dialog.Variables().batteryPresent, 1);
}

TEST_F(MonitorDialogTest, BytesWaitingFromBeforeStartTheFirstLine) {
    const std::string line = kLine;
    ASSERT_TRUE(m_port.Open());
    Feed(line.substr(0, 10));
    m_port.Close();
    Start();
    Feed(line.substr(10) + "\r");
    m_dialog.OnTimer();
    EXPECT_EQ(Rows(m_dialog), kLineRows);
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
    m_port.SetPortName(m_dialog.m_pPort->GetPortName() + "-missing");
    m_dialog.show();
    EXPECT_FALSE(m_port.IsOpen());
    EXPECT_TRUE(m_dialog.IsTimerActive());
    m_dialog.OnTimer();
    EXPECT_EQ(Rows(m_dialog), kZeroRows);
    EXPECT_EQ(m_pty.Receive(1, 200), "");
}

}  // namespace
