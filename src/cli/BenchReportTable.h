// Bench report table: the lines of `corvane-cli bench`'s live table for one
// terminal size.
//
// Principles of operation
//   CBenchReport redraws the table in place, so every live frame must fit the
//   terminal: no line reaches its last column (the terminal would wrap it)
//   and a frame has fewer lines than the screen (a taller one scrolls, and the
//   next redraw could no longer reach its top).
//
//   Columns: port, device ID (when any charger sent one), state, progress,
//   the versions before and after, and the time. When any slot has a label
//   (SlotNames.h), the first column is the slot's: its label, or its port
//   when it has none. The state column says how a finished job ended:
//   "upgraded", "current", "read", "no firmware" (a read charger without
//   firmware) or "failed". The state, the versions and the time are never
//   cut; the port gives way first (its file name without the end all ports
//   share, such as "-if00-port0", then cut at its start), then the progress
//   bar, down to its block count.
//
//   When everything fits, each slot has a row and each failed charger's
//   reason follows under the table on lines of its own. When not, a frame
//   holds the failed rows with their reasons and then the busy rows, as many
//   as fit (a third of the room is kept for busy rows), and a closing line
//   counts every slot. A final frame holds every
//   row, whatever the height: it is drawn once, after the last redraw.
//
// Threads: a value; each call works on its arguments only.
#pragma once

#include <string>
#include <vector>

#include "bench/BenchTypes.h"

class CBenchReportTable {
public:
    // The terminal's size in characters; 0 for no limit.
    CBenchReportTable(int columns, int rows) : m_columns(columns), m_rows(rows) {}

    // The lines of one frame for the slots in their order; slot.block is the
    // block to show (kept by the caller while a job checks or has ended).
    std::vector<std::string> Frame(const std::vector<bench::SlotInfo>& slots, bool final) const;

    // What the state column says of a slot.
    static std::string StateWord(const bench::SlotInfo& slot);
    // What names a slot: its label, or its port when it has none.
    static const std::string& Name(const bench::SlotInfo& slot) {
        return slot.label.empty() ? slot.port : slot.label;
    }

private:
    struct Widths {
        int port = 0;
        bool labels = false;        // some slot has a label: the column is SLOT
        bool basenames = false;     // ports shown by their file names...
        std::size_t commonEnd = 0;  // ...without the end they all share
        int id = 0;                 // 0: no device ID column
        int state = 0;
        int bar = 0;  // cells of the progress bar; 0: the count only
        int count = 0;
        int progress = 0;
        int before = 0;
        int after = 0;
        int time = 0;
    };

    int Usable() const;
    Widths Fit(const std::vector<bench::SlotInfo>& slots) const;
    static std::string Port(const bench::SlotInfo& slot, const Widths& w);
    std::string Header(const Widths& w) const;
    std::string Row(const bench::SlotInfo& slot, const Widths& w) const;
    std::vector<std::string> Reason(const bench::SlotInfo& slot, const Widths& w) const;
    std::vector<std::string> Compact(const std::vector<bench::SlotInfo>& slots,
                                     const Widths& w) const;

    int m_columns;
    int m_rows;
};
