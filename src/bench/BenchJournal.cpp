#include "bench/BenchJournal.h"

#include "support/SessionLog.h"

namespace bench {

std::string BenchJournalPath() {
    return StateFilePath("bench.jsonl");
}

CBenchJournal::CBenchJournal(std::string path, ISystemLog& systemLog, bool simulated)
    : m_journal(std::move(path), systemLog), m_simulated(simulated) {}

bool CBenchJournal::Record(const SlotInfo& slot, const RunResult& result, std::string& problem) {
    return m_journal.Append(BenchServiceRecord(slot, result, m_simulated), problem);
}

}  // namespace bench
