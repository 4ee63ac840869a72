// Bench: several chargers served at once, one job per port.
//
// Principles of operation
//   A CBench has one slot per port. Plug(path) makes (or reuses) the slot of
//   that path and starts its job on a worker thread of its own: read the
//   versions, upgrade when the mode asks for it, record the result. Each job
//   has its own CSerialPort, clock and view and runs the same Read and
//   Upgrade code as the window, so a failing charger (silent, refusing
//   blocks, pulled out) only ends its own job. What the commands would show
//   as message boxes becomes the job's result text, and debugger output is
//   tagged with the job's port. Each Plug also finds the slot's label in the
//   options' slot map (SlotNames.h) by where its device sits now.
//
//   Stop(slot) asks one job to stop, StopAll() every job; a stopped upload
//   ends with CAN twice, drained before the port closes, as a single upgrade
//   does. Unplug(path) stops the job of that path (its charger is gone) and
//   empties the slot for the next charger plugged there.
//
//   A job that reached a charger (it answered with at least one byte) is
//   recorded by the options' recorder when it ends; one that did not is
//   only counted, so a bouncing connector does not flood the records.
//
//   Front ends learn what happens through an IBenchObserver and may wait on
//   ChangeFd(), which becomes readable whenever a job ends: a command line
//   waits on it with poll, a window with a socket notifier.
//
// Threads and locks
//   Public operations are called on one owner thread. The slots are guarded
//   by one lock, never held across a job's I/O, waits or observer calls;
//   observer calls are serialised by a second lock. The destructor stops
//   every job and joins its thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "bench/BenchObserver.h"
#include "bench/BenchTypes.h"

namespace bench {

class CBench {
public:
    CBench(BenchOptions options, IBenchObserver& observer);
    ~CBench();
    CBench(const CBench&) = delete;
    CBench& operator=(const CBench&) = delete;

    // A charger at path: its slot (new, or the path's own) announces it and
    // starts its job. When the slot's last job is still winding down, the
    // new job starts at the next OnChange after it ended. A path that reaches
    // the device another slot serves starts nothing. Returns the slot.
    int Plug(const std::string& path);
    // The device at path went away: its job is stopped and the slot emptied.
    void Unplug(const std::string& path);

    // Asks one job, or every job, to stop.
    void Stop(int slot);
    void StopAll();

    // True while any job runs.
    bool Busy() const;
    // Blocks until no job runs; jobs bound their own waits.
    void WaitIdle();
    // Readable when a job has ended. The owner then calls OnChange, which
    // empties it and starts the jobs of chargers plugged in while their
    // slot's last job was still winding down.
    int ChangeFd() const;
    void OnChange();

    std::vector<SlotInfo> Slots() const;
    const ImageInfo& Image() const;
    // Jobs that ended without a byte from a charger; they leave no record.
    int UnansweredJobs() const;
    // Records the recorder could not write (each told as RecordFailed).
    int RecordsFailed() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace bench
