#include "bench/SystemLog.h"

#include <syslog.h>

namespace bench {

CSyslog::CSyslog() {
    ::openlog("corvane", LOG_PID, LOG_USER);
}

CSyslog::~CSyslog() {
    ::closelog();
}

void CSyslog::Write(bool failed, const std::string& line) {
    ::syslog(failed ? LOG_WARNING : LOG_INFO, "%s", line.c_str());
}

}  // namespace bench
