#include "LineClock.h"

#include <chrono>
#include <thread>

namespace {

using Steady = std::chrono::steady_clock;

constexpr long kQuietMs = 2;         // nothing moved: the line has caught up
constexpr long kActiveQuietMs = 10;  // the same once the far end has spoken
constexpr long kBusyMs = 30;         // the most one sleep gives a chattering far end
constexpr long kMaxSettleMs = 6000;

long ElapsedMs(Steady::time_point since) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - since).count());
}

}  // namespace

CLineClock::CLineClock(CSerialPort& port) : m_port(port) {
    m_port.SetTraceHook([this](bool sent, const std::uint8_t* data, std::size_t length) {
        if (sent) {
            std::lock_guard<std::mutex> guard(m_lock);
            m_sent.append(reinterpret_cast<const char*>(data), length);
            m_sentCount.store(m_sent.size());
        }
    });
}

CLineClock::~CLineClock() {
    if (!m_port.IsOpen()) {
        m_port.SetTraceHook({});
    }
}

std::string CLineClock::Sent() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_sent;
}

void CLineClock::SleepMs(std::uint32_t milliseconds) {
    m_now += milliseconds;
    m_sleeps.push_back(milliseconds);
    onSleep(milliseconds);
    Settle();
}

void CLineClock::Settle() {
    const auto start = Steady::now();
    auto quietSince = start;
    std::size_t sent = m_sentCount.load();
    int available = m_port.IsOpen() ? m_port.BytesAvailable() : 0;
    bool received = false;
    while (ElapsedMs(start) < kMaxSettleMs) {
        peer();
        std::this_thread::sleep_for(std::chrono::microseconds(250));
        const std::size_t nowSent = m_sentCount.load();
        const int nowAvailable = m_port.IsOpen() ? m_port.BytesAvailable() : 0;
        if (nowSent != sent || nowAvailable != available) {
            if (nowAvailable > available) {
                m_answeredUpTo = nowSent;
                received = true;
            }
            sent = nowSent;
            available = nowAvailable;
            quietSince = Steady::now();
        }
        const long quietFor = ElapsedMs(quietSince);
        if (sent > m_answeredUpTo) {
            if (quietFor >= replyWaitMs) {
                m_answeredUpTo = sent;  // a silent far end is waited for once per send
                return;
            }
        } else if (quietFor >= (received ? kActiveQuietMs : kQuietMs) ||
                   ElapsedMs(start) >= kBusyMs) {
            return;
        }
    }
}

bool CLineClock::WaitForReceived(int count, int limitMs) {
    const auto start = Steady::now();
    while (m_port.BytesAvailable() < count) {
        if (ElapsedMs(start) >= limitMs) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(250));
    }
    return true;
}
