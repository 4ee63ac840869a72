// Bench report: what `corvane-cli bench` prints while its chargers are
// served.
//
// Principles of operation
//   One observer of the bench, in one of three forms:
//     - Json: one JSON object per line per event ("appeared", "started",
//       "progress" every 10 blocks, "finished", "gone"), each with "event"
//       and "port", and "slot" when the slot has a label; a finished event
//       carries the outcome and its figures;
//     - Lines: one plain line per event, for logs and pipes, each headed by
//       the slot's label, or its port when it has none;
//     - Table: on a terminal, a table with one row per slot (its label or
//       port, device ID, state or outcome, progress bar with block n of N,
//       versions before and after, time) redrawn in place at most ten times
//       a second and on every change of state; the reasons of failed
//       chargers, and records that could not be written, follow below it.
//       CBenchReportTable fits each frame to the terminal's current size,
//       one line shorter than the screen with the records below it, so a
//       redraw never wraps or scrolls; the last frame, once the bench is
//       idle, lists every slot. Each redraw overwrites the last frame line
//       by line, with cursor up, line feed and the two erasures every
//       terminal has, and never clears the screen from its top (see Redraw).
//     A job that is checking, or has ended, keeps the progress its upload
//     reached.
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

    // Table: out is a terminal, whose size is asked at each redraw.
    CBenchReport(Form form, std::FILE* out) : m_form(form), m_out(out) {}

    void OnBenchEvent(const bench::BenchEvent& event) override;
    // Draws the table a last time (Table only).
    void Finish(const std::vector<bench::SlotInfo>& slots);
    // "4 chargers: 3 upgraded, 1 failed", and "; 2 records could not be
    // written" when the journal did not take some.
    static std::string Summary(const std::vector<bench::SlotInfo>& slots, int recordsFailed = 0);

    // The texts of one event; empty when the form skips it.
    std::string JsonLine(const bench::BenchEvent& event);
    std::string PlainLine(const bench::BenchEvent& event);

private:
    bool ThinnedProgress(const bench::SlotInfo& slot);  // true: skip it
    void Keep(const bench::BenchEvent& event);
    void Draw(bool force, bool final);
    std::vector<std::string> ProblemLines(int columns, int rows, bool final) const;
    static std::string Redraw(int drawn, const std::vector<std::string>& lines);

    Form m_form;
    std::FILE* m_out;
    std::map<int, int> m_lastBlockShown;        // per slot
    std::map<int, bench::SlotInfo> m_rows;      // per slot, with the block to show
    std::vector<std::string> m_recordProblems;  // each said once, below the table
    int m_drawnLines = 0;
    std::chrono::steady_clock::time_point m_lastDraw{};
};
