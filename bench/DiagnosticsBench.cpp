#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "diagnostics/ChargerVariables.h"
#include "diagnostics/FileCrc.h"

namespace {

// A scratch file of the given size, removed at the end of the benchmark.
class CScratchFile {
public:
    explicit CScratchFile(std::size_t size) {
        char pattern[] = "/tmp/corvane-bench-XXXXXX";
        const int fd = ::mkstemp(pattern);
        m_path = pattern;
        std::vector<char> chunk(1 << 20);
        for (std::size_t i = 0; i < chunk.size(); ++i) {
            chunk[i] = static_cast<char>(i * 131U);
        }
        for (std::size_t written = 0; written < size; written += chunk.size()) {
            const std::size_t count = std::min(chunk.size(), size - written);
            if (::write(fd, chunk.data(), count) != static_cast<ssize_t>(count)) {
                break;
            }
        }
        ::close(fd);
    }
    ~CScratchFile() { ::unlink(m_path.c_str()); }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

void BM_CheckFileCrc(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    const CScratchFile file(size);
    for (auto _ : state) {
        benchmark::DoNotOptimize(CheckFileCrc(file.Path()).generatedCrc);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(size));
}
// The whole file check from the page cache: open, read in pieces, CRC.
// bytes_per_second is the figure to hold at 1 GB/s or better.
BENCHMARK(BM_CheckFileCrc)
    ->Arg(12810)
    ->Arg(16 << 20)
    ->Arg(256 << 20)
    ->Unit(benchmark::kMillisecond);

void BM_ParseAndFormatLine(benchmark::State& state) {
    const char* line = "1,0,1,1f,a,25,26.5,3c,a,12.25,12.5,77,30.75,1.5,0,13.8,14.1";
    ChargerVariables vars;
    for (auto _ : state) {
        ParseVariables(line, vars);
        benchmark::DoNotOptimize(FormatVariables(vars));
    }
}
BENCHMARK(BM_ParseAndFormatLine);

}  // namespace

BENCHMARK_MAIN();
