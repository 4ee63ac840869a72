// Stop clock: the monotonic clock of one bench job, whose sleeps end as soon
// as the job is asked to stop.
//
// Principles of operation
//   The commands sleep between their looks at the port. On a bench every job
//   sleeps on its own clock, waiting on its stop event instead of a plain
//   sleep, so a stop reaches a job within its current look and no thread
//   polls for it.
//
// Threads: used on the job's thread; the event is set from any thread.
#pragma once

#include "platform/Clock.h"
#include "platform/Event.h"

namespace bench {

class CStopClock : public platform::IClock {
public:
    explicit CStopClock(platform::CEvent& stop) : m_stop(stop) {}
    std::uint32_t NowMs() override { return platform::ProcessMilliseconds(); }
    void SleepMs(std::uint32_t milliseconds) override;

private:
    platform::CEvent& m_stop;
};

}  // namespace bench
