// Throughput of the plain CRC-16 over 1 MiB: the sliced routine every user
// takes, beside the bit-by-bit definition it is checked against.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "support/Crc16.h"

namespace {

std::vector<std::uint8_t> Data(std::size_t size) {
    std::vector<std::uint8_t> data(size);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i * 131U + (i >> 9));
    }
    return data;
}

void BM_Crc16Plain(benchmark::State& state) {
    const auto data = Data(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(Crc16Plain(data.data(), 0, data.size()));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Crc16Plain)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

void BM_Crc16Bitwise(benchmark::State& state) {
    const auto data = Data(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        std::uint16_t reg = 0;
        for (const std::uint8_t byte : data) {
            Crc16Update(reg, byte);
        }
        benchmark::DoNotOptimize(reg);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Crc16Bitwise)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
