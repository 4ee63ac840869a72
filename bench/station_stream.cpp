// The station with 200 simulated chargers (paced at 38400 baud, in this
// process) upgraded at once, with 0 or 5 clients reading the event stream
// over loopback sockets, as pages on tablets and a wall screen would.
//
// wall_s          the whole bench: plugged in to every job ended
// events          bench events published to the stream
// p50_ms, p99_ms  event to client: from the bench's observer call to the
//                 client's socket read that completed the message, over
//                 every message every client got
// resyncs         readers that fell behind the ring and got a snapshot
//
// Each result is recorded as the station records it (a journal in a scratch
// folder, synced), so the figures include what a record costs.
#include <sys/resource.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "StationServed.h"
#include "bench/Bench.h"
#include "bench/BenchJournal.h"
#include "sim/DeviceLink.h"
#include "sim/SimulatedCharger.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kChargers = 200;

// The board, with the moment each event was handed to it: the k-th call
// publishes message k.
class CTimedBoard : public bench::IBenchObserver {
public:
    explicit CTimedBoard(station::CStationBoard& board) : m_board(board) {}
    void OnBenchEvent(const bench::BenchEvent& event) override {
        if (event.kind == bench::EventKind::Finished &&
            event.slot.result->outcome != bench::Outcome::Upgraded) {
            failed = true;
        }
        {
            std::lock_guard<std::mutex> guard(lock);
            published.push_back(Clock::now());
        }
        m_board.OnBenchEvent(event);
    }
    std::mutex lock;
    std::vector<Clock::time_point> published;  // [id - 1]
    bool failed = false;

private:
    station::CStationBoard& m_board;
};

// One page's event stream: the arrival of every message by its id.
class CStreamClient {
public:
    explicit CStreamClient(int port)
        : m_reader(port, [this](const char* data, std::size_t size) { Take(data, size); }) {}
    // Ends the reading; arrivals may be looked at after it.
    void Stop() { m_reader.Stop(); }
    std::vector<std::pair<std::uint64_t, Clock::time_point>> arrivals;

private:
    void Take(const char* data, std::size_t size) {
        const auto now = Clock::now();
        m_pending.append(data, size);
        for (std::size_t end; (end = m_pending.find("\n\n")) != std::string::npos;) {
            const std::size_t id = m_pending.find("id: ");
            if (id < end &&
                m_pending.compare(m_pending.find('\n', id) + 1, 12, "event: slot\n") == 0) {
                arrivals.emplace_back(std::stoull(m_pending.substr(id + 4)), now);
            }
            m_pending.erase(0, end + 2);
        }
    }

    std::string m_pending;
    benchstation::CEventStreamReader m_reader;  // last: it stops before the rest goes
};

void RaiseDescriptorLimit() {
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

void BM_StationStream(benchmark::State& state) {
    const int clients = static_cast<int>(state.range(0));
    RaiseDescriptorLimit();
    for (auto _ : state) {
        char folder[] = "/tmp/corvane-station-bench-XXXXXX";
        const std::string scratch = ::mkdtemp(folder) != nullptr ? folder : "/tmp";
        std::vector<std::unique_ptr<sim::CSimulatedCharger>> chargers;
        std::vector<std::unique_ptr<sim::CDeviceLink>> links;
        std::vector<std::string> ports;
        for (int k = 1; k <= kChargers; ++k) {
            sim::SimOptions options;
            options.deviceId = "VC-4017-" + std::to_string(k);
            chargers.push_back(std::make_unique<sim::CSimulatedCharger>(options));
            if (!chargers.back()->Start()) {
                state.SkipWithError("a simulated charger did not start");
                return;
            }
            ports.push_back(chargers.back()->SlavePath());
        }
        benchstation::CServedStation served;
        std::string error;
        if (!served.Start(error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        std::vector<std::unique_ptr<CStreamClient>> readers;
        for (int i = 0; i < clients; ++i) {
            readers.push_back(std::make_unique<CStreamClient>(served.Port()));
        }
        while (served.hub.Readers() < static_cast<std::size_t>(clients)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        CTimedBoard timed(served.board);
        benchstation::CNoSystemLog systemLog;
        bench::CBenchJournal journal(scratch + "/records.jsonl", systemLog, true);
        bench::BenchOptions options;
        options.byIdName = [](const std::string&) { return std::string(); };
        options.recorder = &journal;
        const auto start = Clock::now();
        {
            bench::CBench bench(options, timed);
            for (const auto& port : ports) {
                bench.Plug(port);
            }
            bench.WaitIdle();
        }
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the last messages land
        std::vector<double> latencies;
        for (const auto& reader : readers) {
            reader->Stop();
            for (const auto& [id, at] : reader->arrivals) {
                if (id >= 1 && id <= timed.published.size()) {
                    latencies.push_back(
                        std::chrono::duration<double, std::milli>(at - timed.published[id - 1])
                            .count());
                }
            }
        }
        readers.clear();
        served.server.Stop();
        if (clients > 0) {
            state.counters["messages"] = static_cast<double>(latencies.size());
            state.counters["p50_ms"] = Percentile(latencies, 0.50);
            state.counters["p99_ms"] = Percentile(latencies, 0.99);
            state.counters["max_ms"] = Percentile(latencies, 1.0);
        }
        state.SetIterationTime(wall);
        if (timed.failed) {
            state.SkipWithError("a charger was not upgraded");
            return;
        }
        state.counters["wall_s"] = wall;
        state.counters["events"] = static_cast<double>(timed.published.size());
        state.counters["resyncs"] = static_cast<double>(served.hub.Resyncs());
        ::unlink((scratch + "/records.jsonl").c_str());
        ::rmdir(scratch.c_str());
    }
}

}  // namespace

BENCHMARK(BM_StationStream)
    ->Arg(0)
    ->Arg(5)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
