// Command line: what the user asked corvane-cli to do.
//
// Principles of operation
//   ParseCommandLine turns the arguments into CliOptions with CLI11. Help and
//   usage errors are printed here; the caller only runs what was parsed. The
//   exit codes are the command line's contract with scripts and are listed in
//   --help and the README.
//
//   The global options (--port, --simulate, --json, -v) are accepted before
//   the command and after it, because users type both, and every command's
//   help lists them. --port is settled here: a COM name outside COM1..COM4 is
//   a usage error that names the ports there are, and a relative device path
//   is made absolute, so that what the commands open does not depend on how
//   it was typed. A command name that is not one gets the nearest one offered.
//
// Threads: the main thread, once, at start-up.
#pragma once

#include <optional>
#include <string>
#include <vector>

enum ExitCode : int {
    kExitOk = 0,
    kExitFailed = 1,  // the charger answered but the command failed
    kExitUsage = 2,
    kExitPortOpen = 3,   // the port could not be opened
    kExitNoCharger = 4,  // no communication with the charger
    kExitFile = 5,
    kExitInterrupted = 130,  // Ctrl-C
};

struct CliOptions {
    std::string port;  // empty: the settings' "Port"; else COM1..COM4 or an absolute path
    std::optional<std::string> simulate;
    bool json = false;
    bool verbose = false;
    std::string command;
    int count = 0;       // monitor: refreshes, 0 = until Ctrl-C
    std::string record;  // monitor: the file every report is appended to
    std::string file;
    bool ifNeeded = false;
    std::string imageFile;   // read, upgrade: an image file instead of the carried image
    std::string imageLabel;  // its label; empty: the file's name without extension
    std::string mapping;     // ports --map COMn=/dev/...
    std::string unmap;       // ports --unmap COMn
    bool byPath = false;     // ports --by-path: a slots file
    // bench
    std::vector<std::string> benchPorts;  // paths or glob patterns
    bool watch = false;
    bool force = false;
    bool readOnly = false;
    int chargers = 0;  // with --simulate: simulated chargers
    // history
    std::string historyDevice;
    std::string historyPort;
    std::string historySlot;  // a slot's label
    std::string since;        // a date or a span ("7d"), checked while parsing
    std::vector<std::string> outcomes;
    std::vector<std::string> historyFiles;
    bool csv = false;
    // station (with the bench's options)
    std::string listen;      // ADDR:PORT; empty: the configuration's, else 127.0.0.1:8642
    std::string slotsFile;   // slot labels
    std::string configFile;  // empty: /etc/corvane/station.conf when it exists
    bool showToken = false;
};

// Parses argv; returns -1 to go on, or the exit code when the process should
// end now (after --help, or a usage error already explained on stderr).
int ParseCommandLine(int argc, char** argv, CliOptions& options);

extern const char* const kExitCodeHelp;
