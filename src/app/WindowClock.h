// Window clock: the process clock for commands that run in the window.
//
// Principles of operation
//   Read and Upgrade run synchronously on the user-interface thread and wait
//   by sleeping on this clock. While it sleeps, the window keeps repainting
//   and answering the desktop (paint, expose, timers, posted calls, close
//   requests, which the window refuses while a command runs), but no user
//   input is delivered: keys and mouse clicks wait until the command is over.
//   A sleep lasts the requested time on the monotonic clock, also when the
//   event loop inside it is ended early (the application quitting).
//
// Threads: user-interface thread only (it runs that thread's events).
#pragma once

#include <cstdint>

#include "platform/Clock.h"

class CWindowClock : public platform::IClock {
public:
    std::uint32_t NowMs() override;
    void SleepMs(std::uint32_t milliseconds) override;
};
