// Throughput of the plain CRC-16 over 1 MiB (the file check runs it over
// whole image files on the window's thread).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "support/Crc16.h"

namespace {

void BM_Crc16Plain(benchmark::State& state) {
    std::vector<std::uint8_t> data(static_cast<std::size_t>(state.range(0)));
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i * 131U + (i >> 9));
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(Crc16Plain(data.data(), 0, data.size()));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Crc16Plain)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
