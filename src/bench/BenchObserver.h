// Bench observer: how a front end (the command line's table or lines, a
// window) learns what the bench's slots do.
//
// Principles of operation
//   The bench calls OnBenchEvent for every event of every slot. Calls are
//   serialised by the bench: never two at once, in the order the events
//   happened, so an observer needs no lock of its own for what it prints.
//   They come from the bench's worker threads (and from the thread that plugs
//   or unplugs a port), so an observer that draws must hand the event to its
//   own thread. It must return promptly and must not call Plug, Unplug or
//   the destructor of the bench from inside the call; Stop and StopAll may.
//
// Threads: any bench thread, one call at a time.
#pragma once

#include <string>

#include "bench/BenchTypes.h"

namespace bench {

class IBenchObserver {
public:
    virtual ~IBenchObserver() = default;
    virtual void OnBenchEvent(const BenchEvent& event) = 0;
};

// Records one result each time a job that reached a charger ends (a file,
// the system log). Called on the job's worker thread, possibly on several at
// once. false, with problem set, when the record could not be written.
class IResultRecorder {
public:
    virtual ~IResultRecorder() = default;
    virtual bool Record(const SlotInfo& slot, const RunResult& result, std::string& problem) = 0;
};

}  // namespace bench
