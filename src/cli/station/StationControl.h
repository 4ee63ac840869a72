// Station control: the page's requests (stop a slot, stop all, pause,
// resume) carried to the thread that owns the bench, and what pausing
// means for chargers plugged in meanwhile.
//
// Principles of operation
//   The HTTP server's thread only posts requests: CStationControl queues
//   them and makes its descriptor readable, so the bench keeps one owner
//   thread, as it expects. That thread waits on the descriptor beside the
//   bench's and the watches', and CStationDesk carries the requests out.
//
//   CStationDesk stands between the port watches and the bench. A charger
//   that appears is plugged at once, unless the station is paused or its
//   slot's last job is still running: then it is held, and plugged once
//   the station resumes and its slot is free. A charger that goes away is
//   unplugged, and no longer held. Pausing lets running jobs finish and
//   starts no new one; a stop asks the job (or every job) to stop the way
//   a single upgrade stops, with CAN twice before the port closes.
//
// Threads: Post from any thread; everything else on the owner thread.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "bench/Bench.h"
#include "platform/Event.h"

namespace station {

struct ControlRequest {
    enum class Kind { StopSlot, StopAll, Pause, Resume };
    Kind kind = Kind::StopAll;
    int slot = -1;  // StopSlot: the bench's slot number
};

class CStationControl {
public:
    CStationControl();
    void Post(const ControlRequest& request);
    // Readable while requests wait.
    int Fd() const { return m_event.Fd(); }
    std::vector<ControlRequest> Take();

private:
    std::mutex m_lock;
    std::vector<ControlRequest> m_requests;
    platform::CEvent m_event{platform::CEvent::Mode::ManualReset};
};

class CStationDesk {
public:
    // onPause: told each time the station pauses (true) or resumes.
    CStationDesk(bench::CBench& bench, std::function<void(bool paused)> onPause = {});

    void Appeared(const std::string& path);
    void Gone(const std::string& path);
    void Carry(const std::vector<ControlRequest>& requests);
    // After the bench's change descriptor fired: its OnChange, then the
    // held chargers whose slots are free (unless paused).
    void AfterChange();

    bool Paused() const { return m_paused; }
    const std::vector<std::string>& Held() const { return m_held; }

private:
    bool SlotBusy(const std::string& path) const;
    void PlugHeld();

    bench::CBench& m_bench;
    std::function<void(bool)> m_onPause;
    bool m_paused = false;
    std::vector<std::string> m_held;
};

}  // namespace station
