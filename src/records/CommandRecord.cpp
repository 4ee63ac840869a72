#include "records/CommandRecord.h"

#include "protocol/DeviceIdLine.h"
#include "records/DeviceNames.h"
#include "records/RecordJournal.h"

namespace records {

CCommandRecord::CCommandRecord(CSerialPort& port, platform::IClock& clock, std::string tool,
                               CSerialPort::TraceHook next)
    : m_port(port), m_clock(clock), m_tool(std::move(tool)), m_startMs(clock.NowMs()) {
    m_transcript.Listen(port, std::move(next));
    m_transcript.SetRecording(true);
}

CCommandRecord::~CCommandRecord() {
    m_port.SetTraceHook({});
}

bool CCommandRecord::Write(ServiceRecord record, std::string& problem) {
    if (!Heard()) {
        return true;  // no charger was reached: nothing to record
    }
    record.tool = m_tool;
    record.identification = m_transcript.Lines();
    record.deviceId = DeviceIdFrom(record.identification);
    if (record.byId.empty()) {
        record.byId = ByIdNameOf(ResolvedDevice(record.device));
    }
    record.seconds = (m_clock.NowMs() - m_startMs) / 1000.0;
    CSyslog systemLog;
    CRecordJournal journal(RecordsPath(), systemLog);
    return journal.Append(std::move(record), problem);
}

}  // namespace records
