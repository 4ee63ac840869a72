#include "platform/ExclusiveHolds.h"

#include <sys/ioctl.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <exception>

namespace platform {
namespace {

// More than any process of this system holds at once (one port each).
constexpr std::size_t kSlots = 16;
// A slot holds the descriptor + 1, so that the zero it starts with means free.
constexpr int kFree = 0;

std::array<std::atomic<int>, kSlots> g_slots{};

std::terminate_handler g_previousTerminate = nullptr;

void ReleaseThenTerminate() {
    ReleaseExclusiveHolds();
    if (g_previousTerminate != nullptr) {
        g_previousTerminate();
    }
    std::abort();
}

}  // namespace

void RecordExclusiveHold(int fd) {
    for (auto& slot : g_slots) {
        int expected = kFree;
        if (slot.compare_exchange_strong(expected, fd + 1)) {
            return;
        }
    }
}

void ForgetExclusiveHold(int fd) {
    for (auto& slot : g_slots) {
        int expected = fd + 1;
        if (slot.compare_exchange_strong(expected, kFree)) {
            return;
        }
    }
}

void ReleaseExclusiveHolds() {
    for (auto& slot : g_slots) {
        const int held = slot.exchange(kFree);
        if (held != kFree) {
            ::ioctl(held - 1, TIOCNXCL);
        }
    }
}

void InstallExclusiveRelease() {
    std::atexit(ReleaseExclusiveHolds);
    g_previousTerminate = std::set_terminate(ReleaseThenTerminate);
}

}  // namespace platform
