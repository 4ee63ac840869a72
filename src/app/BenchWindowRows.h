// Bench window rows: the bench window's table, one row per slot.
//
// Principles of operation
//   The bench window hands each engine event to Show, on the window's
//   thread. A row keeps its slot's last picture and draws it in ten
//   columns: slot, port, device ID, state, progress, the versions before and
//   after, resends, result and time.
//     - The slot is the label of the place the charger sits in
//       (SlotNames.h); its column shows only once some slot has a label.
//     - The port is cut at its start, where by-id names are alike, and
//       is whole in its tool tip with the device and its by-id name.
//     - The bar follows the upload block by block, and stays where the
//       upload left it while the versions are read again ("Checking") and
//       once the job has ended.
//     - The time runs on while a job runs, also while it waits for its
//       charger: a timer draws it from the last event's figure and the time
//       since that event.
//     - The result says how the job ended: red with the reason when it
//       failed, amber "No firmware" for a charger that answered without
//       firmware, green otherwise. It stays on one line; a long one is cut
//       and whole in its tool tip, so rows keep one height; the window
//       lists the failures' reasons below the table (FailureLines).
//     - The tally counts the jobs as the records do: each finished job once,
//       also when its row has since served another charger, and a job that
//       heard no byte from a charger, which leaves no record, apart from the
//       failed ones, as the command line's bench does.
//
// Threads: the window's thread only.
#pragma once

#include <QTableWidget>

#include <functional>
#include <map>
#include <vector>

#include "bench/BenchTypes.h"

class QTimer;

class CBenchWindowRows : public QTableWidget {
public:
    enum Column {
        kSlot,
        kPort,
        kDeviceId,
        kState,
        kProgress,
        kBefore,
        kAfter,
        kResends,
        kResult,
        kTime,
        kColumns
    };

    // How the jobs since Clear ended.
    struct Tally {
        int upgraded = 0;
        int current = 0;
        int read = 0;
        int noFirmware = 0;  // of the read ones
        int failed = 0;
        int unanswered = 0;  // no byte heard: not recorded, not failed
    };

    // nowMs: a monotonic clock in milliseconds for the running time; null:
    // the steady clock.
    explicit CBenchWindowRows(QWidget* parent, std::function<qint64()> nowMs = nullptr);

    void Clear();
    // Draws one event in its slot's row (made on the slot's first event).
    void Show(const bench::BenchEvent& event);
    // Draws the time of every running job; the timer calls it.
    void Tick();

    QString CellText(int row, Column column) const;
    QString CellToolTip(int row, Column column) const;
    const Tally& Count() const { return m_tally; }
    // "Upgraded 3, already current 0, read 0, failed 1.", and "; 2 without
    // an answer, not recorded" before its full stop when some were.
    QString TallyLine() const;
    // "charger-3: The upload failed at block 10 of 101. ...", one per failed
    // row, named by its label, else the port by its file name.
    QStringList FailureLines() const;

private:
    struct Row {
        bench::SlotInfo slot;
        int block = 0;  // the block the bar shows
        int total = 0;
        double seconds = 0;  // the job's time at its last event...
        qint64 atMs = 0;     // ...which came then
        bool running = false;
    };

    void SetUpColumns();
    int RowFor(const bench::SlotInfo& slot);
    void Keep(Row& row, const bench::BenchEvent& event);
    void CountResult(const bench::RunResult& result);
    void Draw(int index);
    void DrawProgress(int index);
    void DrawResult(int index);
    void DrawTime(int index);
    QTableWidgetItem& Item(int row, Column column) const;

    std::function<qint64()> m_nowMs;
    QTimer* m_timer = nullptr;
    std::vector<Row> m_rows;
    std::map<int, int> m_rowOfSlot;
    Tally m_tally;
};
