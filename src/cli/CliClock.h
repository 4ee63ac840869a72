// Command-line clock: the monotonic clock, with sleeps that end early on
// Ctrl-C so a command notices it within a few milliseconds.
//
// Threads: the command line's main thread.
#pragma once

#include "platform/Clock.h"

class CCliClock : public platform::IClock {
public:
    std::uint32_t NowMs() override { return platform::ProcessMilliseconds(); }
    void SleepMs(std::uint32_t milliseconds) override;
};
