// History over a year of a busy bench: N records (200,000 make about 60 MB)
// in one journal, read back newest first, each one tallied and turned into
// a CSV row as corvane-cli history --csv does. The aim is under 2 s for
// 200,000 records, and memory that does not grow with the journal.
//
// MB            the journal's size
// peak_rss_MB   the peak resident memory while reading, above what the
//               process held before (the peak is reset first)
// records       records read (all of them match)
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>

#include "bench/HistoryCsv.h"
#include "bench/HistoryReader.h"
#include "bench/HistoryTally.h"

namespace {

const char* const kOutcomes[] = {"upgraded", "upgraded", "current", "read", "failed"};

// Writes the journal line by line, so that making it costs no memory either.
std::string MakeJournal(long long records) {
    const std::string path = "/tmp/corvane-history-bench-" + std::to_string(::getpid()) + "-" +
                             std::to_string(records) + ".jsonl";
    std::FILE* out = std::fopen(path.c_str(), "w");
    const long long start = 1'765'000'000;  // a year of records, one every ~2.6 minutes
    for (long long i = 0; i < records && out != nullptr; ++i) {
        const char* outcome = kOutcomes[i % 5];
        const long long time = start + i * 157;
        char stamp[32];
        const std::time_t t = static_cast<std::time_t>(time);
        std::tm utc{};
        ::gmtime_r(&t, &utc);
        std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
        std::fprintf(
            out,
            "{\"time\":\"%s\",\"host\":\"benchpc%lld\",\"tool\":\"bench\","
            "\"port\":\"/dev/ttyUSB%lld\",\"device\":\"/dev/"
            "ttyUSB%lld\","
            "\"byId\":\"\",\"deviceId\":\"VC-4017-%05lld\",\"bootCode\":"
            "\"1.02\","
            "\"before\":\"2.09\",\"after\":\"2.10e\",\"image\":{\"label\":\"2.10e\",\"size\":12810,"
            "\"crc\":\"1D0F\",\"path\":\"\"},\"blocks\":101,\"resends\":%lld,\"seconds\":41.2,"
            "\"outcome\":\"%s\",\"reason\":\"%s\",\"identification\":[\"deviceid "
            "VC-4017-%05lld\"]}\n",
            stamp, i % 4, i % 8, i % 8, i % 20000, i % 3, outcome,
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

void BM_HistoryYear(benchmark::State& state) {
    const long long records = state.range(0);
    const std::string path = MakeJournal(records);
    long long read = 0;
    long peakKb = 0;
    for (auto _ : state) {
        std::ofstream("/proc/self/clear_refs") << "5";  // peak := now
        const long before = StatusKb("VmRSS:");
        bench::CHistoryReader reader({});
        std::string error;
        if (!reader.AddFile(path, error)) {
            state.SkipWithError(error.c_str());
            break;
        }
        bench::CHistoryTally tally;
        bench::HistoryRecord record;
        std::size_t bytes = 0;
        read = 0;
        while (reader.Next(record)) {
            tally.Add(record);
            bytes += bench::CsvRow(record).size();
            ++read;
        }
        benchmark::DoNotOptimize(bytes);
        peakKb = std::max(peakKb, StatusKb("VmHWM:") - before);
    }
    std::ifstream file(path, std::ios::ate | std::ios::binary);
    state.counters["MB"] = static_cast<double>(file.tellg()) / 1e6;
    state.counters["records"] = static_cast<double>(read);
    state.counters["peak_rss_MB"] = static_cast<double>(peakKb) / 1024.0;
    std::remove(path.c_str());
}
BENCHMARK(BM_HistoryYear)->Arg(20'000)->Arg(200'000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
