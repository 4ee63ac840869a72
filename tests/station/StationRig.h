// Station rig: the station's parts as the command puts them together (board,
// event hub, control, API, HTTP server on a free loopback port) over a bench
// of simulated chargers in this process (the bench tests' rig), with an
// owner thread that carries the page's requests to the bench as the
// command's wait does.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "BenchRig.h"
#include "cli/station/HttpServer.h"
#include "cli/station/StationApi.h"
#include "platform/Event.h"

namespace stationtest {

class CStationRig {
public:
    explicit CStationRig(station::ServerLimits limits = {}, std::size_t ringCapacity = 4096);
    ~CStationRig();

    // A charger with the simulator's options; its port.
    std::string AddCharger(const std::string& options) { return m_bench.AddCharger(options); }
    // Starts the server, then the bench, and plugs every charger in.
    void Start() {
        StartServer();
        StartBench();
    }
    void StartServer();
    void StartBench();
    // Waits (bounded) until every job has ended; true when they did.
    bool WaitIdle(int timeoutMs);
    int Port() const { return server.Port(); }
    std::vector<bench::SlotInfo> Slots() { return m_bench.Bench().Slots(); }
    // The bench's own record of the events.
    benchtest::CEventLog& Events() { return m_bench.events; }
    const std::vector<std::string>& Ports() const { return m_bench.ports; }
    bench::BenchOptions& Options() { return m_bench.options; }

    static const std::string kToken;
    station::CSlotNames names;
    station::CStationBoard board{names};
    station::CEventHub hub;
    station::CStationControl control;
    station::CStationApi api;
    station::CHttpServer server;
    std::atomic<int> requestsCarried{0};

private:
    void Own();

    benchtest::CBenchRig m_bench;
    std::unique_ptr<station::CStationDesk> m_desk;
    platform::CEvent m_quit{platform::CEvent::Mode::ManualReset};
    std::thread m_owner;
};

// "Authorization: Bearer TOKEN\r\n"
std::string BearerHeader(const std::string& token);

}  // namespace stationtest
