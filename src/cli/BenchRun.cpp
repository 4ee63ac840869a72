#include "cli/BenchRun.h"

#include <pthread.h>

#include <algorithm>
#include <cstdio>

#include "cli/Interrupt.h"
#include "serial/PortDiagnosis.h"
#include "serial/PortName.h"
#include "sim/Scenarios.h"
#include "sim/SimArguments.h"

CStopSignals::CStopSignals() {
    sigemptyset(&m_signals);
    for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&m_signals, number);
    }
    pthread_sigmask(SIG_BLOCK, &m_signals, &m_old);
}

CStopSignals::~CStopSignals() {
    pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
}

std::string PortPath(const std::string& name) {
    return !name.empty() && name[0] == '/' ? name : ResolvePortName(name);
}

std::vector<std::string> GivenPorts(const CliOptions& o) {
    std::vector<std::string> ports;
    for (const auto& port :
         o.benchPorts.empty() ? std::vector<std::string>{o.port} : o.benchPorts) {
        ports.push_back(PortPath(port));
    }
    return ports;
}

bool StartSimulated(const CliOptions& options, SimulatedBench& out, const char* said) {
    sim::SimOptions charger;
    const std::string scenario = options.simulate->empty() ? "old-firmware" : *options.simulate;
    if (!sim::ScenarioOptions(scenario, charger)) {
        std::string error;
        sim::StartScenario(scenario, error);  // words the unknown name
        std::fprintf(stderr, "%s%s\n", said, error.c_str());
        return false;
    }
    const int count = std::max(options.chargers, 1);
    for (int i = 0; i < count; ++i) {
        // Each charger names itself apart from the others, as real ones do.
        sim::SimOptions own = charger;
        own.deviceId = sim::ChargerDeviceId(charger.deviceId, i + 1, count);
        auto simulated = std::make_unique<sim::CSimulatedCharger>(own);
        if (!simulated->Start()) {
            std::fprintf(stderr, "%sthe simulated charger did not start: %s\n", said,
                         simulated->ErrorText().c_str());
            return false;
        }
        out.ports.push_back(simulated->SlavePath());
        out.chargers.push_back(std::move(simulated));
    }
    return true;
}

bool StartWatches(const std::vector<std::string>& patterns, Watches& watches,
                  std::vector<std::string>& present, const char* said) {
    for (const auto& pattern : patterns) {
        auto watch = std::make_unique<platform::CPathWatch>(pattern);
        std::string error;
        if (!watch->Start(error)) {
            std::fprintf(stderr, "%s%s\n", said, error.c_str());
            return false;
        }
        const auto now = watch->Present();
        present.insert(present.end(), now.begin(), now.end());
        watches.push_back(std::move(watch));
    }
    return true;
}

bench::BenchOptions MakeOptions(const CliOptions& o, bench::IResultRecorder& recorder,
                                std::optional<CFirmwareImage>& file, bench::CSlotMap slots) {
    bench::BenchOptions options;
    options.slotMap = std::move(slots);
    if (file) {
        options.image = std::make_shared<const CFirmwareImage>(std::move(*file));
    }
    options.mode =
        o.readOnly ? bench::Mode::ReadOnly : (o.force ? bench::Mode::Force : bench::Mode::IfNeeded);
    options.explainOpenFailure = [](const std::string& device) {
        return DiagnosePort(device).message;
    };
    options.stopRequested = [] { return Interrupted(); };
    options.recorder = &recorder;
    return options;
}
