// Deadline: a millisecond deadline on the process clock.
//
// Principles of operation
//   Identification bounds each listening window with a Deadline: Start arms
//   it for a number of milliseconds from now, Expired tells whether that
//   moment has come. The process clock counts milliseconds in 32 bits and
//   wraps after about 49.7 days, so the end time may lie "below" the start.
//   Expired therefore compares by signed difference (now - end), which is
//   right across the wrap for any duration below 2^31 ms.
//
// Threads: a value owned by one command on one thread; the clock it reads is
// injected (the system clock, or virtual time in tests).
#pragma once

#include <cstdint>

#include "platform/Clock.h"

class Deadline {
public:
    explicit Deadline(platform::IClock& clock) : m_clock(clock) {}
    void Start(std::uint32_t milliseconds);
    // False while the clock is before the end time; afterwards true, and the
    // expired flag is set.
    bool Expired();

    bool ExpiredFlag() const { return m_expired != 0; }
    std::uint32_t Duration() const { return m_duration; }
    std::uint32_t EndTime() const { return m_endTime; }

private:
    platform::IClock& m_clock;
    std::uint32_t m_expired = 0;
    std::uint32_t m_duration = 0;
    std::uint32_t m_endTime = 0;
};
