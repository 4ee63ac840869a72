// Latency from a byte written at the far end of a pseudo-terminal to
// ReadByte returning it: the reader's wake-up, read and delivery into the
// ring. Reported per byte as the benchmark's time, with the median and the
// 99th percentile as counters.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/MessageBox.h"
#include "serial/SerialPort.h"

namespace {

using Clock = std::chrono::steady_clock;

class CBenchPty {
public:
    CBenchPty() {
        char name[256] = {};
        if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) == 0) {
            m_path = name;
            termios raw{};
            ::tcgetattr(m_slave, &raw);
            ::cfmakeraw(&raw);
            ::tcsetattr(m_slave, TCSANOW, &raw);
        }
    }
    ~CBenchPty() {
        if (m_master >= 0) {
            ::close(m_master);
            ::close(m_slave);
        }
    }
    bool Valid() const { return m_master >= 0; }
    int Master() const { return m_master; }
    const std::string& SlavePath() const { return m_path; }

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_path;
};

double Percentile(std::vector<double> samples, double fraction) {
    if (samples.empty()) {
        return 0.0;
    }
    std::sort(samples.begin(), samples.end());
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(samples.size() - 1));
    return samples[index];
}

void BM_SerialReceiveLatency(benchmark::State& state) {
    CBenchPty pty;
    if (!pty.Valid()) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    platform::SetMessageBoxHook([](const std::string&, const std::string&) {});
    CSerialPort port;
    port.SetPortName(pty.SlavePath());
    if (!port.Open()) {
        state.SkipWithError("the port did not open");
        return;
    }
    std::vector<double> samples;
    samples.reserve(100000);
    const std::uint8_t byte = 0xA5;
    for (auto _ : state) {
        const Clock::time_point sent = Clock::now();
        if (::write(pty.Master(), &byte, 1) != 1) {
            state.SkipWithError("write to the far end failed");
            break;
        }
        int got = port.ReadByte();
        const Clock::time_point bound = sent + std::chrono::seconds(2);
        while (got < 0 && Clock::now() < bound) {
            std::this_thread::yield();
            got = port.ReadByte();
        }
        const Clock::time_point arrived = Clock::now();
        if (got != byte) {
            state.SkipWithError("the byte did not arrive");
            break;
        }
        const double seconds = std::chrono::duration<double>(arrived - sent).count();
        state.SetIterationTime(seconds);
        samples.push_back(seconds * 1e6);
    }
    port.Close();
    platform::SetMessageBoxHook({});
    state.counters["median_us"] = Percentile(samples, 0.5);
    state.counters["p99_us"] = Percentile(samples, 0.99);
}
BENCHMARK(BM_SerialReceiveLatency)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
