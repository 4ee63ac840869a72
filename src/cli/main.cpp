// corvane-cli: the utility's commands for scripts, SSH sessions and benches
// without a display. Reads as a list of steps; each command lives in
// Commands.h.
#include <cstdio>
#include <memory>
#include <string>

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "platform/DebugOutput.h"
#include "platform/ExclusiveHolds.h"
#include "platform/MessageBox.h"
#include "serial/PortName.h"
#include "sim/SimulatedCharger.h"
#include "support/SettingsKey.h"

namespace {

// The window's boxes become messages on standard error, with the same texts.
void InstallConsoleBoxes() {
    platform::SetMessageBoxHook([](const std::string& text, const std::string& caption) {
        if (caption.empty()) {
            std::fprintf(stderr, "%s\n", text.c_str());
        } else {
            std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        }
        std::fflush(stderr);
    });
}

// The names of failed port operations are for -v only, on standard error as
// the window writes them with --debug; without -v they go nowhere.
void InstallDebugOutput(bool verbose) {
    platform::SetDebugSink(verbose ? platform::StandardErrorSink()
                                   : platform::DebugSink([](std::string_view) {}));
}

std::string ChosenPortName(const CliOptions& options) {
    if (!options.port.empty()) {
        return options.port;
    }
    CSettingsKey settings;
    settings.OpenKey("Veltra", "Corvane");
    return settings.ReadValue("Port", "COM1");
}

int RunCommand(const CliOptions& options, const PortChoice& port) {
    const std::string& c = options.command;
    if (c == "read")
        return RunRead(options, port);
    if (c == "upgrade")
        return RunUpgrade(options, port);
    if (c == "monitor")
        return RunMonitor(options, port);
    if (c == "crc")
        return RunCrc(options);
    if (c == "export")
        return RunExport(options);
    if (c == "ports")
        return RunPorts(options);
    return RunVersion(options);
}

// Output that never reached its reader fails the run, whatever the command
// thought of it: a script must not take a cut-off answer for a whole one.
int Delivered(int code) {
    FlushOut();
    if (!OutputFailed()) {
        return code;
    }
    ExplainOutputFailure();
    return code == kExitOk ? kExitFile : code;
}

}  // namespace

int main(int argc, char** argv) {
    InstallInterruptHandler();
    // A port left open by exit() or std::terminate still loses its
    // exclusive-use mark; Close takes it off on every ordinary path.
    platform::InstallExclusiveRelease();
    CliOptions options;
    if (const int code = ParseCommandLine(argc, argv, options); code >= 0) {
        return Delivered(code);
    }
    InstallConsoleBoxes();
    InstallDebugOutput(options.verbose);
    if (options.command == "bench") {
        return Delivered(RunBench(options));  // its own ports, or chargers of its own
    }
    if (options.command == "station") {
        return Delivered(RunStation(options));  // the bench for good, with its page
    }
    if (options.command == "history") {
        return Delivered(RunHistory(options));  // journals only, no port
    }

    std::unique_ptr<sim::CSimulatedCharger> simulation;
    PortChoice port;
    if (options.simulate) {
        // A simulated charger on a pseudo-terminal, for this run only.
        std::string error;
        simulation = sim::StartScenario(
            options.simulate->empty() ? "old-firmware" : *options.simulate, error);
        if (!simulation) {
            std::fprintf(stderr, "corvane-cli: %s\n", error.c_str());
            return Delivered(kExitUsage);
        }
        port = {"simulated", simulation->SlavePath()};
    } else {
        port.name = ChosenPortName(options);
        port.device = ResolvePortName(port.name);
    }
    return Delivered(RunCommand(options, port));
}
