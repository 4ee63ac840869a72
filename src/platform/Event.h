// Events: the stand-in for the events the worker threads wait on.
//
// Principles of operation
//   An event is an eventfd. A manual-reset event stays signalled until reset,
//   so one Set reaches every waiter; an auto-reset event wakes one wait and is
//   consumed by it. Because each event is a descriptor, a thread can wait on
//   events and on the serial device together with poll (WaitForAny).
//
// Threads: Set, Reset and waits may be called from any thread. An auto-reset
// event is meant for a single waiting thread.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace platform {

class CEvent {
public:
    enum class Mode { ManualReset, AutoReset };

    explicit CEvent(Mode mode);
    ~CEvent();
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    // False when the descriptor could not be created (last error set).
    bool Valid() const { return m_fd >= 0; }
    bool Set();
    bool Reset();
    // Looks without waiting; an auto-reset event is consumed when signalled.
    bool TryWait();
    // Waits at most timeoutMs (negative: without limit); true when signalled.
    bool Wait(int timeoutMs);
    int Fd() const { return m_fd; }
    Mode GetMode() const { return m_mode; }

private:
    int m_fd;
    Mode m_mode;
};

// One thing to wait for: an event, or a descriptor with poll events.
struct WaitItem {
    CEvent* event = nullptr;
    int fd = -1;
    short events = 0;
    // Out: the poll revents of a descriptor item.
    short revents = 0;
};

constexpr int kWaitTimeout = -1;
constexpr int kWaitFailed = -2;

// Waits until one item is ready, at most timeoutMs (negative: without limit).
// Returns the index of the first ready item (earlier items win, so put the exit
// event first), kWaitTimeout, or kWaitFailed with the last error set. A ready
// auto-reset event is consumed. Interrupted waits are resumed.
int WaitForAny(WaitItem* items, int count, int timeoutMs);

}  // namespace platform
