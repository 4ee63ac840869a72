// History dialog: the service records of this PC's journals in a table,
// as corvane-cli history lists them.
//
// Principles of operation
//   The same reader, filters and summary as the command line's history
//   (records::CHistoryReader, CHistoryTally): the device ID as a search
//   field, the port, a first moment (a date or a span such as 7d) and the
//   outcome. The journals are read on the loader's thread (HistoryLoader.h),
//   so a journal of hundreds of thousands of records never stalls typing:
//   a key shows at once, and once the keys pause for kReloadPauseMs the
//   table follows with the newest matching records, while the summary says
//   the reading goes on until it can count them all. Enter in a filter applies it at once; the
//   window has no default button for Enter to press. The table shows the newest kMaxRows records
//   that match; the summary under it counts all of them, and says why the table is empty when there
//   is no journal yet or the first moment cannot be read.
//
//   The journals are watched: records written while the window is open (by
//   this window's Read, the command line, a bench) show after a short pause,
//   and Refresh reads them at once. "Add Journal..." reads a journal from
//   another bench PC beside this PC's, and is remembered for the next time
//   (HistoryJournals.h). "Export CSV..." writes every matching record, not
//   only those shown, in the command line's CSV. Journal texts show as
//   plain text, never as markup.
//
// Threads: user-interface thread only; the reading on the loader's.
#pragma once

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

#include "app/HistoryLoader.h"
#include "app/HistoryModel.h"
#include "records/HistoryFilter.h"

class QComboBox;
class QFileSystemWatcher;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTimer;

class CHistoryDialog : public QDialog {
public:
    using enum CHistoryModel::Column;
    static constexpr int kMaxRows = CHistoryLoader::kMaxRows;
    static constexpr int kReloadPauseMs = 150;

    explicit CHistoryDialog(QWidget* parent = nullptr);

    // The journals read beside the added ones: this PC's unless set (tests).
    void SetJournals(std::vector<std::string> paths);
    // Every journal read: this PC's (or those set) and the added ones.
    std::vector<std::string> Journals() const;
    // Reads the journals again with the filters as they stand.
    void Reload();
    void OnAddJournal();
    void OnExportCsv();

    int RowCount() const;
    QString CellText(int row, int column) const;
    QString SummaryText() const;
    // The pause after a change before the journals are read (a key, a
    // change of a journal).
    QTimer* ReloadTimer() const { return m_reloadTimer; }
    // Requests made of the loader so far: reads, and ends of reads.
    std::uint64_t Reads() const { return m_loader->Requests(); }
    // Whether a read is under way: the table may grow, the summary counts.
    bool Reading() const { return m_reading; }
    void SetClock(platform::IClock& clock) { m_loader->SetClock(clock); }

    // Runs each time the table and summary change: a part of a read, a whole
    // one, or why there is nothing to read.
    std::function<void()> onShown;

    QLineEdit* m_editDevice = nullptr;
    QLineEdit* m_editPort = nullptr;
    QLineEdit* m_editSince = nullptr;
    QComboBox* m_comboOutcome = nullptr;
    QPushButton* m_btnAddJournal = nullptr;
    QPushButton* m_btnRefresh = nullptr;
    QPushButton* m_btnExport = nullptr;
    QLabel* m_labelSummary = nullptr;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildLayout();
    void Connect();
    // false when the first moment is neither a date nor a span.
    bool CurrentFilter(records::HistoryFilter& filter) const;
    void Watch(const std::vector<std::string>& journals);
    void Show(CHistoryLoader::Result& part);
    // Nothing to read, and why.
    void ShowNothing(const QString& why);

    bool m_journalsSet = false;
    std::vector<std::string> m_journals;  // when set
    std::vector<std::string> m_added;
    CHistoryModel* m_model = nullptr;
    QTableView* m_table = nullptr;
    bool m_sized = false;  // the columns fit the first rows shown
    bool m_reading = false;
    QTimer* m_reloadTimer = nullptr;
    QFileSystemWatcher* m_watcher = nullptr;
    CHistoryLoader* m_loader = nullptr;
};
