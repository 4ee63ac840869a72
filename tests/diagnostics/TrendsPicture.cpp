// Draws the picture of the Charger Trends window for the README: ten minutes
// of a charge, played on a pseudo-terminal in virtual time (a report a
// second), with eight values ticked.
// Usage: trends_picture FILE [WIDTH [HEIGHT [VALUES [bottom]]]]
// VALUES is how many values are ticked (1 to 16, eight unless given);
// "bottom" scrolls the strips to their end before the picture is taken.
// Run it with a scratch XDG_CONFIG_HOME: the window stores its ticks.
#include <QApplication>
#include <QPixmap>
#include <QScrollArea>
#include <QScrollBar>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "TestKit.h"
#include "diagnostics/TrendsDialog.h"
#include "serial/SerialPort.h"

namespace {

// The values ticked first: the charge's own curves and its two-state
// values, then the rest in list order.
constexpr int kPreferred[] = {8, 12, 13, 14, 0, 2, 7, 15, 1, 3, 4, 5, 6, 9, 10, 11};

// One report of a charge `second` seconds in: constant current up to the
// change to constant voltage at 360 s, then a falling current.
std::string ChargeReport(int second) {
    const bool cv = second >= 360;
    const double current = cv ? 7.6 * std::exp(-(second - 360) / 150.0) + 0.4 : 8.0;
    const double voltage = cv ? 28.8 : 25.2 + 3.6 * second / 360.0;
    const int nac = 420 + second / 2;
    const double temp = 31.0 + 6.0 * (1.0 - std::exp(-second / 200.0));
    char line[160];
    std::snprintf(line, sizeof line,
                  "1,1,%d,22,80,27,27.4,%X,%X,%.2f,%.2f,%d,%.2f,%.2f,0,%.2f,%.2f\r", cv ? 1 : 0,
                  40 + second / 20, nac, voltage + 0.1, voltage + 0.05, second / 60, temp, current,
                  voltage, 31.5);
    return line;
}

int Argument(int argc, char* argv[], int index, int fallback) {
    return argc > index ? std::atoi(argv[index]) : fallback;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: trends_picture FILE [WIDTH [HEIGHT [VALUES [bottom]]]]\n");
        return 2;
    }
    QApplication app(argc, argv);
    const int width = Argument(argc, argv, 2, 960);
    const int height = Argument(argc, argv, 3, 620);
    const int values = std::clamp(Argument(argc, argv, 4, 8), 1, kVariableRows);
    const bool bottom = argc > 5 && std::strcmp(argv[5], "bottom") == 0;
    testkit::CPtyPair charger;
    testkit::CFakeClock clock(1000);
    const auto start = std::chrono::system_clock::from_time_t(1800000000 - 17);
    CSerialPort port;
    port.SetPortName(charger.SlavePath());
    CTrendsDialog dialog;
    dialog.m_pPort = &port;
    dialog.m_strDevicePath = charger.SlavePath();
    dialog.SetClocks(clock, [&] { return start + std::chrono::milliseconds(clock.NowMs()); });
    for (int row = 0; row < kVariableRows; ++row) {
        dialog.SetPlotted(row, false);
    }
    for (int i = 0; i < values; ++i) {
        dialog.SetPlotted(kPreferred[i], true);
    }
    dialog.SetSpanSeconds(600);
    dialog.resize(width, height);
    dialog.show();
    charger.Receive(6, 5000);  // the report request
    for (int second = 0; second < 600; ++second) {
        const std::string line = ChargeReport(second);
        const int expected = port.BytesAvailable() + static_cast<int>(line.size());
        charger.Send(line);
        for (int wait = 0; wait < 2500 && port.BytesAvailable() < expected; ++wait) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        clock.Advance(1000);
        dialog.OnTimer();
    }
    dialog.Redraw();
    QApplication::processEvents();
    if (bottom) {
        QScrollBar* down = dialog.findChild<QScrollArea*>()->verticalScrollBar();
        down->setValue(down->maximum());
        QApplication::processEvents();
    }
    const bool saved = dialog.grab().save(QString::fromLocal8Bit(argv[1]), "PNG");
    dialog.reject();
    return saved ? 0 : 1;
}
