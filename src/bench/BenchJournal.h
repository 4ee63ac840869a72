// Bench journal: the bench's results as service records.
//
// Principles of operation
//   The bench hands each job's result to its recorder; CBenchJournal turns
//   it into a service record (tool "bench", marked simulated when the
//   chargers are the built-in simulated ones) and appends it to the record
//   journal, which also hands it to the system log (RecordJournal.h). The
//   bench does not record a job that never reached a charger.
//
//   The bench's own JSON lines once went to bench.jsonl; that file is no
//   longer written, and BenchJournalPath names it for those who read it.
//
// Threads: Record is called from the bench's job threads, possibly at once;
// the record journal takes its own lock.
#pragma once

#include <string>

#include "bench/BenchObserver.h"
#include "records/RecordJournal.h"
#include "records/SystemLog.h"

namespace bench {

// $XDG_STATE_HOME/corvane/bench.jsonl: the bench's file before the record
// journal; no longer written.
std::string BenchJournalPath();

// A bench job's record.
records::ServiceRecord BenchServiceRecord(const SlotInfo& slot, const RunResult& result,
                                          bool simulated);

class CBenchJournal : public IResultRecorder {
public:
    CBenchJournal(std::string path, records::ISystemLog& systemLog, bool simulated = false);
    bool Record(const SlotInfo& slot, const RunResult& result, std::string& problem) override;

private:
    records::CRecordJournal m_journal;
    bool m_simulated;
};

}  // namespace bench
