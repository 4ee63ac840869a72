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
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "bench/Bench.h"
#include "bench/BenchJournal.h"
#include "cli/BenchReport.h"
#include "cli/BenchRun.h"
#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "platform/PathWatch.h"
#include "records/JsonLine.h"

namespace {

bool IsPattern(const std::string& port) {
    return port.find_first_of("*?[") != std::string::npos;
}

int Usage(const char* message) {
    std::fprintf(stderr, "corvane-cli bench: %s\nTry corvane-cli bench --help\n", message);
    return kExitUsage;
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
    if (options.simulate && !StartSimulated(options, simulated, "corvane-cli: ")) {
        return kExitUsage;
    }
    const std::vector<std::string> given = options.simulate ? simulated.ports : GivenPorts(options);
    Watches watches;
    std::vector<std::string> ports;
    if (!options.watch) {
        ports = FixedPorts(given);
    } else if (!StartWatches(given, watches, ports, "")) {
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
