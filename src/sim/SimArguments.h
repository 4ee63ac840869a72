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
// Threads: pure functions.
#pragma once

#include <string>
#include <vector>

#include "sim/SimOptions.h"

namespace sim {

struct SimArguments {
    SimOptions options;
    std::string linkPath;  // --link: a symbolic link to the slave
    int runSeconds = 0;    // --run-seconds: 0 runs until a signal
    std::string logPath;   // --log: JSON record written at exit
    bool help = false;
};

// False with the reason in error (out is then unspecified).
bool ParseSimArguments(const std::vector<std::string>& args, SimArguments& out, std::string& error);
std::string SimUsage();

}  // namespace sim
