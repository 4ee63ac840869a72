// Window clock: the process clock for commands that run in the window.
//
// Principles of operation
//   Read and Upgrade run synchronously on the user-interface thread and wait
//   by sleeping on this clock. While it sleeps, it runs the event loop: the
//   window keeps repainting and answering the desktop (paint, expose, moves,
//   timers, posted calls). User input is delivered too, as it arrives, so
//   that the window's input guard can drop it; input held back until the
//   command ended would be carried out after it.
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
