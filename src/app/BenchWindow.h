// Bench window: several chargers served at once from the window, each on
// its own port, and each new one as it is plugged in.
//
// Principles of operation
//   The window is a front end of the bench engine (bench::CBench). The
//   ports field takes device paths, COM1 to COM4 (as mapped) and patterns
//   such as /dev/serial/by-id/usb-FTDI_* or DIR/charger-*. Start serves the
//   chargers on the ports there now (patterns matched once) and ends when
//   every job has ended; Watch serves each charger as its port appears and
//   empties its row when it goes, until Stop. Stop asks every job to stop,
//   the way a single upgrade stops. The mode (upgrade when needed, force,
//   read only) and the image (the carried one, or a checked file) apply to
//   the next Start or Watch.
//
//   One row per slot (CBenchWindowRows): port, device ID, state, progress,
//   versions, resends, result and the running time. Every result is also
//   recorded where the command line's bench records it (the record journal
//   and the system log). The summary under the table counts the jobs as the
//   records do (CBenchWindowRows::Tally); with the failures' reasons it
//   scrolls when it does not fit, so the window's minimum size holds the
//   table with its scroll bars and the summary side by side, never one over
//   the other.
//
//   The engine tells of its slots on its worker threads; each event is
//   copied and handed to the window's thread through the event queue, and
//   only there drawn. The engine's change descriptor and each path watch's
//   descriptor wake the window through socket notifiers; nothing polls.
//
//   Closing the window (Escape, Close, the close button, Alt+F4) while jobs
//   run asks first, with "Keep Running" as the default: a charger stopped
//   in its upload stays in its boot loader. Stopping them is what Stop is
//   for. The ports field starts with the last ports a run began with.
//
// Threads: the window's thread, except OnBenchEvent (any engine thread),
// which only posts.
#pragma once

#include <QDialog>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/BenchWindowRows.h"
#include "app/ImageChoice.h"
#include "bench/BenchObserver.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QSocketNotifier;
namespace bench {
class CBench;
class CBenchJournal;
}  // namespace bench
namespace records {
class ISystemLog;
}  // namespace records
namespace platform {
class CPathWatch;
}

class CBenchWindow : public QDialog, private bench::IBenchObserver {
public:
    using Column = CBenchWindowRows::Column;

    // systemLog: where results go besides the record journal; null: syslog(3).
    explicit CBenchWindow(QWidget* parent = nullptr, records::ISystemLog* systemLog = nullptr);
    ~CBenchWindow() override;

    void SetPorts(const QString& ports);
    QString Ports() const;
    // 0 upgrade when needed, 1 force, 2 read only.
    void SetMode(int mode);
    // False, with the reason in the summary line, when no port could be served.
    bool Start();
    bool Watch();
    void Stop();
    bool IsRunning() const { return m_running; }

    // Runs once each time a Start or Watch has ended.
    std::function<void()> onRunEnded;

    int RowCount() const { return m_rows->rowCount(); }
    QString CellText(int row, Column column) const { return m_rows->CellText(row, column); }
    const CBenchWindowRows& Rows() const { return *m_rows; }
    QString Summary() const;
    CImageChoice& ImageChoice() { return m_image; }

    void reject() override;

private:
    void BuildControls();
    void OnBenchEvent(const bench::BenchEvent& event) override;
    void OnEvent(const bench::BenchEvent& event);
    void OnChange();
    void OnWatchEvents(platform::CPathWatch& watch);
    bool Begin(bool watching, std::vector<std::string>& ports);
    bool StartWatches(const std::vector<std::string>& patterns, std::vector<std::string>& present);
    void StopWatches();
    void EndBench();
    void Finish();
    void SetRunning(bool running);
    void ShowImage();
    void UpdateSummary();
    void SetSummary(const QString& text);
    bool ConfirmClose();

    QLineEdit* m_editPorts = nullptr;
    QComboBox* m_comboMode = nullptr;
    QLabel* m_labelImage = nullptr;
    QPushButton* m_btnImageFile = nullptr;
    QPushButton* m_btnImageCarried = nullptr;
    QPushButton* m_btnStart = nullptr;
    QPushButton* m_btnWatch = nullptr;
    QPushButton* m_btnStop = nullptr;
    CBenchWindowRows* m_rows = nullptr;
    QLabel* m_labelSummary = nullptr;
    QScrollArea* m_summaryArea = nullptr;  // holds m_labelSummary

    CImageChoice m_image;
    std::unique_ptr<records::ISystemLog> m_ownSystemLog;
    std::unique_ptr<bench::CBenchJournal> m_journal;
    std::unique_ptr<bench::CBench> m_bench;
    QSocketNotifier* m_changeNotifier = nullptr;
    std::vector<std::unique_ptr<platform::CPathWatch>> m_watches;
    std::vector<QSocketNotifier*> m_watchNotifiers;
    bool m_running = false;
    bool m_watching = false;
    bool m_finishing = false;  // the end of the run is queued
    QString m_problem;
    QString m_recordProblem;  // the last record that could not be written
};
