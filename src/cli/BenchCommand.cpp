// corvane-cli bench: several chargers at once, and each new one as it is
// plugged in.
//
// The command gathers its ports (fixed paths, glob patterns expanded once, or
// with --watch patterns watched for chargers coming and going) and the labels
// of the slots file (bench/SlotNames.h), runs a bench over them and waits
// with ppoll on the bench's change descriptor, the watch's descriptor and the
// stop signals, which are blocked everywhere else so that they wake exactly
// this wait. A stop signal stops every job the way
// a single upgrade stops (CAN twice, drained) and the bench winds down.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/Bench.h"
#include "bench/BenchJournal.h"
#include "cli/BenchReport.h"
#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "platform/PathWatch.h"
#include "records/JsonLine.h"
#include "serial/PortDiagnosis.h"
#include "serial/PortName.h"
#include "sim/Scenarios.h"
#include "sim/SimArguments.h"
#include "sim/SimulatedCharger.h"

namespace {

bool IsPattern(const std::string& port) {
    return port.find_first_of("*?[") != std::string::npos;
}

// COM names resolve as everywhere else; paths stay as given.
std::string PortPath(const std::string& name) {
    return !name.empty() && name[0] == '/' ? name : ResolvePortName(name);
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
    const int count = std::max(options.chargers, 1);
    for (int i = 0; i < count; ++i) {
        // Each charger names itself apart from the others, as real ones do.
        sim::SimOptions own = charger;
        own.deviceId = sim::ChargerDeviceId(charger.deviceId, i + 1, count);
        auto simulated = std::make_unique<sim::CSimulatedCharger>(own);
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
        const auto matches = platform::CPathWatch::Matching(port);
        if (matches.empty()) {
            std::fprintf(stderr, "No port matches %s.\n", port.c_str());
        }
        ports.insert(ports.end(), matches.begin(), matches.end());
    }
    // A port named twice (a path and a pattern that matches it) is served once.
    std::vector<std::string> once;
    for (const auto& port : ports) {
        if (std::find(once.begin(), once.end(), port) == once.end()) {
            once.push_back(port);
        }
    }
    return once;
}

// The slots file of --slots, else the user's or the PC's when there; a bad
// one is said, and nothing starts.
bool LoadSlots(const CliOptions& o, bench::CSlotMap& map) {
    std::string error;
    if (bench::LoadSlotMap(o.slotsFile, map, error)) {
        return true;
    }
    std::fprintf(stderr, "corvane-cli bench: the slots file cannot be used: %s\n", error.c_str());
    return false;
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

using Watches = std::vector<std::unique_ptr<platform::CPathWatch>>;

// One watch per pattern (udev's device events under /dev, inotify elsewhere);
// false, with the reason said, when one cannot start.
bool StartWatches(const std::vector<std::string>& patterns, Watches& watches,
                  std::vector<std::string>& present) {
    for (const auto& pattern : patterns) {
        auto watch = std::make_unique<platform::CPathWatch>(pattern);
        std::string error;
        if (!watch->Start(error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return false;
        }
        const auto now = watch->Present();
        present.insert(present.end(), now.begin(), now.end());
        watches.push_back(std::move(watch));
    }
    return true;
}

void ApplyChanges(bench::CBench& bench, platform::CPathWatch& watch) {
    for (const auto& event : watch.Drain()) {
        if (event.kind == platform::PathEvent::Kind::Appeared) {
            bench.Plug(event.path);
        } else {
            bench.Unplug(event.path);
        }
    }
}

// Waits for the jobs (and with watches, for chargers) until the bench is
// done or a stop signal comes; then every job is stopped and waited for.
void Serve(bench::CBench& bench, const Watches& watches, bool watching,
           const CStopSignals& signals) {
    std::vector<pollfd> fds = {{bench.ChangeFd(), POLLIN, 0}};
    for (const auto& watch : watches) {
        fds.push_back({watch->Fd(), POLLIN, 0});
    }
    while (!Interrupted() && (watching || bench.Busy())) {
        if (::ppoll(fds.data(), fds.size(), nullptr, &signals.Waiting()) <= 0) {
            continue;  // a signal (EINTR): looked at above
        }
        if ((fds[0].revents & POLLIN) != 0) {
            bench.OnChange();
        }
        for (std::size_t i = 1; i < fds.size(); ++i) {
            if ((fds[i].revents & POLLIN) != 0) {
                ApplyChanges(bench, *watches[i - 1]);
            }
        }
    }
    bench.StopAll();
    bench.WaitIdle();
}

// A record that could not be written ends the bench with kExitFile, after
// every charger was served.
int BenchExitCode(const std::vector<bench::SlotInfo>& slots, int recordsFailed) {
    if (Interrupted()) {
        return StopExitCode(kExitInterrupted);
    }
    if (recordsFailed > 0) {
        return kExitFile;
    }
    bool anyOpened = false;
    bool anyFailed = false;
    for (const auto& slot : slots) {
        if (slot.result) {
            anyOpened = anyOpened || slot.result->portOpened;
            anyFailed = anyFailed || slot.result->outcome == records::Outcome::Failed;
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

// The closing summary: a "summary" event with --json, else a line. Jobs
// that never reached a charger are counted here, as they leave no record.
void PrintSummary(const CliOptions& options, const std::vector<bench::SlotInfo>& slots,
                  int unanswered, int recordsFailed) {
    if (!options.json) {
        std::string text = CBenchReport::Summary(slots, recordsFailed);
        if (unanswered > 0) {
            text += "; " + std::to_string(unanswered) + " without an answer, not recorded";
        }
        std::printf("%s\n", text.c_str());
        return;
    }
    int counts[4] = {};
    for (const auto& slot : slots) {
        if (slot.result) {
            ++counts[static_cast<int>(slot.result->outcome)];
        }
    }
    records::CJsonLine line;
    line.Add("event", "summary");
    for (const auto outcome : {records::Outcome::Upgraded, records::Outcome::Current,
                               records::Outcome::Read, records::Outcome::Failed}) {
        line.Add(bench::OutcomeName(outcome), counts[static_cast<int>(outcome)]);
    }
    line.Add("unanswered", unanswered).Add("recordsFailed", recordsFailed);
    std::printf("%s\n", line.Text().c_str());
}

}  // namespace

int RunBench(const CliOptions& options) {
    if (const int code = CheckUsage(options); code >= 0) {
        return code;
    }
    bench::CSlotMap slotMap;  // like the image, checked before any port or charger
    if (!LoadSlots(options, slotMap)) {
        return kExitUsage;
    }
    std::optional<CFirmwareImage> file;
    if (!LoadCommandImage("bench", options, file)) {
        return kExitFile;
    }
    const CStopSignals signals;  // before any thread starts
    SimulatedBench simulated;
    if (options.simulate && !StartSimulated(options, simulated)) {
        return kExitUsage;
    }
    const std::vector<std::string> given = options.simulate ? simulated.ports : GivenPorts(options);
    Watches watches;
    std::vector<std::string> ports;
    if (!options.watch) {
        ports = FixedPorts(given);
    } else if (!StartWatches(given, watches, ports)) {
        return kExitUsage;
    }
    records::CSyslog systemLog;
    bench::CBenchJournal journal(records::RecordsPath(), systemLog, options.simulate.has_value());
    CBenchReport report(FormFor(options), stdout);
    std::vector<bench::SlotInfo> slots;
    int unanswered = 0;
    int recordsFailed = 0;
    {
        bench::CBench bench(MakeOptions(options, journal, file, std::move(slotMap)), report);
        for (const auto& port : ports) {
            bench.Plug(port);
        }
        Serve(bench, watches, options.watch, signals);
        slots = bench.Slots();
        unanswered = bench.UnansweredJobs();
        recordsFailed = bench.RecordsFailed();
    }
    report.Finish(slots);
    PrintSummary(options, slots, unanswered, recordsFailed);
    return options.watch && Interrupted() ? StopExitCode(kExitInterrupted)
                                          : BenchExitCode(slots, recordsFailed);
}
