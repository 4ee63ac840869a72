// Session log: the file single upgrades were once recorded in
// ($XDG_STATE_HOME/corvane/upgrade.log, ~/.local/state by default), and the
// folder of the user's state files.
//
// Principles of operation
//   The window and the command line wrote one key=value line per upgrade
//   here: when, the port and device, the image sent (label, size, code CRC,
//   and its file unless it was the carried image), the versions before and
//   after, blocks, resends and the outcome. Every Read and Upgrade now goes
//   to the service records (records/RecordJournal.h) instead, and this file is
//   no longer written; its path and line format stay for those who read the
//   files a bench already holds.
//
// Threads: pure functions; any thread.
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

// $XDG_STATE_HOME/corvane/upgrade.log: no longer written.
std::string SessionLogPath();
// A file of ours in the user's state folder: $XDG_STATE_HOME/corvane/NAME,
// with ~/.local/state when the variable is unset or not an absolute path.
std::string StateFilePath(const std::string& name);
// The line once written for a record, without its newline (time given in ISO 8601).
std::string FormatSessionLine(const UpgradeRecord& record, const std::string& isoTime);
