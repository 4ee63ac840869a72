// History dialog: the service records of this PC's journals in a table,
// as corvane-cli history lists them.
//
// Principles of operation
//   The same reader, filters and summary as the command line's history
//   (records::CHistoryReader, CHistoryTally): the device ID as a search
//   field, the port, a first moment (a date or a span such as 7d) and the
//   outcome. Editing a filter reads the journals again after a short pause,
//   so typing an ID does not read them at every key. The table shows the
//   newest kMaxRows records that match; the summary under it counts all of
//   them. "Add Journal..." reads a journal from another bench PC beside this
//   PC's; "Export CSV..." writes every matching record, not only those
//   shown, in the command line's CSV.
//
// Threads: user-interface thread only; the journals are read there (a
// year of a busy bench in well under a second).
#pragma once

#include <QDialog>

#include <string>
#include <vector>

#include "records/HistoryFilter.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTimer;

class CHistoryDialog : public QDialog {
public:
    enum Column { kTime, kDeviceId, kOutcome, kVersions, kPort, kHost, kTool, kReason, kColumns };
    static constexpr int kMaxRows = 5000;

    explicit CHistoryDialog(QWidget* parent = nullptr);

    // The journals read: this PC's unless set (tests).
    void SetJournals(std::vector<std::string> paths);
    // Reads the journals again with the filters as they stand.
    void Reload();
    void OnAddJournal();
    void OnExportCsv();

    int RowCount() const;
    QString CellText(int row, int column) const;
    QString SummaryText() const;

    QLineEdit* m_editDevice = nullptr;
    QLineEdit* m_editPort = nullptr;
    QLineEdit* m_editSince = nullptr;
    QComboBox* m_comboOutcome = nullptr;
    QPushButton* m_btnAddJournal = nullptr;
    QPushButton* m_btnExport = nullptr;

private:
    void BuildLayout();
    // false when the first moment is neither a date nor a span.
    bool CurrentFilter(records::HistoryFilter& filter) const;

    std::vector<std::string> m_journals;
    QTableWidget* m_table = nullptr;
    QLabel* m_labelSummary = nullptr;
    QTimer* m_reloadTimer = nullptr;
};
