// corvane-sim: a simulated charger on a pseudo-terminal, for trying the
// utility without hardware. See SimUsage for the options.
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "sim/DeviceLink.h"
#include "sim/SignalWatch.h"
#include "sim/SimArguments.h"
#include "sim/SimulatedBench.h"
#include "sim/SimulatedCharger.h"
#include "support/ProgramVersion.h"

namespace {

bool ReadArguments(int argc, char** argv, sim::SimArguments& args) {
    std::string error;
    if (sim::ParseSimArguments(std::vector<std::string>(argv + 1, argv + argc), args, error)) {
        return true;
    }
    std::cerr << "corvane-sim: " << error << "\nTry corvane-sim --help\n";
    return false;
}

void AnnounceDevice(const std::string& path) {
    std::cout << "PTY " << path << std::endl;  // flushed: a script waits for it
}

bool WriteLog(const std::string& path, const std::string& json) {
    if (path.empty()) {
        return true;
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << json;
    file.close();
    if (!file) {
        std::cerr << "corvane-sim: cannot write " << path << "\n";
        return false;
    }
    return true;
}

// --chargers N: a bench of simulated chargers.
int RunBench(const sim::SimArguments& args, sim::CSignalWatch& signals) {
    sim::CSimulatedBench bench(args, std::cout);
    std::string error;
    if (!bench.Start(error)) {
        std::cerr << "corvane-sim: " << error << "\n";
        return 1;
    }
    bench.Run(signals);
    return WriteLog(args.logPath, bench.LogJson()) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    sim::SimArguments args;
    if (!ReadArguments(argc, argv, args)) {
        return 2;
    }
    if (args.help) {
        std::cout << sim::SimUsage();
        return 0;
    }
    if (args.version) {
        std::cout << "corvane-sim " << ProgramVersion() << "\n";
        return 0;
    }
    std::signal(SIGPIPE, SIG_IGN);
    sim::CSignalWatch signals;  // before the charger's thread starts
    if (!signals.Valid()) {
        std::cerr << "corvane-sim: cannot watch for signals\n";
        return 1;
    }
    if (args.chargers > 0) {
        return RunBench(args, signals);
    }
    sim::CSimulatedCharger charger(args.options);
    if (!charger.Start()) {
        std::cerr << "corvane-sim: " << charger.ErrorText() << "\n";
        return 1;
    }
    sim::CDeviceLink link;
    std::string error;
    if (!args.linkPath.empty() && !link.Create(args.linkPath, charger.SlavePath(), error)) {
        std::cerr << "corvane-sim: " << error << "\n";
        return 1;
    }
    AnnounceDevice(charger.SlavePath());  // the link is there once this line is
    signals.WaitForStop(args.runSeconds);
    charger.Stop();
    const bool logged = WriteLog(args.logPath, charger.Log().ToJson());
    link.Remove();
    return logged ? 0 : 1;
}
