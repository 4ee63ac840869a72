#include "StationRig.h"

#include <gtest/gtest.h>
#include <poll.h>

namespace stationtest {

const std::string CStationRig::kToken(64, 'a');

namespace {

// The rig's page lists no records: the journals of the user running the
// tests are none of its business.
station::RecordSource NoJournals() {
    station::RecordSource source;
    source.journals = [] { return std::vector<std::string>(); };
    return source;
}

}  // namespace

std::string BearerHeader(const std::string& token) {
    return "Authorization: Bearer " + token + "\r\n";
}

CStationRig::CStationRig(station::ServerLimits limits, std::size_t ringCapacity)
    : hub([this] { return board.RowsJson(); }, ringCapacity),
      api(board, hub, control, kToken, NoJournals()),
      server(api, limits) {
    board.SetHub(&hub);
    m_bench.events.onEvent = [this](const bench::BenchEvent& event) { board.OnBenchEvent(event); };
}

CStationRig::~CStationRig() {
    m_quit.Set();
    if (m_owner.joinable()) {
        m_owner.join();
    }
    server.Stop();
}

void CStationRig::StartServer() {
    station::ListenAddress address;
    std::string error;
    ASSERT_TRUE(station::ParseListenAddress("127.0.0.1:0", address, error)) << error;
    ASSERT_TRUE(server.Start(address, error)) << error;
}

void CStationRig::StartBench() {
    bench::CBench& bench = m_bench.MakeBench();
    m_desk = std::make_unique<station::CStationDesk>(
        bench, [this](bool paused) { api.SetPaused(paused); });
    for (const auto& port : m_bench.ports) {
        m_desk->Appeared(port);
    }
    m_owner = std::thread([this] { Own(); });
}

// The command's wait, without the port watches and the signals.
void CStationRig::Own() {
    bench::CBench& bench = m_bench.Bench();
    pollfd fds[] = {
        {control.Fd(), POLLIN, 0}, {bench.ChangeFd(), POLLIN, 0}, {m_quit.Fd(), POLLIN, 0}};
    while (::poll(fds, 3, -1) >= 0 && (fds[2].revents & POLLIN) == 0) {
        if ((fds[0].revents & POLLIN) != 0) {
            const auto requests = control.Take();
            m_desk->Carry(requests);
            requestsCarried += static_cast<int>(requests.size());
        }
        if ((fds[1].revents & POLLIN) != 0) {
            m_desk->AfterChange();
        }
    }
}

bool CStationRig::WaitIdle(int timeoutMs) {
    const std::size_t chargers = m_bench.ports.size();
    return m_bench.events.WaitFor(
        [chargers](const std::vector<bench::BenchEvent>& events) {
            std::size_t finished = 0;
            for (const auto& event : events) {
                finished += event.kind == bench::EventKind::Finished ? 1 : 0;
            }
            return finished >= chargers;
        },
        timeoutMs);
}

}  // namespace stationtest
