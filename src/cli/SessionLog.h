// Session log: one line per upgrade, appended to a file in the user's state
// folder ($XDG_STATE_HOME/corvane/upgrade.log, ~/.local/state by default).
//
// Principles of operation
//   The line says when, on which port and device, the versions before and
//   after, how many blocks went out with how many resends, and the outcome, so
//   that a bench can tell later which charger got what. A log that cannot be
//   written is reported on standard error and never fails the upgrade.
//
// Threads: the command line's main thread.
#pragma once

#include <string>

struct UpgradeRecord {
    std::string port;
    std::string device;
    std::string versionBefore;
    std::string versionAfter;
    int blocks = 0;
    int resends = 0;
    std::string outcome;
};

std::string SessionLogPath();
// Appends the record; false (and message set) when the file cannot be written.
bool AppendSessionLog(const UpgradeRecord& record, std::string& message);
// The line written for a record, without its newline (time given in ISO 8601).
std::string FormatSessionLine(const UpgradeRecord& record, const std::string& isoTime);
