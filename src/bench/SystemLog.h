// System log: where every service record also goes, besides its file.
//
// Principles of operation
//   A service centre gathers the records of all its bench PCs with the log
//   shipping it already runs (journald or rsyslog forwarding), so each
//   record line is handed to the system log too. ISystemLog is the seam:
//   CSyslog is syslog(3) with the ident "corvane"; tests give a recorder.
//
// Threads: Write may be called from several threads at once; syslog(3) is
// thread-safe.
#pragma once

#include <string>

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

}  // namespace bench
