// Bench journal: every charger a bench touched, in a file and the system log.
//
// Principles of operation
//   Each result becomes one JSON line (RecordLine): when, the port, the
//   device and its by-id name, the charger's identification lines, the
//   versions before and after, blocks, resends, seconds, the outcome and
//   its reason, and the image sent. CBenchJournal appends the line to
//   $XDG_STATE_HOME/corvane/bench.jsonl (~/.local/state by default) with one
//   write, so lines of concurrent jobs (and of other benches) never
//   interleave, and hands it to the system log, where a service centre's
//   journald or rsyslog forwarding gathers every bench's results.
//
//   The system log is a seam (ISystemLog): CSyslog is syslog(3) with the
//   ident "corvane"; tests give a recorder. A line that cannot be written
//   to the file is kept as Problem() for the front end to show; it never
//   changes a charger's result.
//
// Threads: Record is called from the bench's job threads, possibly at once;
// one lock guards the file and the problem text.
#pragma once

#include <mutex>
#include <string>

#include "bench/BenchObserver.h"

namespace bench {

class ISystemLog {
public:
    virtual ~ISystemLog() = default;
    // failed: the line reports a charger that failed (a warning).
    virtual void Write(bool failed, const std::string& line) = 0;
};

class CSyslog : public ISystemLog {
public:
    CSyslog();  // openlog("corvane", LOG_PID, LOG_USER)
    ~CSyslog() override;
    CSyslog(const CSyslog&) = delete;
    CSyslog& operator=(const CSyslog&) = delete;
    void Write(bool failed, const std::string& line) override;
};

// $XDG_STATE_HOME/corvane/bench.jsonl, or ~/.local/state/corvane/bench.jsonl.
std::string BenchJournalPath();

// The record of one result; time in ISO 8601 (UTC).
std::string RecordLine(const SlotInfo& slot, const RunResult& result, const std::string& isoTime);

class CBenchJournal : public IResultRecorder {
public:
    CBenchJournal(std::string path, ISystemLog& systemLog);
    void Record(const SlotInfo& slot, const RunResult& result) override;
    // Why the file could not be written, empty when it could.
    std::string Problem() const;

private:
    std::string m_path;
    ISystemLog& m_systemLog;
    mutable std::mutex m_lock;
    std::string m_problem;
};

}  // namespace bench
