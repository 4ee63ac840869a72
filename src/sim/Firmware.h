// Firmware: the charger's own program, as the utility sees it on the line.
//
// Principles of operation
//   The firmware answers the commands the charger engine hands it:
//     "/00"    identification, after the reply delay: a "deviceid" line, a
//              "Boot <boot code>" line and a "V<version> ..." line;
//     "/011"   starts the variable report, one line per report period;
//     "/01-"   stops the report (the identification request begins with it);
//     "/0842"  hands over to the boot loader (the engine switches modes).
//   Anything else is ignored, as a real charger ignores what it does not
//   know. The identification faults (no "Boot" line, no "V" line, a
//   lower-case "v", lines of 300 characters) shape the reply here.
//
// Threads: used under the simulator's lock only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/SimLog.h"
#include "sim/SimOptions.h"
#include "sim/Transmitter.h"
#include "sim/VariableReport.h"

namespace sim {

class CFirmware {
public:
    CFirmware(const SimOptions& options, CTransmitter& out, SimLog& log);

    // The firmware of the given version starts running.
    void Start(const std::string& version);
    // It stops running (hand-over to the boot loader): the report ends.
    void Stop();
    // Handles one command; true when the command asks for the boot loader.
    bool OnCommand(const std::string& text, std::int64_t nowMs);
    void OnTime(std::int64_t nowMs);
    // When OnTime next has something to do; -1 when it never will.
    std::int64_t Deadline() const;
    bool Reporting() const { return m_reporting; }

    // The identification reply lines, without line ends.
    std::vector<std::string> IdentityLines() const;

private:
    std::string Padded(std::string line) const;

    const SimOptions& m_options;
    CTransmitter& m_out;
    SimLog& m_log;
    CVariableReport m_report;
    std::string m_version;
    bool m_reporting = false;
    std::int64_t m_nextReportMs = 0;
};

}  // namespace sim
