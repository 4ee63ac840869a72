// History fixture: journals written for the History window's tests, a
// scratch settings and state folder for each test, and waits for the
// window's results.
#pragma once

#include <QStringList>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "TestKit.h"
#include "app/HistoryDialog.h"

namespace historytest {

// A deadline for a hung read, not a measure of speed.
constexpr int kHangMs = 60000;

// One record line, `minute` minutes into December 2026.
inline std::string Record(int minute, const std::string& id, const std::string& outcome,
                          const std::string& reason = "") {
    char time[32];
    std::snprintf(time, sizeof time, "2026-12-%02d%s%02d:%02d:00Z", 1 + minute / 1440, "T",
                  minute / 60 % 24, minute % 60);
    return std::string("{\"time\":\"") + time + "\",\"host\":\"pc1\",\"tool\":\"bench\"," +
           "\"port\":\"/dev/ttyUSB0\",\"deviceId\":\"" + id + "\",\"outcome\":\"" + outcome +
           "\",\"reason\":\"" + (outcome == "failed" && reason.empty() ? "No answer." : reason) +
           "\"}\n";
}

inline void Append(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::app) << text;
}

inline QStringList Column(const CHistoryDialog& dialog, int column) {
    QStringList texts;
    for (int row = 0; row < dialog.RowCount(); ++row) {
        texts << dialog.CellText(row, column);
    }
    return texts;
}

// No test sees this PC's journals or settings, or another test's: a
// settings folder, a state folder (with no journal) and a folder for the
// test's own journals.
class CScratch {
public:
    CScratch() { ::setenv("XDG_STATE_HOME", m_state.Path().c_str(), 1); }
    std::string Path(const std::string& name) const { return m_dir.Path() + "/" + name; }
    std::string StateFolder() const { return m_state.Path() + "/corvane/"; }

private:
    testkit::CScratchConfig m_config;
    testkit::CScratchDir m_state;
    testkit::CScratchDir m_dir;
};

// Counts the whole results the window shows (not the parts of a read), and
// waits for the next.
class CResults {
public:
    explicit CResults(CHistoryDialog& dialog) : m_dialog(dialog) {
        dialog.onShown = [this] { m_count += m_dialog.Reading() ? 0 : 1; };
    }
    ~CResults() { m_dialog.onShown = nullptr; }
    int Count() const { return m_count; }
    bool Next() {
        const int wanted = m_count + 1;
        return QTest::qWaitFor([&] { return m_count >= wanted; }, kHangMs);
    }

private:
    CHistoryDialog& m_dialog;
    int m_count = 0;
};

}  // namespace historytest
