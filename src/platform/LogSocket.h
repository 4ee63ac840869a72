// Log socket: lines for the system log, each under an ident of its own.
//
// Principles of operation
//   syslog(3) takes its ident from openlog, which is process-wide, and
//   always writes to /dev/log. The service records (ident "corvane") and the
//   debug texts (ident "corvane-debug") must never share an ident, since a
//   service centre gathers records by it, and a bench PC's or a test's
//   rsyslog may listen on a socket of its own. So each line is sent here as
//   one datagram in the form syslog(3) itself sends (RFC 3164):
//       <PRI>Mmm dd hh:mm:ss IDENT[PID]: TEXT
//   to $CORVANE_LOG_SOCKET when it is set, else to /dev/log (which journald
//   and rsyslog both serve). A log that is not there, or does not take the
//   line within a second, loses the line, as with syslog(3): the log never
//   holds up a charger's job.
//
// Threads: any thread; nothing is kept between lines.
#pragma once

#include <sys/types.h>

#include <ctime>
#include <string>
#include <string_view>

namespace platform {

// $CORVANE_LOG_SOCKET, or /dev/log when it is unset or empty.
std::string LogSocketPath();

// The datagram for one line: priority is facility | severity (LOG_USER |
// LOG_INFO); the time is local, as syslog(3) writes it.
std::string SystemLogLine(int priority, std::string_view ident, pid_t pid, std::time_t now,
                          std::string_view text);

// Sends one line to the log at LogSocketPath(); false when it did not take it.
bool SendToSystemLog(int priority, std::string_view ident, std::string_view text);

}  // namespace platform
