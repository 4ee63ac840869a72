#include "platform/Clock.h"

#include <chrono>
#include <thread>

namespace platform {
namespace {

const std::chrono::steady_clock::time_point kProcessStart = std::chrono::steady_clock::now();

}  // namespace

std::uint32_t ProcessMilliseconds() {
    const auto elapsed = std::chrono::steady_clock::now() - kProcessStart;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    return static_cast<std::uint32_t>(ms);
}

std::uint32_t CSteadyClock::NowMs() {
    return ProcessMilliseconds();
}

void CSteadyClock::SleepMs(std::uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

IClock& SystemClock() {
    static CSteadyClock clock;
    return clock;
}

}  // namespace platform
