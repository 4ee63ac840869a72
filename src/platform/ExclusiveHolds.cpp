#include "platform/ExclusiveHolds.h"

#include <sys/ioctl.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <exception>
#include <new>

namespace platform {
namespace {

// The table is a chain of fixed chunks of atomics. A chunk is added when
// every slot is taken and is never freed, so the chain grows with the number
// of ports held at once (a bench has no limit) while releasing still needs
// neither a lock nor an allocation.
constexpr std::size_t kSlotsPerChunk = 16;
// A slot holds the descriptor + 1, so that the zero it starts with means free.
constexpr int kFree = 0;

struct Chunk {
    std::array<std::atomic<int>, kSlotsPerChunk> slots{};
    std::atomic<Chunk*> next{nullptr};
};

Chunk g_first;

std::terminate_handler g_previousTerminate = nullptr;

void ReleaseThenTerminate() {
    ReleaseExclusiveHolds();
    if (g_previousTerminate != nullptr) {
        g_previousTerminate();
    }
    std::abort();
}

bool TakeSlot(Chunk& chunk, int fd) {
    for (auto& slot : chunk.slots) {
        int expected = kFree;
        if (slot.compare_exchange_strong(expected, fd + 1)) {
            return true;
        }
    }
    return false;
}

// The chunk after this one, added by whichever thread gets there first.
Chunk* NextChunk(Chunk& chunk) {
    Chunk* next = chunk.next.load();
    if (next != nullptr) {
        return next;
    }
    auto* added = new (std::nothrow) Chunk;
    if (added == nullptr) {
        return nullptr;
    }
    if (chunk.next.compare_exchange_strong(next, added)) {
        return added;
    }
    delete added;  // another thread added one first; next now holds it
    return next;
}

}  // namespace

void RecordExclusiveHold(int fd) {
    for (Chunk* chunk = &g_first; chunk != nullptr; chunk = NextChunk(*chunk)) {
        if (TakeSlot(*chunk, fd)) {
            return;
        }
    }
}

void ForgetExclusiveHold(int fd) {
    for (Chunk* chunk = &g_first; chunk != nullptr; chunk = chunk->next.load()) {
        for (auto& slot : chunk->slots) {
            int expected = fd + 1;
            if (slot.compare_exchange_strong(expected, kFree)) {
                return;
            }
        }
    }
}

void ReleaseExclusiveHolds() {
    for (Chunk* chunk = &g_first; chunk != nullptr; chunk = chunk->next.load()) {
        for (auto& slot : chunk->slots) {
            const int held = slot.exchange(kFree);
            if (held != kFree) {
                ::ioctl(held - 1, TIOCNXCL);
            }
        }
    }
}

void InstallExclusiveRelease() {
    std::atexit(ReleaseExclusiveHolds);
    g_previousTerminate = std::set_terminate(ReleaseThenTerminate);
}

}  // namespace platform
