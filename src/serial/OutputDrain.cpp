#include "serial/OutputDrain.h"

bool DrainOutput(const DrainProbes& probes, platform::IClock& clock, std::uint32_t timeoutMs,
                 std::uint32_t pollMs) {
    const std::uint32_t start = clock.NowMs();
    // The device is asked only once the writer has handed it everything.
    while (!probes.queueEmpty() || probes.devicePending() > 0) {
        if (clock.NowMs() - start >= timeoutMs) {
            return false;
        }
        clock.SleepMs(pollMs);
    }
    return true;
}
