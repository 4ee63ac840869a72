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
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "serial/SerialPort.h"

class CLineClock : public platform::IClock {
public:
    // The port must be closed: the clock installs the port's trace hook.
    explicit CLineClock(CSerialPort& port);
    ~CLineClock() override;
    CLineClock(const CLineClock&) = delete;
    CLineClock& operator=(const CLineClock&) = delete;

    std::uint32_t NowMs() override { return m_now; }
    void SleepMs(std::uint32_t milliseconds) override;

    std::function<void(std::uint32_t milliseconds)> onSleep = [](std::uint32_t) {};
    std::function<void()> peer = [] {};
    int replyWaitMs = 5000;

    // Waits (bounded) until at least count bytes wait in the port's ring; for
    // onSleep hooks that expect a chattering far end to have spoken.
    bool WaitForReceived(int count, int limitMs = 3000);

    int Sleeps() const { return static_cast<int>(m_sleeps.size()); }
    const std::vector<std::uint32_t>& SleepLog() const { return m_sleeps; }
    // Every byte the port's writer put on the line, in order.
    std::string Sent() const;

private:
    void Settle();

    CSerialPort& m_port;
    std::uint32_t m_now = 1000;
    std::vector<std::uint32_t> m_sleeps;
    std::size_t m_answeredUpTo = 0;  // sent count when the far end last answered

    mutable std::mutex m_lock;
    std::string m_sent;
    std::atomic<std::size_t> m_sentCount{0};
};
