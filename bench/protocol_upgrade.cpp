// A whole upgrade (pause, hand-over, 101 blocks, identification) against the
// simulated charger at the pace of a 38400-baud line, on the real clock.
//
// The protocol's floor: the 500 ms pause, then per block one 100 ms idle poll
// (the answer cannot be there when the pass after SendBlock looks) plus the
// 133 bytes on the line, then one 2000 ms identification window (floor_ms,
// ratio). The block leaves while the upload sleeps, though, so its 35 ms on
// the line hide inside the 100 ms poll; a floor that counts the overlap, the
// identification's 600 ms pause and its window is overlap_floor_ms, with
// overlap_ratio. cpu_ms and cpu_percent are the process CPU time during the
// upgrade (the simulator runs in this process too, so it is included).
#include <sys/resource.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "protocol/UpgradeSequence.h"
#include "serial/SerialPort.h"
#include "sim/SimulatedCharger.h"

namespace {

constexpr double kBaud = 38400.0;
constexpr double kBitsPerByte = 10.0;  // start, 8 data, stop
constexpr double kBlockLineMs = 133.0 * kBitsPerByte / kBaud * 1000.0;
constexpr double kFloorMs = 500.0 + 101.0 * (100.0 + kBlockLineMs) + 2000.0;
constexpr double kOverlapFloorMs =
    500.0 + 101.0 * (kBlockLineMs > 100.0 ? kBlockLineMs : 100.0) + 600.0 + 2000.0;

// Keeps the versions and the last status; draws nothing.
class CQuietView : public IChargerView {
public:
    std::string& BootCode() override { return m_boot; }
    std::string& ChargerCode() override { return m_charger; }
    const std::string& UpgradeVersion() const override { return m_upgrade; }
    void ShowStatus(const std::string& text) override { status = text; }
    void SetProgress(int, int) override {}
    void PaintVersions() override {}
    void InvalidateWindow() override {}
    void PaintWindow() override {}
    void ShowUpgradeButton(bool) override {}
    void ShowReadButton(bool) override {}

    std::string status;

private:
    std::string m_boot, m_charger, m_upgrade = "2.10e";
};

double CpuMs() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

void BM_WholeUpgrade(benchmark::State& state) {
    platform::SetMessageBoxHook([](const std::string&, const std::string&) {});
    double wallMs = 0.0;
    double cpuMs = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        sim::SimOptions options;  // firmware 2.09, paced at 38400 baud
        sim::CSimulatedCharger charger(options);
        if (!charger.Start()) {
            state.SkipWithError(charger.ErrorText().c_str());
            break;
        }
        CSerialPort port;
        port.SetPortName(charger.SlavePath());
        CQuietView view;
        state.ResumeTiming();

        const double cpuBefore = CpuMs();
        const auto start = std::chrono::steady_clock::now();
        RunUpgrade(port, view, platform::SystemClock());
        wallMs +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        cpuMs += CpuMs() - cpuBefore;

        if (view.status != "Upgrade Successful") {
            state.SkipWithError(("upgrade ended with: " + view.status).c_str());
            break;
        }
    }
    const double runs = static_cast<double>(state.iterations());
    state.counters["floor_ms"] = kFloorMs;
    state.counters["wall_ms"] = wallMs / runs;
    state.counters["ratio"] = wallMs / runs / kFloorMs;
    state.counters["overlap_floor_ms"] = kOverlapFloorMs;
    state.counters["overlap_ratio"] = wallMs / runs / kOverlapFloorMs;
    state.counters["cpu_ms"] = cpuMs / runs;
    state.counters["cpu_percent"] = 100.0 * cpuMs / wallMs;
    platform::SetMessageBoxHook({});
}

BENCHMARK(BM_WholeUpgrade)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
