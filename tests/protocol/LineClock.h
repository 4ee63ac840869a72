// Line clock: virtual time for commands that talk through a real port.
//
// Principles of operation
//   SleepMs advances the virtual clock at once, so a 10.4 s Read or a 20.1 s
//   silence costs no such wall time. Before it returns it lets the real line
//   catch up: it waits until nothing has moved for a few milliseconds (bytes
//   written by the port's writer, counted through the port's trace hook, or
//   bytes arriving in the receive ring). When the writer has sent something
//   that the far end has not answered yet, it waits up to `replyWaitMs` for
//   the answer to begin; a far end that stays silent costs that once per
//   send. A far end that never stops talking (a boot loader's stream of "C")
//   is given a short slice per sleep. Every wait is bounded, so a test cannot
//   hang here.
//
//   While the command sleeps it cannot take bytes from the ring, so the ring
//   only grows during a settle; that is what makes "quiet" observable.
//
//   `onSleep` runs before the settle (a scripted far end writes at given
//   moments there); `peer` is polled throughout the settle (a scripted far
//   end answers what it reads there).
//
// Threads: SleepMs runs on the command's thread; the trace hook on the
// port's writer thread (atomics and a locked copy of the sent bytes).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "serial/SerialPort.h"

class CLineClock : public platform::IClock {
public:
    // The port must be closed: the clock installs the port's trace hook.
    explicit CLineClock(CSerialPort& port) : m_port(port) {
        m_port.SetTraceHook([this](bool sent, const std::uint8_t* data, std::size_t length) {
            if (sent) {
                std::lock_guard<std::mutex> guard(m_lock);
                m_sent.append(reinterpret_cast<const char*>(data), length);
                m_sentCount.store(m_sent.size());
            }
        });
    }
    ~CLineClock() override {
        if (!m_port.IsOpen()) {
            m_port.SetTraceHook({});
        }
    }
    CLineClock(const CLineClock&) = delete;
    CLineClock& operator=(const CLineClock&) = delete;

    std::uint32_t NowMs() override { return m_now; }
    void SleepMs(std::uint32_t milliseconds) override {
        m_now += milliseconds;
        m_sleeps.push_back(milliseconds);
        onSleep(milliseconds);
        Settle();
    }

    std::function<void(std::uint32_t milliseconds)> onSleep = [](std::uint32_t) {};
    std::function<void()> peer = [] {};
    int replyWaitMs = 5000;

    // Waits (bounded) until at least count bytes wait in the port's ring; for
    // onSleep hooks that expect a chattering far end to have spoken.
    bool WaitForReceived(int count, int limitMs = 3000) {
        const auto start = Steady::now();
        while (m_port.BytesAvailable() < count) {
            if (ElapsedMs(start) >= limitMs) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(250));
        }
        return true;
    }

    int Sleeps() const { return static_cast<int>(m_sleeps.size()); }
    const std::vector<std::uint32_t>& SleepLog() const { return m_sleeps; }
    // Every byte the port's writer put on the line, in order.
    std::string Sent() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_sent;
    }

private:
    using Steady = std::chrono::steady_clock;
    static constexpr long kQuietMs = 2;         // nothing moved: the line has caught up
    static constexpr long kActiveQuietMs = 10;  // the same once the far end has spoken
    static constexpr long kBusyMs = 30;         // the most one sleep gives a chattering far end
    static constexpr long kMaxSettleMs = 6000;

    static long ElapsedMs(Steady::time_point since) {
        return static_cast<long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - since).count());
    }

    void Settle() {
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

    CSerialPort& m_port;
    std::uint32_t m_now = 1000;
    std::vector<std::uint32_t> m_sleeps;
    std::size_t m_answeredUpTo = 0;  // sent count when the far end last answered

    mutable std::mutex m_lock;
    std::string m_sent;
    std::atomic<std::size_t> m_sentCount{0};
};
