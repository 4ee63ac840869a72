// Charger monitor: the "Charger Variables" window of the system menu.
//
// Principles of operation
//   The launcher closes the main window's port, sets m_pPort and runs the
//   dialog modally. On its first showing the dialog opens the port under the
//   name the main window gave it, zeroes the panel's record, starts a
//   one-second timer and asks the charger once for its variable report. Each
//   tick (OnTimer) takes received bytes up to and including one CR: the line
//   collected so far (at most 1024 bytes, the rest dropped until the CR) is
//   parsed and the panel repaints the sixteen rows. Bytes after that CR wait
//   in the port's receive ring for the next tick, so at most one line is
//   shown per second. However the window ends (close box, Esc, done(),
//   destruction) the port is left closed.
//
// Threads: user-interface thread only. The port's reader thread fills the
// receive ring; this dialog only takes bytes out of it with ReadByte.
#pragma once

#include <QDialog>

#include <cstddef>
#include <memory>

#include "diagnostics/ChargerVariables.h"
#include "diagnostics/VariableReport.h"

class CSerialPort;
class CVersionPanel;
class QTimer;

class CMonitorDialog : public QDialog {
public:
    static constexpr std::size_t kLineSize = CVariableReport::kLineSize;
    static constexpr int kTimerPeriodMs = 1000;

    explicit CMonitorDialog(QWidget* parent = nullptr);
    ~CMonitorDialog() override;

    // Borrowed from the main window; set before the dialog runs.
    CSerialPort* m_pPort = nullptr;

    // One timer tick; public so that tests can drive the dialog tick by tick.
    void OnTimer();
    // The record the panel shows.
    const ChargerVariables& Variables() const;
    // The panel that draws the rows (tests read its drawings back).
    const CVersionPanel& Panel() const { return *m_panel; }
    // Whether the periodic timer is running.
    bool IsTimerActive() const;

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool OnInitDialog();
    void OnDestroy();

    std::unique_ptr<CVersionPanel> m_panel;
    QTimer* m_timer = nullptr;
    CVariableReport m_report;
    bool m_initialised = false;
};
