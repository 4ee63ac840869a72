#include "cli/CliClock.h"

#include <algorithm>

#include "cli/Interrupt.h"

void CCliClock::SleepMs(std::uint32_t milliseconds) {
    constexpr std::uint32_t kSlice = 20;
    const std::uint32_t start = NowMs();
    while (!Interrupted()) {
        const std::uint32_t spent = NowMs() - start;
        if (spent >= milliseconds) {
            return;
        }
        platform::SystemClock().SleepMs(std::min(kSlice, milliseconds - spent));
    }
}
