// Command line of corvane-sim.
//
// Principles of operation
//   ParseSimArguments turns the arguments (without the program name) into
//   the charger's SimOptions and the executable's own settings. A
//   --scenario is applied first wherever it stands, so the other options
//   refine it. Numbers are whole decimal numbers within their range; any
//   fault in the arguments gives an error text and no half-made result.
//   SimUsage is the --help text: every option with its meaning.
//
//   With --chargers N the executable plays a bench of N chargers; --link is
//   then a pattern with %d (the charger's number from 1), each charger's
//   device ID ends in "-" and that number, and --fault K:OPTION
//   gives charger K one more option from this list (--silent-after-block=40,
//   never-speak: the leading dashes may be left out).
//
// Threads: pure functions.
#pragma once

#include <string>
#include <vector>

#include "sim/SimOptions.h"

namespace sim {

// --fault K:OPTION: charger K (from 1) gets one more option.
struct ChargerFault {
    int charger = 0;
    std::string option;  // "--silent-after-block=40"
};

struct SimArguments {
    SimOptions options;
    std::string
        linkPath;      // --link: a symbolic link to the slave (with --chargers: a pattern with %d)
    int chargers = 0;  // --chargers: 0 plays one charger the classic way
    std::vector<ChargerFault> faults;
    int plugEverySeconds = 0;  // --plug-every: links come and go
    int runSeconds = 0;        // --run-seconds: 0 runs until a signal
    std::string logPath;       // --log: JSON record written at exit
    bool help = false;
    bool version = false;  // --version
};

// False with the reason in error (out is then unspecified).
bool ParseSimArguments(const std::vector<std::string>& args, SimArguments& out, std::string& error);
std::string SimUsage();

// The options of charger k (from 1) of a bench: the common ones, its own
// device ID and its faults. False with the reason in error.
bool ChargerOptions(const SimArguments& args, int k, SimOptions& out, std::string& error);
// The device ID of charger k (from 1) of a bench of count: with several,
// the common ID and "-k", so that their records can be told apart; one
// charger keeps the common ID.
std::string ChargerDeviceId(const std::string& common, int k, int count);
// The --link pattern with %d replaced by k; "" without a pattern.
std::string ChargerLink(const std::string& pattern, int k);

}  // namespace sim
