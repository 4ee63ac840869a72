#include "sim/SimulatedBench.h"

#include <algorithm>
#include <chrono>
#include <ostream>

#include "sim/SignalWatch.h"

namespace sim {

CSimulatedBench::CSimulatedBench(const SimArguments& args, std::ostream& out)
    : m_args(args), m_out(out) {}

bool CSimulatedBench::Start(std::string& error) {
    m_seats.resize(static_cast<std::size_t>(m_args.chargers));
    for (int k = 1; k <= m_args.chargers; ++k) {
        Seat& seat = m_seats[static_cast<std::size_t>(k - 1)];
        if (!ChargerOptions(m_args, k, seat.options, error)) {
            return false;
        }
        seat.linkPath = ChargerLink(m_args.linkPath, k);
        if (!Plug(seat, error)) {
            return false;
        }
    }
    return true;
}

bool CSimulatedBench::Plug(Seat& seat, std::string& error) {
    seat.charger = std::make_unique<CSimulatedCharger>(seat.options);
    if (!seat.charger->Start()) {
        error = seat.charger->ErrorText();
        return false;
    }
    if (!seat.linkPath.empty()) {
        seat.link = std::make_unique<CDeviceLink>();
        if (!seat.link->Create(seat.linkPath, seat.charger->SlavePath(), error)) {
            return false;
        }
    }
    m_out << "PTY " << seat.charger->SlavePath() << " " << seat.linkPath << std::endl;
    return true;
}

// The link goes first, as udev removes a by-id link before the device.
void CSimulatedBench::Unplug(Seat& seat) {
    if (!seat.charger) {
        return;
    }
    if (seat.link) {
        seat.link->Remove();
        seat.link.reset();
    }
    const std::string device = seat.charger->SlavePath();
    seat.charger->Stop();
    seat.logs.push_back(seat.charger->Log().ToJson());
    seat.charger.reset();
    m_out << "GONE " << device << " " << seat.linkPath << std::endl;
}

void CSimulatedBench::Run(CSignalWatch& signals) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::seconds(m_args.runSeconds);
    for (;;) {
        int wait = m_args.plugEverySeconds;
        if (m_args.runSeconds > 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::seconds>(end - Clock::now()).count();
            if (left <= 0) {
                break;
            }
            wait = wait > 0 ? std::min<int>(wait, static_cast<int>(left)) : static_cast<int>(left);
        }
        if (signals.WaitForStop(wait) != 0 || m_args.plugEverySeconds == 0) {
            break;  // a signal, or the run time is up
        }
        if (m_args.runSeconds > 0 && Clock::now() >= end) {
            break;
        }
        for (Seat& seat : m_seats) {
            std::string error;
            if (seat.charger) {
                Unplug(seat);
            } else if (!Plug(seat, error)) {
                m_out << "ERROR " << error << std::endl;
            }
        }
    }
    for (Seat& seat : m_seats) {
        Unplug(seat);
    }
}

std::string CSimulatedBench::LogJson() const {
    std::string json = "[";
    for (const Seat& seat : m_seats) {
        for (const std::string& log : seat.logs) {
            json += (json.size() > 1 ? "," : "") + log;
        }
    }
    return json + "]";
}

}  // namespace sim
