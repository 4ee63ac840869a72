// corvane-cli bench: several chargers at once, and each new one as it is
// plugged in.
//
// The command gathers its ports (fixed paths, glob patterns expanded once, or
// with --watch patterns watched for chargers coming and going), runs a
// bench over them and waits with ppoll on the bench's change descriptor, the
// watch's descriptor and the stop signals, which are blocked everywhere else
// so that they wake exactly this wait. A stop signal stops every job the way
// a single upgrade stops (CAN twice, drained) and the bench winds down.
#include <glob.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/Bench.h"
#include "bench/BenchJournal.h"
#include "bench/InotifyPathWatch.h"
#include "cli/BenchReport.h"
#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "cli/PortDiagnosis.h"
#include "serial/PortName.h"
#include "sim/Scenarios.h"
#include "sim/SimulatedCharger.h"

namespace {

bool IsPattern(const std::string& port) {
    return port.find_first_of("*?[") != std::string::npos;
}

// COM names resolve as everywhere else; paths stay as given.
std::string PortPath(const std::string& name) {
    return !name.empty() && name[0] == '/' ? name : ResolvePortName(name);
}

std::vector<std::string> Expand(const std::string& pattern) {
    std::vector<std::string> paths;
    glob_t found{};
    if (::glob(pattern.c_str(), 0, nullptr, &found) == 0) {
        for (std::size_t i = 0; i < found.gl_pathc; ++i) {
            paths.emplace_back(found.gl_pathv[i]);
        }
    }
    ::globfree(&found);
    return paths;
}

int Usage(const char* message) {
    std::fprintf(stderr, "corvane-cli bench: %s\nTry corvane-cli bench --help\n", message);
    return kExitUsage;
}

// Blocks the stop signals for this thread and every thread started after it;
// they are taken only inside the ppoll of Serve.
class CStopSignals {
public:
    CStopSignals() {
        sigemptyset(&m_signals);
        sigaddset(&m_signals, SIGINT);
        sigaddset(&m_signals, SIGTERM);
        sigaddset(&m_signals, SIGHUP);
        pthread_sigmask(SIG_BLOCK, &m_signals, &m_old);
    }
    ~CStopSignals() { pthread_sigmask(SIG_SETMASK, &m_old, nullptr); }
    CStopSignals(const CStopSignals&) = delete;
    CStopSignals& operator=(const CStopSignals&) = delete;
    const sigset_t& Waiting() const { return m_old; }

private:
    sigset_t m_signals{};
    sigset_t m_old{};
};

// The chargers of --simulate, one pseudo-terminal each.
struct SimulatedBench {
    std::vector<std::unique_ptr<sim::CSimulatedCharger>> chargers;
    std::vector<std::string> ports;
};

bool StartSimulated(const CliOptions& options, SimulatedBench& out) {
    sim::SimOptions charger;
    const std::string scenario = options.simulate->empty() ? "old-firmware" : *options.simulate;
    if (!sim::ScenarioOptions(scenario, charger)) {
        std::string error;
        sim::StartScenario(scenario, error);  // words the unknown name
        std::fprintf(stderr, "corvane-cli: %s\n", error.c_str());
        return false;
    }
    for (int i = 0; i < std::max(options.chargers, 1); ++i) {
        auto simulated = std::make_unique<sim::CSimulatedCharger>(charger);
        if (!simulated->Start()) {
            std::fprintf(stderr, "corvane-cli: the simulated charger did not start: %s\n",
                         simulated->ErrorText().c_str());
            return false;
        }
        out.ports.push_back(simulated->SlavePath());
        out.chargers.push_back(std::move(simulated));
    }
    return true;
}

int CheckUsage(const CliOptions& o) {
    if (o.chargers > 0 && !o.simulate) {
        return Usage("--chargers needs --simulate");
    }
    if (o.simulate && (!o.benchPorts.empty() || o.watch)) {
        return Usage(
            "with --simulate the bench serves its own chargers: leave out --port and --watch");
    }
    if (!o.simulate && o.benchPorts.empty() && o.port.empty()) {
        return Usage("give at least one --port PATH or pattern");
    }
    for (const auto& port : o.benchPorts) {
        if (o.watch && !bench::CInotifyPathWatch::Watchable(PortPath(port))) {
            return Usage("--watch takes wildcards only in the last part of a path");
        }
    }
    return -1;
}

std::vector<std::string> GivenPorts(const CliOptions& o) {
    std::vector<std::string> ports;
    for (const auto& port :
         o.benchPorts.empty() ? std::vector<std::string>{o.port} : o.benchPorts) {
        ports.push_back(PortPath(port));
    }
    return ports;
}

// Fixed ports and patterns expanded once; a pattern that matches nothing is said.
std::vector<std::string> FixedPorts(const std::vector<std::string>& given) {
    std::vector<std::string> ports;
    for (const auto& port : given) {
        if (!IsPattern(port)) {
            ports.push_back(port);
            continue;
        }
        const auto matches = Expand(port);
        if (matches.empty()) {
            std::fprintf(stderr, "No port matches %s.\n", port.c_str());
        }
        ports.insert(ports.end(), matches.begin(), matches.end());
    }
    return ports;
}

bench::BenchOptions MakeOptions(const CliOptions& o, bench::IResultRecorder& recorder) {
    bench::BenchOptions options;
    options.mode =
        o.readOnly ? bench::Mode::ReadOnly : (o.force ? bench::Mode::Force : bench::Mode::IfNeeded);
    options.explainOpenFailure = [](const std::string& device) {
        return DiagnosePort(device).message;
    };
    options.stopRequested = [] { return Interrupted(); };
    options.recorder = &recorder;
    return options;
}

void ApplyChanges(bench::CBench& bench, bench::IPathWatch& watch) {
    for (const auto& change : watch.Drain()) {
        if (change.appeared) {
            bench.Plug(change.path);
        } else {
            bench.Unplug(change.path);
        }
    }
}

// Waits for the jobs (and with a watch, for chargers) until the bench is done
// or a stop signal comes; then every job is stopped and waited for.
void Serve(bench::CBench& bench, bench::IPathWatch* watch, const CStopSignals& signals) {
    for (;;) {
        if (Interrupted()) {
            break;
        }
        if (watch == nullptr && !bench.Busy()) {
            break;
        }
        pollfd fds[2] = {{bench.ChangeFd(), POLLIN, 0}, {watch ? watch->Fd() : -1, POLLIN, 0}};
        const int ready = ::ppoll(fds, 2, nullptr, &signals.Waiting());
        if (ready <= 0) {
            continue;  // a signal (EINTR): looked at above
        }
        if ((fds[0].revents & POLLIN) != 0) {
            bench.OnChange();
        }
        if (watch != nullptr && (fds[1].revents & POLLIN) != 0) {
            ApplyChanges(bench, *watch);
        }
    }
    bench.StopAll();
    bench.WaitIdle();
}

int BenchExitCode(const std::vector<bench::SlotInfo>& slots) {
    if (Interrupted()) {
        return kExitInterrupted;
    }
    bool anyOpened = false;
    bool anyFailed = false;
    for (const auto& slot : slots) {
        if (slot.result) {
            anyOpened = anyOpened || slot.result->portOpened;
            anyFailed = anyFailed || slot.result->outcome == bench::Outcome::Failed;
        }
    }
    if (!anyOpened) {
        return kExitPortOpen;
    }
    return anyFailed ? kExitFailed : kExitOk;
}

CBenchReport::Form FormFor(const CliOptions& o) {
    if (o.json) {
        return CBenchReport::Form::Json;
    }
    return ::isatty(STDOUT_FILENO) != 0 ? CBenchReport::Form::Table : CBenchReport::Form::Lines;
}

}  // namespace

int RunBench(const CliOptions& options) {
    if (const int code = CheckUsage(options); code >= 0) {
        return code;
    }
    const CStopSignals signals;  // before any thread starts
    SimulatedBench simulated;
    if (options.simulate && !StartSimulated(options, simulated)) {
        return kExitUsage;
    }
    const std::vector<std::string> given = options.simulate ? simulated.ports : GivenPorts(options);
    std::unique_ptr<bench::CInotifyPathWatch> watch;
    std::vector<std::string> ports;
    if (options.watch) {
        watch = std::make_unique<bench::CInotifyPathWatch>(given);
        ports = watch->Present();
    } else {
        ports = FixedPorts(given);
    }
    bench::CSyslog systemLog;
    bench::CBenchJournal journal(bench::BenchJournalPath(), systemLog);
    CBenchReport report(FormFor(options), stdout);
    std::vector<bench::SlotInfo> slots;
    {
        bench::CBench bench(MakeOptions(options, journal), report);
        for (const auto& port : ports) {
            bench.Plug(port);
        }
        Serve(bench, watch.get(), signals);
        slots = bench.Slots();
    }
    report.Finish(slots);
    if (!options.json) {
        std::printf("%s\n", CBenchReport::Summary(slots).c_str());
    }
    if (const std::string problem = journal.Problem(); !problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
    }
    return options.watch && Interrupted() ? kExitInterrupted : BenchExitCode(slots);
}
