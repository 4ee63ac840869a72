#include "sim/SimulatedCharger.h"

#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/Event.h"
#include "sim/ChargerEngine.h"
#include "sim/PtyEndpoint.h"

namespace sim {

namespace {
constexpr int kBackOffMs = 50;
constexpr std::size_t kReadChunk = 512;
}  // namespace

struct CSimulatedCharger::Impl {
    explicit Impl(SimOptions opts) : options(std::move(opts)), engine(options) {}

    void Run();
    bool Step(int& timeoutMs);
    void Receive();
    std::int64_t NowUs() const;
    int TimeoutMs(std::int64_t nowUs) const;

    SimOptions options;
    mutable std::mutex lock;  // guards engine
    mutable std::condition_variable changed;
    CChargerEngine engine;
    CPtyEndpoint pty;  // the loop's own while it runs
    platform::CEvent stop{platform::CEvent::Mode::ManualReset};
    std::thread thread;
    std::chrono::steady_clock::time_point epoch;
    std::string error;
    bool started = false;
    std::atomic<bool> running{false};
    bool lineFault = false;
};

std::int64_t CSimulatedCharger::Impl::NowUs() const {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                 epoch)
        .count();
}

// Microseconds to the engine's next deadline or the next byte due, rounded
// up to whole milliseconds for poll; -1 when nothing is planned.
int CSimulatedCharger::Impl::TimeoutMs(std::int64_t nowUs) const {
    std::int64_t next = -1;
    const std::int64_t wakeMs = engine.NextWakeMs();
    if (wakeMs >= 0) {
        next = wakeMs * 1000;
    }
    const std::int64_t outputUs = engine.NextOutputUs();
    if (outputUs >= 0) {
        next = next < 0 ? outputUs : std::min(next, outputUs);
    }
    if (next < 0) {
        return -1;
    }
    const std::int64_t waitUs = std::max<std::int64_t>(0, next - nowUs);
    return static_cast<int>(std::min<std::int64_t>((waitUs + 999) / 1000, 60000));
}

// One round of timers and output; false once the line is gone.
bool CSimulatedCharger::Impl::Step(int& timeoutMs) {
    const std::int64_t nowUs = NowUs();
    std::string out;
    bool hangUp = false;
    {
        std::lock_guard<std::mutex> guard(lock);
        engine.OnTime(nowUs / 1000);
        out = engine.TakeOutput(nowUs);
        hangUp = engine.HangUpRequested();
        timeoutMs = TimeoutMs(nowUs);
    }
    if (!out.empty() && !pty.Write(out)) {
        lineFault = true;
    }
    if (hangUp) {
        pty.Close();
        std::lock_guard<std::mutex> guard(lock);
        engine.MarkHungUp();
    }
    changed.notify_all();
    return pty.IsOpen();
}

void CSimulatedCharger::Impl::Receive() {
    std::uint8_t buffer[kReadChunk];
    const ssize_t n = pty.Read(buffer, sizeof buffer);
    if (n < 0) {
        lineFault = true;
        return;
    }
    lineFault = false;
    {
        std::lock_guard<std::mutex> guard(lock);
        const std::int64_t nowMs = NowUs() / 1000;
        for (ssize_t i = 0; i < n; ++i) {
            engine.OnByte(buffer[i], nowMs);
        }
    }
    changed.notify_all();
}

void CSimulatedCharger::Impl::Run() {
    for (;;) {
        int timeoutMs = -1;
        const bool lineOpen = Step(timeoutMs);
        platform::WaitItem items[2];
        items[0].event = &stop;
        int count = 1;
        if (lineOpen && !lineFault) {
            items[1].fd = pty.MasterFd();
            items[1].events = POLLIN;
            count = 2;
        } else if (lineOpen) {
            // A line that reports faults is looked at again after a pause,
            // not in a tight loop.
            timeoutMs = timeoutMs < 0 ? kBackOffMs : std::min(timeoutMs, kBackOffMs);
            lineFault = false;
        }
        const int ready = platform::WaitForAny(items, count, timeoutMs);
        if (ready == 0 || ready == platform::kWaitFailed) {
            return;
        }
        if (ready == 1) {
            Receive();
        }
    }
}

CSimulatedCharger::CSimulatedCharger(SimOptions options)
    : m_impl(std::make_unique<Impl>(std::move(options))) {}

CSimulatedCharger::~CSimulatedCharger() {
    Stop();
}

bool CSimulatedCharger::Start() {
    Impl& impl = *m_impl;
    if (impl.started) {
        impl.error = "the simulated charger runs already";
        return false;
    }
    if (!impl.stop.Valid()) {
        impl.error = "no wake-up event";
        return false;
    }
    if (!impl.pty.Open(impl.error)) {
        return false;
    }
    impl.epoch = std::chrono::steady_clock::now();
    {
        std::lock_guard<std::mutex> guard(impl.lock);
        impl.engine.Begin(0);
    }
    impl.started = true;
    impl.running = true;
    impl.thread = std::thread([&impl] { impl.Run(); });
    return true;
}

void CSimulatedCharger::Stop() {
    Impl& impl = *m_impl;
    if (!impl.thread.joinable()) {
        return;
    }
    impl.stop.Set();
    impl.thread.join();
    impl.pty.Close();
    impl.running = false;
}

bool CSimulatedCharger::Running() const {
    return m_impl->running;
}

const std::string& CSimulatedCharger::SlavePath() const {
    return m_impl->pty.SlavePath();
}

const std::string& CSimulatedCharger::ErrorText() const {
    return m_impl->error;
}

SimLog CSimulatedCharger::Log() const {
    std::lock_guard<std::mutex> guard(m_impl->lock);
    return m_impl->engine.Log();
}

std::string CSimulatedCharger::FirmwareVersion() const {
    std::lock_guard<std::mutex> guard(m_impl->lock);
    return m_impl->engine.FirmwareVersion();
}

std::vector<std::uint8_t> CSimulatedCharger::ReceivedImage() const {
    std::lock_guard<std::mutex> guard(m_impl->lock);
    return m_impl->engine.ReceivedImage();
}

bool CSimulatedCharger::InBootLoader() const {
    std::lock_guard<std::mutex> guard(m_impl->lock);
    return m_impl->engine.Mode() == ChargerMode::BootLoader;
}

bool CSimulatedCharger::WaitUntil(const std::function<bool(const SimLog&)>& done,
                                  int timeoutMs) const {
    std::unique_lock<std::mutex> guard(m_impl->lock);
    return m_impl->changed.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                    [&] { return done(m_impl->engine.Log()); });
}

}  // namespace sim
