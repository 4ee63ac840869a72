#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "QtTestApp.h"
#include "TestKit.h"
#include "app/VersionPanel.h"
#include "diagnostics/MonitorDialog.h"
#include "serial/SerialPort.h"
#include "sim/SimulatedCharger.h"

namespace {

sim::SimOptions FastReports() {
    sim::SimOptions options;
    options.paceOutput = false;
    options.replyDelayMs = 1;
    options.reportPeriodMs = 50;
    return options;
}

// The monitor on the simulated charger's line, through the real serial port.
class MonitorSimTest : public ::testing::Test {
protected:
    void Run(const sim::SimOptions& options) {
        m_charger = std::make_unique<sim::CSimulatedCharger>(options);
        ASSERT_TRUE(m_charger->Start()) << m_charger->ErrorText();
        m_port.SetPortName(m_charger->SlavePath());
        m_dialog.m_pPort = &m_port;
        m_dialog.show();
        ASSERT_TRUE(m_port.IsOpen());
    }

    // Ticks the monitor as its timer would, until the condition holds or
    // about five seconds have passed; the charger reports every 50 ms.
    bool TickUntil(const std::function<bool()>& done) {
        for (int tick = 0; tick < 250; ++tick) {
            m_dialog.OnTimer();
            if (done()) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    int ReportLines() const { return m_charger->Log().reportLines; }

    void TearDown() override {
        m_dialog.reject();
        EXPECT_FALSE(m_port.IsOpen());
    }

    diagtest::CApplicationFirst m_application;
    testkit::CBoxRecorder m_boxes;
    std::unique_ptr<sim::CSimulatedCharger> m_charger;
    CSerialPort m_port;
    CMonitorDialog m_dialog;
};

TEST_F(MonitorSimTest, ReportRequestStartsLinesThatReachTheRows) {
    Run(FastReports());
    ASSERT_TRUE(TickUntil([&] { return m_dialog.Variables().supplyVoltage != 0.0; }));
    const auto commands = m_charger->Log().commands;
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back().text, "/011");

    const ChargerVariables& vars = m_dialog.Variables();
    EXPECT_EQ(vars.batteryPresent, 1);
    EXPECT_EQ(vars.radioDetected, 1);
    EXPECT_TRUE(vars.systemState == 0x22 || vars.systemState == 0x23) << vars.systemState;
    EXPECT_NEAR(vars.trimPotPosition, 0x80, 3);
    EXPECT_NEAR(vars.supplyVoltage, 24.0, 0.06);

    // The painted values are the record's rows.
    std::vector<std::string> painted;
    for (const CVersionPanel::Drawing& drawing : m_dialog.Panel().Drawings()) {
        if (drawing.kind == CVersionPanel::Drawing::Kind::Text && drawing.rect.left() == 170) {
            painted.push_back(drawing.text.toStdString());
        }
    }
    std::vector<std::string> rows;
    for (const VariableRow& row : FormatVariables(vars)) {
        rows.push_back(row.text);
    }
    EXPECT_EQ(painted, rows);
}

TEST_F(MonitorSimTest, LinesWithoutHexDigitsInTheGasGaugeKeepItsValue) {
    sim::SimOptions options = FastReports();
    options.reportFault = sim::ReportFault::NonHexField;
    Run(options);
    ASSERT_TRUE(TickUntil([&] { return m_dialog.Variables().supplyVoltage != 0.0; }));
    ASSERT_TRUE(TickUntil([&] { return ReportLines() >= 3; }));
    m_dialog.OnTimer();
    EXPECT_EQ(m_dialog.Variables().gasGauge, 0);
    EXPECT_EQ(m_dialog.Variables().batteryPresent, 1);
}

}  // namespace
