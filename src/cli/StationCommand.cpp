// corvane-cli station: the bench run unattended. Every charger plugged in
// under the ports is served, as with `bench --watch`, and a status page with
// guarded control is served over HTTP (src/cli/station).
//
// The settings come from the command line, then from the settings file
// (/etc/corvane/station.conf, or --config) for whatever the command line
// left open. The command waits with ppoll on the bench's change descriptor,
// the control requests of the page, the port watches and the stop signals
// (blocked everywhere else, so they wake exactly this wait), and wakes the
// page's event streams with a heartbeat when nothing else happens. A stop
// signal stops every job the way a single upgrade stops (CAN twice, drained);
// once the bench is idle the server ends and the command exits 0.
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "bench/Bench.h"
#include "bench/BenchJournal.h"
#include "bench/SlotNames.h"
#include "cli/BenchReport.h"
#include "cli/BenchRun.h"
#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "cli/station/HttpServer.h"
#include "cli/station/StationApi.h"
#include "cli/station/StationConfig.h"
#include "cli/station/StationToken.h"
#include "platform/PathWatch.h"
#include "records/JsonLine.h"
#include "records/RecordJournal.h"

namespace {

constexpr const char* kDefaultListen = "127.0.0.1:8642";
constexpr int kHeartbeatMs = 15000;

int Fail(int code, const std::string& message) {
    std::fprintf(stderr, "corvane-cli station: %s\n", message.c_str());
    return code;
}

// The command line first; the settings file fills in what it left open.
bool Settle(const CliOptions& given, CliOptions& o, std::string& error) {
    o = given;
    station::StationConfig config;
    const bool named = !given.configFile.empty();
    const std::string path = named ? given.configFile : station::kDefaultConfigPath;
    if ((named || ::access(path.c_str(), F_OK) == 0) &&
        !station::ReadStationConfig(path, config, error)) {
        return false;
    }
    if (o.benchPorts.empty() && o.port.empty() && !o.simulate) {
        o.benchPorts = config.ports;
    }
    o.slotsFile = o.slotsFile.empty() ? config.slots : o.slotsFile;
    o.listen = !o.listen.empty()        ? o.listen
               : !config.listen.empty() ? config.listen
                                        : kDefaultListen;
    if (o.imageFile.empty()) {
        o.imageFile = config.image;
        o.imageLabel = config.image.empty() ? "" : config.label;
    }
    if (!o.force && !o.readOnly) {
        o.force = config.force.value_or(false);
        o.readOnly = config.readOnly.value_or(false);
    }
    if (o.force && o.readOnly) {
        error = path + ": read-only and force exclude each other";
        return false;
    }
    if (o.chargers > 0 && !o.simulate) {
        error = "--chargers needs --simulate";
        return false;
    }
    if (!o.simulate && o.benchPorts.empty() && o.port.empty() && !o.showToken) {
        error = "give at least one --port PATH or pattern (or ports in " + path + ")";
        return false;
    }
    return true;
}

// The bench tells one observer: the page's board and the log lines both hear it.
class CBoth : public bench::IBenchObserver {
public:
    CBoth(bench::IBenchObserver& first, bench::IBenchObserver& second)
        : m_first(first), m_second(second) {}
    void OnBenchEvent(const bench::BenchEvent& event) override {
        m_first.OnBenchEvent(event);
        m_second.OnBenchEvent(event);
    }

private:
    bench::IBenchObserver& m_first;
    bench::IBenchObserver& m_second;
};

// Until a stop signal: chargers coming and going, the page's requests, the
// jobs' ends, and a heartbeat for the event streams when all is quiet.
void Serve(bench::CBench& bench, station::CStationDesk& desk, station::CStationControl& control,
           station::CEventHub& hub, const Watches& watches, const CStopSignals& signals) {
    std::vector<pollfd> fds = {{bench.ChangeFd(), POLLIN, 0}, {control.Fd(), POLLIN, 0}};
    for (const auto& watch : watches) {
        fds.push_back({watch->Fd(), POLLIN, 0});
    }
    const timespec heartbeat{kHeartbeatMs / 1000, 0};
    while (!Interrupted()) {
        const int ready = ::ppoll(fds.data(), fds.size(), &heartbeat, &signals.Waiting());
        if (ready == 0) {
            hub.Heartbeat();
        }
        if (ready <= 0) {
            continue;  // a signal (EINTR) is looked at above
        }
        if ((fds[0].revents & POLLIN) != 0) {
            desk.AfterChange();
        }
        if ((fds[1].revents & POLLIN) != 0) {
            desk.Carry(control.Take());
        }
        for (std::size_t i = 2; i < fds.size(); ++i) {
            if ((fds[i].revents & POLLIN) == 0) {
                continue;
            }
            for (const auto& event : watches[i - 2]->Drain()) {
                event.kind == platform::PathEvent::Kind::Appeared ? desk.Appeared(event.path)
                                                                  : desk.Gone(event.path);
            }
        }
    }
    bench.StopAll();
    bench.WaitIdle();
}

int ShowToken() {
    std::string token, error;
    if (!station::LoadOrMakeToken(station::TokenPath(), token, error)) {
        return Fail(kExitFile, error);
    }
    return PrintOut("%s\n", token.c_str()) ? kExitOk : kExitFile;
}

}  // namespace

int RunStation(const CliOptions& given) {
    CliOptions options;
    std::string error;
    if (!Settle(given, options, error)) {
        return Fail(kExitUsage, error);
    }
    if (options.showToken) {
        return ShowToken();
    }
    station::ListenAddress address;
    if (!station::ParseListenAddress(options.listen, address, error)) {
        return Fail(kExitUsage, "--listen: " + error);
    }
    std::string token;
    if (!station::LoadOrMakeToken(station::TokenPath(), token, error)) {
        return Fail(kExitFile, error);
    }
    std::optional<CFirmwareImage> file;  // checked before any port or charger
    if (!LoadCommandImage("station", options, file)) {
        return kExitFile;
    }
    bench::CSlotMap slotMap;  // the same: a bad slots file starts nothing
    if (!bench::LoadSlotMap(options.slotsFile, slotMap, error)) {
        return Fail(kExitUsage, "the slots file cannot be used: " + error);
    }
    const CStopSignals signals;  // before any thread starts
    SimulatedBench simulated;
    std::vector<std::string> ports;
    Watches watches;
    constexpr const char* kSaid = "corvane-cli station: ";
    if (options.simulate ? !StartSimulated(options, simulated, kSaid)
                         : !StartWatches(GivenPorts(options), watches, ports, kSaid)) {
        return kExitUsage;
    }
    if (options.simulate) {
        ports = simulated.ports;
    }

    const station::CSlotNames names(options.slotsFile);
    station::CStationBoard board(names);
    station::CStationControl control;
    station::CEventHub hub([&board] { return board.RowsJson(); });
    board.SetHub(&hub);
    records::CSyslog systemLog;
    bench::CBenchJournal journal(records::RecordsPath(), systemLog, options.simulate.has_value());
    CBenchReport report(options.json ? CBenchReport::Form::Json : CBenchReport::Form::Lines,
                        stdout);
    CBoth observer(board, report);
    station::RecordSource source;
    source.simulated = options.simulate.has_value();
    source.stop = [] { return Interrupted(); };
    station::CStationApi api(board, hub, control, token, source);
    station::CHttpServer server(api);
    std::vector<bench::SlotInfo> slots;
    int recordsFailed = 0;
    {
        bench::CBench bench(MakeOptions(options, journal, file, std::move(slotMap)), observer);
        station::CStationDesk desk(bench, [&](bool paused) {
            api.SetPaused(paused);
            hub.Publish("station", paused ? "{\"paused\":true}" : "{\"paused\":false}");
        });
        // Not a mistake in the settings: the address may be taken for a
        // while or not up yet, so the service is let try again.
        if (!server.Start(address, error)) {
            return Fail(kExitFailed, error);
        }
        std::fprintf(stderr, "Station page: http://%s:%d/\n", address.host.c_str(), server.Port());
        if (!address.loopback) {
            std::fprintf(stderr,
                         "corvane-cli station: warning: listening on %s, not on the loopback "
                         "address: anyone on the network who has the token can stop jobs.\n",
                         address.host.c_str());
        }
        for (const auto& port : ports) {
            desk.Appeared(port);
        }
        Serve(bench, desk, control, hub, watches, signals);
        server.Stop();  // the page saw every job end
        slots = bench.Slots();
        recordsFailed = bench.RecordsFailed();
    }
    report.Finish(slots);
    PrintOut("%s\n", CBenchReport::Summary(slots, recordsFailed).c_str());
    // A stop is how a station ends: clean unless a record was lost, or the
    // output it was logging to went away.
    return recordsFailed > 0 ? kExitFile : OutputFailed() ? kExitFile : kExitOk;
}
