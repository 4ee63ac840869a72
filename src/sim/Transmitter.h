// Transmitter: everything the charger sends goes through here.
//
// Principles of operation
//   The firmware and the boot loader hand over single handshake bytes and
//   text lines with the time they are due. The transmitter puts the planned
//   noise before each, cuts lines into pieces with gaps when asked, ends
//   lines with CR LF, counts the handshake bytes in the log and queues it all
//   on the output schedule. Once the charger falls silent nothing more is
//   queued; what was queued before still leaves.
//
// Threads: used under the simulator's lock only.
#pragma once

#include <cstdint>
#include <string>

#include "sim/FaultPlan.h"
#include "sim/OutputSchedule.h"
#include "sim/SimLog.h"
#include "sim/SimOptions.h"

namespace sim {

class CTransmitter {
public:
    CTransmitter(const SimOptions& options, CFaultPlan& faults, SimLog& log);

    void Byte(std::uint8_t byte, std::int64_t atMs);
    // Sends text followed by CR LF.
    void Line(const std::string& text, std::int64_t atMs);
    void FallSilent();
    bool Silent() const { return m_silent; }

    std::string TakeDue(std::int64_t nowUs) { return m_schedule.TakeDue(nowUs); }
    std::int64_t NextDueUs() const { return m_schedule.NextDueUs(); }

private:
    void Count(std::uint8_t byte);

    CFaultPlan& m_faults;
    SimLog& m_log;
    COutputSchedule m_schedule;
    bool m_silent;
};

}  // namespace sim
