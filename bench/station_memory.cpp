// The station's memory over a long run: the board, the event hub and the
// HTTP server on a loopback port with a few pages reading the event stream,
// over a bench of simulated chargers that are unplugged and plugged back in
// one after another the whole time, as a busy service bench does.
//
// Each charger sits behind a fixed link path, as a by-path name would be.
// A re-plug stops the charger (its port goes away), tells the desk it is
// gone, starts a fresh charger behind the same link and tells the desk it
// appeared, so the same slot serves it again; jobs are cut short or run to
// the end depending on where the upgrade was.
//
// The resident set (from /proc/self/statm) and malloc's bytes in use are
// sampled every few seconds. What counts is the growth of the bytes in use
// from the end of the warm-up to the end of the run, which stays under
// kBoundMb when nothing is kept per job, per event or per re-plug. The
// resident set is reported beside it but does not decide: on a loaded
// machine glibc gives busy threads malloc pools of their own, whose
// fragments raise it by a few megabytes with nothing more held.
//
// rss_warm_mb, rss_end_mb, rss_peak_mb, growth_mb, heap_warm_mb, heap_end_mb
// (malloc's bytes in use), replugs, jobs, events, duration_s;
// each sample also goes to stderr, to tell a ramp from a slope.
//
// CORVANE_STATION_MEMORY_S shortens the run (seconds; the default is 600).
#include <poll.h>
#include <unistd.h>

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
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
constexpr int kChargers = 20;
constexpr int kReaders = 3;
constexpr double kBoundMb = 2.0;
constexpr auto kReplugEvery = std::chrono::milliseconds(500);
constexpr auto kSampleEvery = std::chrono::seconds(5);

// The board, counting the events and the jobs that ended.
class CCountingBoard : public bench::IBenchObserver {
public:
    explicit CCountingBoard(station::CStationBoard& board) : m_board(board) {}
    void OnBenchEvent(const bench::BenchEvent& event) override {
        ++events;
        if (event.kind == bench::EventKind::Finished) {
            ++jobs;
        }
        m_board.OnBenchEvent(event);
    }
    std::atomic<long> events{0};
    std::atomic<long> jobs{0};

private:
    station::CStationBoard& m_board;
};

// One page's event stream, read and dropped as fast as it comes.
class CStreamReader {
public:
    explicit CStreamReader(int port)
        : m_reader(port,
                   [this](const char*, std::size_t size) { bytes += static_cast<long>(size); }) {}
    std::atomic<long> bytes{0};

private:
    benchstation::CEventStreamReader m_reader;  // last: it stops before bytes goes
};

// A charger behind a link path that stays put while the charger comes and
// goes.
struct Plugged {
    std::string link;
    std::unique_ptr<sim::CSimulatedCharger> charger;
    sim::CDeviceLink device;
};

// What malloc has handed out and not had back: growing with it, memory is
// kept; flat while the resident set grows, the heap only fragments.
double HeapInUseMb() {
    const struct mallinfo2 heap = ::mallinfo2();
    return static_cast<double>(heap.uordblks + heap.hblkhd) / (1024.0 * 1024.0);
}

double ResidentMb() {
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) /
           (1024.0 * 1024.0);
}

std::chrono::seconds RunLength() {
    const char* text = std::getenv("CORVANE_STATION_MEMORY_S");
    const long seconds = text != nullptr ? std::strtol(text, nullptr, 10) : 0;
    return std::chrono::seconds(seconds > 0 ? seconds : 600);
}

// Starts a fresh charger behind the link; false when it would not start.
bool PlugIn(Plugged& plugged, int number) {
    sim::SimOptions options;
    options.deviceId = "VC-4017-" + std::to_string(number);
    plugged.charger = std::make_unique<sim::CSimulatedCharger>(options);
    std::string error;
    return plugged.charger->Start() &&
           plugged.device.Create(plugged.link, plugged.charger->SlavePath(), error);
}

// The port goes away first, then the watch tells the desk, as in the
// station; the fresh charger appears behind the same link.
bool Replug(station::CStationDesk& desk, Plugged& plugged, int number) {
    plugged.charger->Stop();
    plugged.device.Remove();
    desk.Gone(plugged.link);
    if (!PlugIn(plugged, number)) {
        return false;
    }
    desk.Appeared(plugged.link);
    return true;
}

struct Figures {
    double warm = 0;
    double end = 0;
    double heapWarm = 0;
    double heapEnd = 0;
    double peak = 0;
    long replugs = 0;
    double seconds = 0;
};

// The first sample after the warm-up is the base; a run too short to warm
// up takes its last one, and shows no growth.
void Sample(Figures& figures, bool warm, double second) {
    const double rss = ResidentMb();
    const double heap = HeapInUseMb();
    if (figures.warm == 0 && warm) {
        figures.warm = rss;
        figures.heapWarm = heap;
    }
    figures.end = rss;
    figures.heapEnd = heap;
    figures.peak = std::max(figures.peak, rss);
    std::fprintf(stderr, "%6.0f s  rss %.2f MB  heap %.2f MB  re-plugs %ld\n", second, rss, heap,
                 figures.replugs);
}

// The station's owner thread: the bench's changes, a re-plug every
// kReplugEvery (round the chargers), a sample every kSampleEvery.
bool Run(bench::CBench& bench, station::CStationDesk& desk, std::vector<Plugged>& chargers,
         Figures& figures) {
    const auto length = RunLength();
    const auto start = Clock::now();
    const auto warmUp = start + std::min<Clock::duration>(std::chrono::seconds(60), length / 5);
    auto nextReplug = start + kReplugEvery;
    auto nextSample = start + kSampleEvery;
    std::size_t next = 0;
    for (auto now = start; now - start < length; now = Clock::now()) {
        const auto wake = std::min(nextReplug, nextSample);
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(wake - now);
        pollfd fd{bench.ChangeFd(), POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(std::max<long>(0, wait.count()))) > 0) {
            desk.AfterChange();
        }
        now = Clock::now();
        if (now >= nextReplug) {
            if (!Replug(desk, chargers[next], static_cast<int>(next) + 1)) {
                return false;
            }
            ++figures.replugs;
            next = (next + 1) % chargers.size();
            nextReplug += kReplugEvery;
        }
        if (now >= nextSample) {
            Sample(figures, now >= warmUp, std::chrono::duration<double>(now - start).count());
            nextSample += kSampleEvery;
        }
    }
    Sample(figures, true, std::chrono::duration<double>(Clock::now() - start).count());
    figures.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return true;
}

void Report(benchmark::State& state, const Figures& figures, const CCountingBoard& counted) {
    const double growth = figures.end - figures.warm;
    state.counters["rss_warm_mb"] = figures.warm;
    state.counters["rss_end_mb"] = figures.end;
    state.counters["rss_peak_mb"] = figures.peak;
    state.counters["growth_mb"] = growth;
    state.counters["heap_warm_mb"] = figures.heapWarm;
    state.counters["heap_end_mb"] = figures.heapEnd;
    state.counters["replugs"] = static_cast<double>(figures.replugs);
    state.counters["jobs"] = static_cast<double>(counted.jobs);
    state.counters["events"] = static_cast<double>(counted.events);
    state.counters["duration_s"] = figures.seconds;
    const double held = figures.heapEnd - figures.heapWarm;
    char verdict[200];
    std::snprintf(verdict, sizeof verdict,
                  "%s: in use grew %.2f MB after warm-up (bound %.1f MB); resident set %+.2f MB",
                  held < kBoundMb ? "flat" : "GROWING", held, kBoundMb, growth);
    state.SetLabel(verdict);
    std::printf("station memory: %s\n", verdict);
}

void BM_StationMemory(benchmark::State& state) {
    for (auto _ : state) {
        char folder[] = "/tmp/corvane-station-memory-XXXXXX";
        const std::string scratch = ::mkdtemp(folder) != nullptr ? folder : "/tmp";
        std::vector<Plugged> chargers(kChargers);
        for (int k = 0; k < kChargers; ++k) {
            chargers[k].link = scratch + "/charger-" + std::to_string(k + 1);
            if (!PlugIn(chargers[k], k + 1)) {
                state.SkipWithError("a simulated charger did not start");
                return;
            }
        }
        benchstation::CServedStation served;
        std::string error;
        if (!served.Start(error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        std::vector<std::unique_ptr<CStreamReader>> readers;
        for (int i = 0; i < kReaders; ++i) {
            readers.push_back(std::make_unique<CStreamReader>(served.Port()));
        }
        const auto connecting = Clock::now() + std::chrono::seconds(5);
        while (served.hub.Readers() < kReaders && Clock::now() < connecting) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (served.hub.Readers() < kReaders) {
            state.SkipWithError("the event-stream readers did not connect");
            return;
        }
        CCountingBoard counting(served.board);
        benchstation::CNoSystemLog systemLog;
        bench::CBenchJournal journal(scratch + "/records.jsonl", systemLog, true);
        bench::BenchOptions options;
        options.byIdName = [](const std::string&) { return std::string(); };
        options.recorder = &journal;
        Figures figures;
        bool ran = false;
        {
            bench::CBench bench(options, counting);
            station::CStationDesk desk(bench);
            for (const auto& plugged : chargers) {
                desk.Appeared(plugged.link);
            }
            ran = Run(bench, desk, chargers, figures);
        }
        readers.clear();
        served.server.Stop();
        chargers.clear();
        ::unlink((scratch + "/records.jsonl").c_str());
        ::rmdir(scratch.c_str());
        if (!ran) {
            state.SkipWithError("a simulated charger did not start again");
            return;
        }
        state.SetIterationTime(figures.seconds);
        Report(state, figures, counting);
    }
}

}  // namespace

BENCHMARK(BM_StationMemory)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
