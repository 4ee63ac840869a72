#include "cli/station/StationControl.h"

#include <algorithm>
#include <utility>

namespace station {

using Kind = ControlRequest::Kind;

CStationControl::CStationControl() = default;

void CStationControl::Post(const ControlRequest& request) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_requests.push_back(request);
    m_event.Set();
}

std::vector<ControlRequest> CStationControl::Take() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_event.Reset();
    return std::exchange(m_requests, {});
}

CStationDesk::CStationDesk(bench::CBench& bench, std::function<void(bool paused)> onPause)
    : m_bench(bench), m_onPause(std::move(onPause)) {}

bool CStationDesk::SlotBusy(const std::string& path) const {
    for (const auto& slot : m_bench.Slots()) {
        if (slot.port == path) {
            return slot.state != bench::SlotState::Empty &&
                   slot.state != bench::SlotState::Finished;
        }
    }
    return false;
}

void CStationDesk::Appeared(const std::string& path) {
    if (m_paused || SlotBusy(path)) {
        if (std::find(m_held.begin(), m_held.end(), path) == m_held.end()) {
            m_held.push_back(path);
        }
        return;
    }
    m_bench.Plug(path);
}

void CStationDesk::Gone(const std::string& path) {
    m_held.erase(std::remove(m_held.begin(), m_held.end(), path), m_held.end());
    m_bench.Unplug(path);
}

void CStationDesk::PlugHeld() {
    if (m_paused) {
        return;
    }
    std::vector<std::string> still;
    for (const auto& path : m_held) {
        if (SlotBusy(path)) {
            still.push_back(path);
        } else {
            m_bench.Plug(path);
        }
    }
    m_held = std::move(still);
}

void CStationDesk::Carry(const std::vector<ControlRequest>& requests) {
    for (const auto& request : requests) {
        switch (request.kind) {
            case Kind::StopSlot:
                m_bench.Stop(request.slot);
                break;
            case Kind::StopAll:
                m_bench.StopAll();
                break;
            case Kind::Pause:
            case Kind::Resume: {
                const bool pause = request.kind == Kind::Pause;
                if (pause != m_paused) {
                    m_paused = pause;
                    if (m_onPause) {
                        m_onPause(pause);
                    }
                }
                break;
            }
        }
    }
    PlugHeld();
}

void CStationDesk::AfterChange() {
    m_bench.OnChange();
    PlugHeld();
}

}  // namespace station
