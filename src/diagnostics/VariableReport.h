// Variable report: collects the charger's report lines from the port and
// turns each into the sixteen values.
//
// Principles of operation
//   The monitor window and the command line's monitor both ask the charger
//   once with kRequest and then call Tick once a second. A tick takes
//   received bytes up to and including one CR; at the CR the line collected
//   so far (at most kLineSize bytes, the rest dropped until the CR) is parsed
//   into the record. Bytes after that CR wait in the port's receive ring for
//   the next tick, so at most one line is taken a second, and the bytes of a
//   line that straddles two ticks are joined.
//
// Threads: the thread that owns the port; the port's reader fills its ring.
#pragma once

#include <cstddef>

#include "diagnostics/ChargerVariables.h"

class CSerialPort;

class CVariableReport {
public:
    static constexpr std::size_t kLineSize = 1024;
    static constexpr int kTickMs = 1000;
    // Asks the charger's firmware for its variable report.
    static constexpr const char* kRequest = "\r/011\r";

    // Forgets a partly collected line.
    void Clear() { m_lineLength = 0; }
    // One tick; true when a line ended at a CR (and was parsed into vars when
    // it had enough fields).
    bool Tick(CSerialPort& port, ChargerVariables& vars);

private:
    char m_line[kLineSize + 1] = {};  // the line and its NUL
    std::size_t m_lineLength = 0;
};
