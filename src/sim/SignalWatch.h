// Signal watch: how corvane-sim learns that it should stop.
//
// Principles of operation
//   The constructor blocks SIGINT and SIGTERM for the calling thread, and so
//   for every thread started after it, and receives them on a signalfd
//   instead; no work is done in a signal handler. Construct it before any
//   thread starts. WaitForStop then waits with poll for either signal or the
//   end of the run time. The destructor restores the old signal mask.
//
// Threads: construct and use on the main thread.
#pragma once

#include <signal.h>

namespace sim {

class CSignalWatch {
public:
    CSignalWatch();
    ~CSignalWatch();
    CSignalWatch(const CSignalWatch&) = delete;
    CSignalWatch& operator=(const CSignalWatch&) = delete;

    bool Valid() const { return m_fd >= 0; }
    // Waits for SIGINT or SIGTERM, or seconds (0: without limit). Returns the
    // signal's number, or 0 when the time ran out.
    int WaitForStop(int seconds);

private:
    int m_fd = -1;
    sigset_t m_oldMask{};
};

}  // namespace sim
