// Command record: the service record of one Read or Upgrade outside the
// bench (the window's and the command line's).
//
// Principles of operation
//   Made before the command runs, it listens to the port's received bytes
//   (passing each on to next, the command line's byte trace) and keeps the
//   charger's reply lines. After the command the front end fills in what it
//   showed (versions, figures, outcome) and calls Write, which adds the
//   tool, the reply lines, the device ID, the by-id name and the seconds,
//   and appends the record to the record journal and the system log. A
//   command that heard no byte reached no charger and leaves no record.
//
// Threads: the thread that runs the command. The port must be closed (as
// Read and Upgrade leave it) before the record is destroyed, which takes
// its listener off the port.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Clock.h"
#include "records/ReplyTranscript.h"
#include "records/ServiceRecord.h"
#include "serial/SerialPort.h"

namespace records {

class CCommandRecord {
public:
    CCommandRecord(CSerialPort& port, platform::IClock& clock, std::string tool,
                   CSerialPort::TraceHook next = {});
    ~CCommandRecord();
    CCommandRecord(const CCommandRecord&) = delete;
    CCommandRecord& operator=(const CCommandRecord&) = delete;

    // true when the charger sent at least one byte.
    bool Heard() const { return m_transcript.Heard(); }
    // Writes the record when the charger answered; false, with problem set,
    // when the journal did not take it.
    bool Write(ServiceRecord record, std::string& problem);

private:
    CSerialPort& m_port;
    platform::IClock& m_clock;
    std::string m_tool;
    std::uint32_t m_startMs;
    CReplyTranscript m_transcript;
};

}  // namespace records
