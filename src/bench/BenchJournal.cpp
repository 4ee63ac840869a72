#include "bench/BenchJournal.h"

#include "support/SessionLog.h"

namespace bench {

std::string BenchJournalPath() {
    return StateFilePath("bench.jsonl");
}

records::ServiceRecord BenchServiceRecord(const SlotInfo& slot, const RunResult& result,
                                          bool simulated) {
    records::ServiceRecord record;
    record.tool = "bench";
    record.port = slot.port;
    record.device = slot.device;
    record.byId = slot.byIdName;
    record.deviceId = result.deviceId;
    record.bootCode = result.bootCode;
    record.before = result.before;
    record.after = result.after;
    record.image = result.image;
    record.blocks = result.blocks;
    record.resends = result.resends;
    record.seconds = result.seconds;
    record.outcome = result.outcome;
    record.reason = result.reason;
    record.identification = result.identification;
    record.simulated = simulated;
    record.slot = slot.label;
    return record;
}

CBenchJournal::CBenchJournal(std::string path, records::ISystemLog& systemLog, bool simulated)
    : m_journal(std::move(path), systemLog), m_simulated(simulated) {}

bool CBenchJournal::Record(const SlotInfo& slot, const RunResult& result, std::string& problem) {
    return m_journal.Append(BenchServiceRecord(slot, result, m_simulated), problem);
}

}  // namespace bench
