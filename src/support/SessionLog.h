// Session log: one line per upgrade, appended to a file in the user's state
// folder ($XDG_STATE_HOME/corvane/upgrade.log, ~/.local/state by default).
//
// Principles of operation
//   The line says when, on which port and device, which image was sent (its
//   label, size, code CRC, and its file unless it is the carried image), the
//   versions before and after, how many blocks went out with how many
//   resends, and the outcome, so that a bench can tell later which charger
//   got what. The command line and the window write the same line. A log
//   that cannot be written is reported by the caller and never fails the
//   upgrade.
//
// Threads: the thread that ran the upgrade (the command line's main thread
// or the window's user-interface thread).
#pragma once

#include <cstddef>
#include <string>

struct UpgradeRecord {
    std::string port;
    std::string device;
    std::string versionBefore;
    std::string versionAfter;
    int blocks = 0;
    int resends = 0;
    std::string outcome;
    // The image sent: its label, size, code CRC ("20C5") and the file it
    // came from (empty for the carried image).
    std::string imageLabel;
    std::size_t imageBytes = 0;
    std::string imageCrc;
    std::string imagePath;
};

std::string SessionLogPath();
// A file of ours in the user's state folder: $XDG_STATE_HOME/corvane/NAME,
// with ~/.local/state when the variable is unset or not an absolute path.
std::string StateFilePath(const std::string& name);
// Appends the record; false (and message set) when the file cannot be written.
bool AppendSessionLog(const UpgradeRecord& record, std::string& message);
// The line written for a record, without its newline (time given in ISO 8601).
std::string FormatSessionLine(const UpgradeRecord& record, const std::string& isoTime);
