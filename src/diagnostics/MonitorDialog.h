// Charger monitor: the "Charger Variables" window of the system menu.
//
// Principles of operation
//   The launcher closes the main window's port, sets m_pPort (and the device
//   path the port's name leads to) and runs the dialog modally. On its first
//   showing the dialog zeroes the panel's record, starts a one-second timer
//   and starts a report feed on the port, the same feed the trends window
//   uses: it opens the port under the name the main window gave it and asks
//   the charger for its variable report. Each tick (OnTimer) polls the feed,
//   which takes every complete line waiting in the port's receive ring (at
//   most 1024 bytes a line, the rest dropped until the CR) and parses them in
//   turn; the panel then repaints the sixteen rows, which so show the newest
//   line that could be read: a charger that reports more than once a second
//   never falls behind. After an unplug the feed closes the port, waits for
//   the device to come back and asks again, without an error box each time.
//
//   A notice in its own band below the sixteen rows says when there is
//   nothing to show: "Waiting for the charger's report" until the first
//   report, "No report since hh:mm:ss" when none has come for three seconds,
//   and that the link is lost while it is. The window is as tall as the rows
//   and that band need. However the window ends (close box, Esc, done(),
//   destruction) the port is left closed.
//
// Threads: user-interface thread only. The port's reader thread fills the
// receive ring; this dialog only takes bytes out of it with ReadByte.
#pragma once

#include <QDialog>

#include <cstddef>
#include <memory>
#include <string>

#include "diagnostics/ChargerVariables.h"
#include "diagnostics/ReportFeed.h"
#include "diagnostics/ReportNotice.h"
#include "diagnostics/VariableReport.h"
#include "diagnostics/WallTime.h"
#include "platform/Clock.h"

class CSerialPort;
class CVersionPanel;
class QLabel;
class QTimer;

class CMonitorDialog : public QDialog {
public:
    static constexpr std::size_t kLineSize = CVariableReport::kLineSize;
    static constexpr int kTimerPeriodMs = 1000;

    explicit CMonitorDialog(QWidget* parent = nullptr);
    ~CMonitorDialog() override;

    // Borrowed from the main window; set before the dialog runs.
    CSerialPort* m_pPort = nullptr;
    // What the port's name leads to, watched for the adapter's return; empty:
    // the port's name resolved as the port itself does.
    std::string m_strDevicePath;
    // The clocks the notice runs on (tests give fakes); set before it runs.
    void SetClocks(platform::IClock& clock, WallClock wallClock);

    // One timer tick; public so that tests can drive the dialog tick by tick.
    void OnTimer();
    // The record the panel shows.
    const ChargerVariables& Variables() const;
    // The panel that draws the rows (tests read its drawings back).
    const CVersionPanel& Panel() const { return *m_panel; }
    // Whether the periodic timer is running.
    bool IsTimerActive() const;
    // The notice under the rows; empty while reports are fresh.
    QString NoticeText() const;
    // Where the notice stands, in client pixels.
    QRect NoticeRect() const;

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool OnInitDialog();
    void OnDestroy();
    void UpdateNotice();

    std::unique_ptr<CVersionPanel> m_panel;
    std::unique_ptr<CReportFeed> m_feed;
    QTimer* m_timer = nullptr;
    QLabel* m_notice = nullptr;
    platform::IClock* m_clock;
    WallClock m_wallClock;
    CReportNotice m_reportNotice;
    QString m_linkText;
    bool m_initialised = false;
};
