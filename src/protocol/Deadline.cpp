#include "protocol/Deadline.h"

void Deadline::Start(std::uint32_t milliseconds) {
    m_expired = 0;
    m_duration = milliseconds;
    m_endTime = m_clock.NowMs() + milliseconds;  // wraps with the clock
}

bool Deadline::Expired() {
    // Modular difference read as signed: negative while the end is ahead,
    // also when the end time has wrapped past zero and "now" has not.
    const auto remaining = static_cast<std::int32_t>(m_clock.NowMs() - m_endTime);
    if (remaining < 0) {
        return false;
    }
    m_expired = 1;
    return true;
}
