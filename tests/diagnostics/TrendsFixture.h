// The trends window on a played charger, and readers of what its charts
// show, shared by the trends tests.
#pragma once

#include <gtest/gtest.h>

#include <QChart>
#include <QChartView>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "DiagTestFiles.h"
#include "QtTestApp.h"
#include "TestKit.h"
#include "diagnostics/TrendsDialog.h"
#include "diagnostics/WallTime.h"
#include "serial/SerialPort.h"

namespace diagtest {

// The labels Qt Charts shows on one axis of a chart, as laid out: the
// visible texts left of the plot (the value axis, bottom to top) or under it
// (the time axis, left to right), each with its place in the chart view.
struct ShownLabel {
    QString text;
    QRectF rect;
};
enum class Axis { Values, Times };
inline std::vector<ShownLabel> ShownLabels(const QChartView& view, Axis axis) {
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

inline QStringList Texts(const std::vector<ShownLabel>& labels) {
    QStringList texts;
    for (const ShownLabel& label : labels) {
        texts << label.text;
    }
    return texts;
}

// The strips' charts, top to bottom.
inline std::vector<QChartView*> StripViews(const QWidget& window) {
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
// wall clock is a fixed start plus the fake clock. One fixture for every
// trends test file (Google Test wants one type behind one suite name), so
// it lives outside an unnamed namespace.
class TrendsDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_port.SetPortName(m_link);
        m_dialog.m_pPort = &m_port;
        m_dialog.m_strDevicePath = m_link;
        m_dialog.SetClocks(m_clock, [this] { return At(m_clock.NowMs()); });
    }

    WallTimePoint At(std::uint32_t ms) const { return m_start + std::chrono::milliseconds(ms); }
    double MsAt(std::uint32_t ms) const {
        return static_cast<double>(
            std::chrono::duration_cast<std::chrono::milliseconds>(At(ms).time_since_epoch())
                .count());
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
    // A charger is plugged in and the window shown: it asks for the report.
    // Call it inside ASSERT_NO_FATAL_FAILURE.
    void ShowOnCharger() {
        PlugIn();
        m_dialog.show();
        ASSERT_EQ(m_charger->Receive(6, 5000), "\r/011\r");
    }

    // Only the given rows ticked.
    void TickOnly(std::initializer_list<int> rows) {
        for (int row = 0; row < kVariableRows; ++row) {
            m_dialog.SetPlotted(row, std::find(rows.begin(), rows.end(), row) != rows.end());
        }
    }
    void TickAll(bool ticked) {
        for (int row = 0; row < kVariableRows; ++row) {
            m_dialog.SetPlotted(row, ticked);
        }
    }

    // The charger sends bytes; waits (bounded) until the port has them all.
    void Send(const std::string& bytes) {
        const int expected = m_port.BytesAvailable() + static_cast<int>(bytes.size());
        m_charger->Send(bytes);
        for (int wait = 0; wait < 2500 && m_port.BytesAvailable() < expected; ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ASSERT_EQ(m_port.BytesAvailable(), expected);
    }

    // The same full report, a second apart.
    void SendFull(int seconds) {
        for (int second = 0; second < seconds; ++second) {
            Send(kFullLine + "\r");
            PollAfter(1000);
        }
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

    CApplicationFirst m_application;
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

}  // namespace diagtest
