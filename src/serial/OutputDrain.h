// Output drain: waiting until what was sent has really left the port.
//
// Principles of operation
//   Bytes handed to the device are not yet on the line: a UART driver or a
//   USB adapter queues them, and a purge at close throws that queue away.
//   Before a last word (the two CANs of a cancelled upload) is followed by
//   Close, the port waits for two things in turn: the writer's queue to
//   empty, then the device's own output queue. tcdrain would do the second
//   but can wait forever on a line held by flow control, so the device is
//   polled instead, and the whole wait has one bound.
//
// Threads: the caller's; the probes are asked on it while the writer runs.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/Clock.h"

struct DrainProbes {
    std::function<bool()> queueEmpty;    // nothing waits for the writer
    std::function<int()> devicePending;  // bytes the device has yet to send
};

// True when both emptied within timeoutMs of the call, polling every pollMs.
bool DrainOutput(const DrainProbes& probes, platform::IClock& clock, std::uint32_t timeoutMs,
                 std::uint32_t pollMs = 2);
