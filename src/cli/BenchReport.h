// Bench report: what `corvane-cli bench` prints while its chargers are
// served.
//
// Principles of operation
//   One observer of the bench, in one of three forms:
//     - Json: one JSON object per line per event ("appeared", "started",
//       "progress" every 10 blocks, "finished", "gone"), each with "event"
//       and "port"; a finished event carries the outcome and its figures;
//     - Lines: one plain line per event, for logs and pipes;
//     - Table: on a terminal, a table with one row per slot (port and by-id
//       name, state, progress bar with block n of N, versions before and
//       after, result and time), redrawn in place; the reasons of failed
//       chargers, and records that could not be written, follow below it.
//   A record that could not be written is its own event ("record-failed",
//   with "problem"), told as it happens.
//   Everything goes to standard output. Summary() is the closing line.
//
// Threads: the bench serialises its observer calls, which come from its job
// threads; Finish and Summary are called by the owner once the bench is idle.
#pragma once

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/BenchObserver.h"

class CBenchReport : public bench::IBenchObserver {
public:
    enum class Form { Json, Lines, Table };

    // columns: the terminal's width; table lines are cut to fit it, so that
    // none wraps and the redraw stays in place (0: no limit).
    CBenchReport(Form form, std::FILE* out, int columns = 0)
        : m_form(form), m_out(out), m_columns(columns) {}

    void OnBenchEvent(const bench::BenchEvent& event) override;
    // Draws the table a last time (Table only).
    void Finish(const std::vector<bench::SlotInfo>& slots);
    // "4 chargers: 3 upgraded, 1 failed"
    static std::string Summary(const std::vector<bench::SlotInfo>& slots);

    // The texts of one event; empty when the form skips it.
    std::string JsonLine(const bench::BenchEvent& event);
    std::string PlainLine(const bench::BenchEvent& event);
    static std::string TableRow(const bench::SlotInfo& slot);

private:
    bool ThinnedProgress(const bench::SlotInfo& slot);  // true: skip it
    void Draw(bool force);

    Form m_form;
    std::FILE* m_out;
    int m_columns;
    std::map<int, int> m_lastBlockShown;  // per slot
    std::map<int, bench::SlotInfo> m_rows;
    std::vector<std::string> m_recordProblems;  // each said once, below the table
    int m_drawnLines = 0;
    std::chrono::steady_clock::time_point m_lastDraw{};
};
