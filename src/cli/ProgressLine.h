// Progress line: the upload's progress on standard error.
//
// Principles of operation
//   On a terminal one line is redrawn in place: block n of N, percentage,
//   elapsed time, an estimate of the time left and the count of resends. When
//   standard error is not a terminal (a log, a pipe) a plain line is written
//   every 10 blocks instead, so logs stay readable. Nothing goes to standard
//   output, which belongs to the command's result.
//
// Threads: the command line's main thread.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

class CProgressLine {
public:
    CProgressLine(std::FILE* out, bool isTerminal) : m_out(out), m_terminal(isTerminal) {}

    // block 0 starts a transfer of total blocks.
    void Update(int block, int total, int resends, std::uint32_t elapsedMs);
    // Ends the line (terminal) after the last update.
    void Finish();

    // The text of one update, without line control.
    static std::string Format(int block, int total, int resends, std::uint32_t elapsedMs);

private:
    std::FILE* m_out;
    bool m_terminal;
    int m_lastPrinted = -100;  // far below any block, so the first update prints
    bool m_open = false;
};
