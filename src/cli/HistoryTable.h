// History table: service records as aligned lines for a terminal.
//
// Principles of operation
//   The records stream past (a year of a bench is too many to measure
//   first), so columns have fixed widths: time (local), device ID, outcome,
//   versions (before > after), the bench slot's label, port, host and tool,
//   then the reason in what is left. On a narrow terminal the slot goes
//   first (it is shown where it fits), then the least telling columns (tool,
//   host, port), and a value too long for its column is cut with "~" (a port
//   or slot keeps its end, where by-id names and labels differ). Widths are the columns text
//   takes on screen (two for an East Asian character, none for a combining
//   mark), and cuts fall between whole characters. Without a width (standard
//   output is no terminal) nothing is cut. A simulated record's outcome is
//   marked with "*". Every value comes from a journal that may have been
//   gathered from another PC, so its control characters show as escapes
//   (see records/SafeText.h) and never reach the terminal.
//
// Threads: a value belongs to one thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "records/ServiceRecord.h"

class CHistoryTable {
public:
    static constexpr std::size_t kValues = 9;  // the columns, then the reason

    // columns: the terminal's width, 0 when unknown.
    explicit CHistoryTable(int columns);
    std::string Header() const;
    std::string Row(const records::ServiceRecord& record) const;
    // The same row, appended to `out` (the listing's buffer).
    void AppendRow(const records::ServiceRecord& record, std::string& out) const;

private:
    struct Column {
        const char* title;
        std::size_t width;
        bool keepEnd;  // cut from the front
    };
    void AppendLine(const std::string_view (&values)[kValues], std::string& out) const;

    std::vector<Column> m_columns;  // those shown, the reason last
    std::vector<bool> m_shown;      // of all columns, in order
    std::size_t m_reasonWidth = 0;  // 0: not cut
};

// The terminal's width for standard output, 0 when it is no terminal.
int StdoutColumns();
