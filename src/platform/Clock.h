// Clock and sleep: the process clock the commands measure their waits on.
//
// Principles of operation
//   The process clock counts milliseconds since the process started on the
//   monotonic clock, in 32 bits that wrap. It is not clock(), which on Linux
//   counts processor time: a deadline on it would never pass while the
//   process sleeps.
//
//   Commands take the clock as an IClock so that tests can run long waits in
//   virtual time, and so that the window can let itself repaint while a
//   command sleeps (its clock's SleepMs pumps paint events).
//
// Threads: CSteadyClock is stateless and safe from any thread.
#pragma once

#include <cstdint>

namespace platform {

class IClock {
public:
    virtual ~IClock() = default;
    // Milliseconds since the process started, wrapping at 2^32.
    virtual std::uint32_t NowMs() = 0;
    virtual void SleepMs(std::uint32_t milliseconds) = 0;
};

class CSteadyClock : public IClock {
public:
    std::uint32_t NowMs() override;
    void SleepMs(std::uint32_t milliseconds) override;
};

// The process-wide monotonic clock.
IClock& SystemClock();

// Monotonic milliseconds since the process started (the same as SystemClock).
std::uint32_t ProcessMilliseconds();

}  // namespace platform
