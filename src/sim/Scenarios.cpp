#include "sim/Scenarios.h"

#include "sim/SimulatedCharger.h"

namespace sim {

namespace {

struct Scenario {
    const char* name;
    void (*apply)(SimOptions&);
};

const Scenario kScenarios[] = {
    {"old-firmware", [](SimOptions&) {}},
    {"current", [](SimOptions& o) { o.firmwareVersion = CORVANE_VERSION_LABEL; }},
    {"no-firmware", [](SimOptions& o) { o.firmwareVersion.clear(); }},
    {"noisy",
     [](SimOptions& o) {
         o.garbageBetweenReplies = 3;
         o.splitReplyChunk = 5;
         o.splitReplyGapMs = 15;
         o.nakFirstArrivals = {{1, 2}, {40, 1}, {77, 1}};
     }},
    {"cancel",
     [](SimOptions& o) {
         o.cancelInsteadOfAckAtBlock = 5;
         o.resumeFirmwareAfterCancel = true;
     }},
    {"silent", [](SimOptions& o) { o.neverSpeak = true; }},
};

}  // namespace

bool ScenarioOptions(const std::string& name, SimOptions& out) {
    for (const Scenario& scenario : kScenarios) {
        if (name == scenario.name) {
            SimOptions options;
            scenario.apply(options);
            out = options;
            return true;
        }
    }
    return false;
}

std::vector<std::string> ScenarioNames() {
    std::vector<std::string> names;
    for (const Scenario& scenario : kScenarios) {
        names.emplace_back(scenario.name);
    }
    return names;
}

std::unique_ptr<CSimulatedCharger> StartScenario(const std::string& name, std::string& error) {
    SimOptions options;
    if (!ScenarioOptions(name, options)) {
        error = "unknown scenario '" + name + "'; choose one of:";
        for (const auto& known : ScenarioNames()) {
            error += " " + known;
        }
        return nullptr;
    }
    auto charger = std::make_unique<CSimulatedCharger>(options);
    if (!charger->Start()) {
        error = "the simulated charger did not start: " + charger->ErrorText();
        return nullptr;
    }
    return charger;
}

}  // namespace sim
