#include "bench/StopClock.h"

namespace bench {

void CStopClock::SleepMs(std::uint32_t milliseconds) {
    // A manual-reset event: once set, every later sleep returns at once.
    if (!m_stop.Valid()) {
        platform::SystemClock().SleepMs(milliseconds);
        return;
    }
    m_stop.Wait(static_cast<int>(milliseconds));
}

}  // namespace bench
