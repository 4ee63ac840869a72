// A bench of N chargers against N simulated chargers paced at 38400 baud
// (corvane-sim --chargers N in a process of its own, so that only the
// bench's own processor time is counted here).
//
// wall_s        the whole bench: plugged in to every job ended
// ratio         wall_s against the bench of one charger run first
// cpu_ms        this process's user and system time during the bench
// core_pct_per_charger  cpu_ms / wall time / N, in percent of one core
//
// Each result is recorded as corvane-cli bench records it: appended to a
// journal in the bench's folder under its lock and synced to the disk, so
// the figures include what a record costs.
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/Bench.h"
#include "bench/BenchJournal.h"

extern char** environ;

namespace {

class CNoSystemLog : public records::ISystemLog {
public:
    void Write(bool, const std::string&) override {}
};

double CpuMs() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

class CQuiet : public bench::IBenchObserver {
public:
    void OnBenchEvent(const bench::BenchEvent& event) override {
        if (event.kind == bench::EventKind::Finished &&
            event.slot.result->outcome != records::Outcome::Upgraded) {
            failed = true;
        }
    }
    bool failed = false;  // written under the bench's observer lock
};

// corvane-sim --chargers n, with links in a folder of its own; stopped with
// SIGTERM at the end.
class CSimBench {
public:
    explicit CSimBench(int n) {
        char folder[] = "/tmp/corvane-bench-XXXXXX";
        m_folder = ::mkdtemp(folder) != nullptr ? folder : "/tmp";
        int out[2];
        if (::pipe(out) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        const std::string program = CORVANE_BIN_DIR "/corvane-sim";
        const std::string count = std::to_string(n);
        const std::string link = m_folder + "/charger-%d";
        std::vector<char*> argv = {
            const_cast<char*>(program.c_str()), const_cast<char*>("--chargers"),
            const_cast<char*>(count.c_str()),   const_cast<char*>("--link"),
            const_cast<char*>(link.c_str()),    nullptr};
        ::posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        std::FILE* lines = ::fdopen(out[0], "r");
        char line[256];
        for (int k = 1; k <= n && lines != nullptr && std::fgets(line, sizeof line, lines); ++k) {
            ports.push_back(m_folder + "/charger-" + std::to_string(k));  // there once announced
        }
        if (lines != nullptr) {
            std::fclose(lines);
        }
    }
    ~CSimBench() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
        ::unlink(Records().c_str());
        ::rmdir(m_folder.c_str());
    }
    std::string Records() const { return m_folder + "/records.jsonl"; }
    std::vector<std::string> ports;

private:
    std::string m_folder;
    pid_t m_pid = -1;
};

double g_oneChargerSeconds = 0;

void BM_Bench(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        CSimBench chargers(n);
        if (static_cast<int>(chargers.ports.size()) != n) {
            state.SkipWithError("corvane-sim did not start its chargers");
            return;
        }
        CQuiet observer;
        CNoSystemLog systemLog;
        bench::CBenchJournal journal(chargers.Records(), systemLog, true);
        bench::BenchOptions options;
        options.byIdName = [](const std::string&) { return std::string(); };
        options.recorder = &journal;
        const double cpuStart = CpuMs();
        const auto start = std::chrono::steady_clock::now();
        {
            bench::CBench bench(options, observer);
            for (const auto& port : chargers.ports) {
                bench.Plug(port);
            }
            bench.WaitIdle();
        }
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double cpu = CpuMs() - cpuStart;
        state.SetIterationTime(wall);
        if (observer.failed) {
            state.SkipWithError("a charger was not upgraded");
            return;
        }
        if (n == 1) {
            g_oneChargerSeconds = wall;
        }
        state.counters["wall_s"] = wall;
        state.counters["cpu_ms"] = cpu;
        state.counters["core_pct_per_charger"] = cpu / (wall * 1000.0) * 100.0 / n;
        state.counters["ratio"] = g_oneChargerSeconds > 0 ? wall / g_oneChargerSeconds : 0;
    }
}

}  // namespace

BENCHMARK(BM_Bench)->Arg(1)->Arg(4)->Arg(8)->Arg(16)->Iterations(1)->UseManualTime()->Unit(
    benchmark::kSecond);

BENCHMARK_MAIN();
