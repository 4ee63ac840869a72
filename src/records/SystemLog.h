// System log: where every service record also goes, besides its file.
//
// Principles of operation
//   A service centre gathers the records of all its bench PCs with the log
//   shipping it already runs (journald or rsyslog forwarding), so each
//   record line is handed to the system log too. ISystemLog is the seam:
//   CSyslog sends each line with the ident "corvane", which only records
//   carry (debug texts go as "corvane-debug"), to the log socket
//   (platform/LogSocket.h: /dev/log, or $CORVANE_LOG_SOCKET); tests give a
//   recorder.
//
// Threads: Write may be called from several threads at once; each line is
// a datagram of its own.
#pragma once

#include <string>

namespace records {

class ISystemLog {
public:
    virtual ~ISystemLog() = default;
    // failed: the line reports a charger that failed (a warning).
    virtual void Write(bool failed, const std::string& line) = 0;
};

class CSyslog : public ISystemLog {
public:
    void Write(bool failed, const std::string& line) override;
};

}  // namespace records
