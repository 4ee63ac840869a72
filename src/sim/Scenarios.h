// Named scenarios: ready-made simulator set-ups shared by --simulate of the
// window and the command line, and by corvane-sim --scenario.
//
// Principles of operation
//   A scenario is a name for a SimOptions value:
//     "old-firmware"  reports 2.09; an upgrade succeeds (the default)
//     "current"       reports the carried version already
//     "no-firmware"   only a boot loader, waiting with "C"
//     "noisy"         garbage, NAKs and split lines, but an upgrade succeeds
//     "cancel"        cancels the upload at block 5, then restarts the old firmware
//     "silent"        never says anything
//
// Threads: pure functions.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sim/SimOptions.h"

namespace sim {

// Fills out with the named scenario; false (out unchanged) for an unknown name.
bool ScenarioOptions(const std::string& name, SimOptions& out);
std::vector<std::string> ScenarioNames();

class CSimulatedCharger;
// Starts a charger playing the named scenario, for --simulate of the window
// and the command line; null, with the reason in error, when the name is
// unknown or the charger does not start.
std::unique_ptr<CSimulatedCharger> StartScenario(const std::string& name, std::string& error);

}  // namespace sim
