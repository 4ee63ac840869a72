// History over a year of a busy bench: N records (2,000,000 make about
// 775 MB) in one journal, listed as corvane-cli history --file JOURNAL
// [--csv] lists them: RunHistory itself, with its output on /dev/null, so
// every record goes through the reader, the command's filter, the tally and
// the rows the command writes. The aims: 2,000,000 records listed in 4 s,
// table or CSV, in memory that does not grow with the journal (the whole
// command within 16 MB); 80,000 records in one second (a fast feed) within
// twice the time of 80,000 spread out; a 32 MB line (a power cut's zeros,
// or a hostile sender) in under half a second.
//
// MB            the journal's size
// peak_rss_MB   the peak resident memory while listing, above what the
//               process held before (the peak is reset first)
// records       records in the journal (all of them are listed)
#include <fcntl.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>

#include "cli/CommandLine.h"
#include "cli/Commands.h"

namespace {

const char* const kOutcomes[] = {"upgraded", "upgraded", "current", "read", "failed"};

std::string JournalPath(const std::string& name) {
    return "/tmp/corvane-history-bench-" + std::to_string(::getpid()) + "-" + name + ".jsonl";
}

// Writes the journal line by line, so that making it costs no memory either.
// `spacing` seconds apart: 157 spread a year's 200,000 records over a year,
// 0 puts them all in one second.
std::string MakeJournal(long long records, long long spacing) {
    const std::string path = JournalPath(std::to_string(records) + "-" + std::to_string(spacing));
    std::FILE* out = std::fopen(path.c_str(), "w");
    const long long start = 1'765'000'000;
    for (long long i = 0; i < records && out != nullptr; ++i) {
        const char* outcome = kOutcomes[i % 5];
        const long long time = start + i * spacing;
        char stamp[32];
        const std::time_t t = static_cast<std::time_t>(time);
        std::tm utc{};
        ::gmtime_r(&t, &utc);
        std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
        std::fprintf(
            out,
            "{\"time\":\"%s\",\"host\":\"benchpc%lld\",\"tool\":\"bench\","
            "\"port\":\"/dev/ttyUSB%lld\",\"device\":\"/dev/ttyUSB%lld\","
            "\"byId\":\"\",\"deviceId\":\"VC-4017-%07lld\",\"bootCode\":\"1.02\","
            "\"before\":\"2.09\",\"after\":\"2.10e\",\"image\":{\"label\":\"2.10e\",\"size\":12810,"
            "\"crc\":\"1D0F\",\"path\":\"\"},\"blocks\":101,\"resends\":%lld,\"seconds\":41.2,"
            "\"outcome\":\"%s\",\"reason\":\"%s\",\"identification\":[\"deviceid "
            "VC-4017-%05lld\"]}\n",
            stamp, i % 4, i % 8, i % 8, i, i % 3, outcome,
            outcome[0] == 'f' ? "The charger stopped answering at block 40 of 101." : "",
            i % 20000);
    }
    if (out != nullptr) {
        std::fclose(out);
    }
    return path;
}

long StatusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(field, 0) == 0) {
            return std::stol(line.substr(line.find(':') + 1));
        }
    }
    return 0;
}

// Standard output and error on /dev/null while it lives.
class CQuiet {
public:
    CQuiet() {
        std::fflush(stdout);
        std::fflush(stderr);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
            m_saved[fd - 1] = ::dup(fd);
            ::dup2(null, fd);
        }
        ::close(null);
    }
    ~CQuiet() {
        std::fflush(stdout);
        std::fflush(stderr);
        for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
            ::dup2(m_saved[fd - 1], fd);
            ::close(m_saved[fd - 1]);
        }
    }
    CQuiet(const CQuiet&) = delete;
    CQuiet& operator=(const CQuiet&) = delete;

private:
    int m_saved[2] = {-1, -1};
};

// Lists the journal as corvane-cli history --file PATH [--csv] does; false
// when the command fails.
bool ListAll(benchmark::State& state, const std::string& path, bool csv, long& peakKb) {
    CliOptions options;
    options.command = "history";
    options.historyFiles = {path};
    options.csv = csv;
    std::ofstream("/proc/self/clear_refs") << "5";  // peak := now
    const long before = StatusKb("VmRSS:");
    int code = 0;
    {
        const CQuiet quiet;
        code = RunHistory(options);
    }
    peakKb = std::max(peakKb, StatusKb("VmHWM:") - before);
    if (code != 0) {
        state.SkipWithError(("history ended with " + std::to_string(code)).c_str());
        return false;
    }
    return true;
}

void Report(benchmark::State& state, const std::string& path, long long records, long peakKb) {
    std::ifstream file(path, std::ios::ate | std::ios::binary);
    state.counters["MB"] = static_cast<double>(file.tellg()) / 1e6;
    state.counters["records"] = static_cast<double>(records);
    state.counters["peak_rss_MB"] = static_cast<double>(peakKb) / 1024.0;
    std::remove(path.c_str());
}

// range(0) records, range(1) seconds apart, listed as CSV (range(2) 1) or
// as a table (0).
void BM_HistoryList(benchmark::State& state) {
    const std::string path = MakeJournal(state.range(0), state.range(1));
    long peakKb = 0;
    for (auto _ : state) {
        if (!ListAll(state, path, state.range(2) != 0, peakKb)) {
            break;
        }
    }
    Report(state, path, state.range(0), peakKb);
}
BENCHMARK(BM_HistoryList)
    ->ArgNames({"records", "apart", "csv"})
    ->Args({20'000, 157, 1})
    ->Args({200'000, 157, 1})
    ->Args({2'000'000, 157, 1})
    ->Args({2'000'000, 157, 0})
    ->Args({80'000, 157, 1})
    ->Args({80'000, 0, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One line of range(0) MB without a newline, between two records.
void BM_HistoryLongLine(benchmark::State& state) {
    const std::string path = JournalPath("line-" + std::to_string(state.range(0)));
    {
        std::ofstream out(path, std::ios::binary);
        out << "{\"time\":\"2026-12-07T10:00:00Z\",\"outcome\":\"read\"}\n";
        const std::string chunk(1 << 20, 'x');
        for (long long i = 0; i < state.range(0); ++i) {
            out << chunk;
        }
        out << "\n{\"time\":\"2026-12-07T10:00:01Z\",\"outcome\":\"read\"}\n";
    }
    long peakKb = 0;
    for (auto _ : state) {
        if (!ListAll(state, path, true, peakKb)) {
            break;
        }
    }
    Report(state, path, 2, peakKb);
}
BENCHMARK(BM_HistoryLongLine)->Arg(32)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
