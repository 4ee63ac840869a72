// Commands: what each corvane-cli command does, as a list of steps over the
// same protocol and diagnostics code the window uses.
//
// Principles of operation
//   Each Run... function takes the parsed options and the resolved port and
//   returns the exit code. Read and Upgrade print the window's status texts
//   through a CConsoleView; boxes arrive on standard error through the
//   message-box hook main() installs. With --json each prints one object on
//   standard output at its end.
//
// Threads: the main thread; the port's workers run beside it.
#pragma once

#include <optional>
#include <string>

#include "cli/CommandLine.h"
#include "protocol/FirmwareImage.h"

struct PortChoice {
    std::string name;    // as given or stored: COM2, /dev/ttyUSB0
    std::string device;  // what it resolves to
};

// With --image, reads and checks the file before any port is touched and
// sets `image`; false when the file is refused, which is then explained on
// standard error (and with --json in an object): the command ends with
// kExitFile. Without --image, true and `image` stays empty (the carried one).
bool LoadCommandImage(const char* command, const CliOptions& options,
                      std::optional<CFirmwareImage>& image);

int RunRead(const CliOptions& options, const PortChoice& port);
int RunUpgrade(const CliOptions& options, const PortChoice& port);
int RunMonitor(const CliOptions& options, const PortChoice& port);
int RunCrc(const CliOptions& options);
int RunExport(const CliOptions& options);
int RunPorts(const CliOptions& options);
int RunVersion(const CliOptions& options);
// Serves its own ports (or simulated chargers); see BenchCommand.cpp.
int RunBench(const CliOptions& options);
// The bench as an unattended station with a status page; see
// StationCommand.cpp.
int RunStation(const CliOptions& options);
// Lists the service records of this PC's journals or of --file; see
// HistoryCommand.cpp.
int RunHistory(const CliOptions& options);
