// The monitor's own work per report, and the trend chart's per redraw.
//
// BM_TakeAndRecordReport cuts one report line out of received bytes, parses
// it and appends it to a CSV record (one write(2) a line, fdatasync once
// every 50 reports, as a refresh does at 50 reports a second). Its counter
// core_percent_at_50Hz is the share of one core, in per cent, that 50
// reports a second cost (the library prints it with a seconds suffix, as
// it does every inverted rate). BM_DecimateDay draws one value of a day at one report a second
// (86400 samples) on 1000 pixel columns; BM_DecimateTenMinutes the default
// ten-minute view of the same day.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "diagnostics/ReportRecorder.h"
#include "diagnostics/TrendSeries.h"
#include "diagnostics/VariableReport.h"

namespace {

constexpr int kReportsPerSecond = 50;
constexpr int kDaySeconds = 86400;

void BM_TakeAndRecordReport(benchmark::State& state) {
    char path[] = "/tmp/corvane-bench-record-XXXXXX.csv";
    const int fd = ::mkstemps(path, 4);
    ::close(fd);
    ::unlink(path);
    CReportRecorder recorder;
    if (!recorder.Open(path)) {
        state.SkipWithError(recorder.Error().c_str());
        return;
    }
    const std::string line = "1,0,1,1f,a,25,26.5,3c,a,12.25,12.5,77,30.75,1.5,0,13.8,14.1\r";
    CVariableReport report;
    ChargerVariables vars;
    const WallTimePoint when = SystemWallTime();
    const auto record = [&](const ChargerVariables& v) { recorder.Record(when, v); };
    int count = 0;
    for (auto _ : state) {
        report.Feed(line.data(), line.size(), vars, record);
        if (++count % kReportsPerSecond == 0) {
            recorder.Sync();
        }
    }
    recorder.Close();
    ::unlink(path);
    // Seconds per report times 50 reports a second, in per cent.
    state.counters["core_percent_at_50Hz"] =
        benchmark::Counter(static_cast<double>(state.iterations()) / (kReportsPerSecond * 100.0),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_TakeAndRecordReport);

CTrendSeries DaySeries() {
    CTrendSeries series;
    ChargerVariables vars;
    for (int second = 0; second < kDaySeconds; ++second) {
        vars.batteryVoltage = 12.0 + (second % 600) * 0.004;
        series.Append(second * 1000.0, vars);
    }
    return series;
}

void BM_DecimateDay(benchmark::State& state) {
    const CTrendSeries series = DaySeries();
    for (auto _ : state) {
        benchmark::DoNotOptimize(series.Decimate(14, 0.0, kDaySeconds * 1000.0, 1000));
    }
}
BENCHMARK(BM_DecimateDay)->Unit(benchmark::kMicrosecond);

void BM_DecimateTenMinutes(benchmark::State& state) {
    const CTrendSeries series = DaySeries();
    const double end = kDaySeconds * 1000.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(series.Decimate(14, end - 600000.0, end, 1000));
    }
}
BENCHMARK(BM_DecimateTenMinutes)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
