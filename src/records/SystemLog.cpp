#include "records/SystemLog.h"

#include <syslog.h>

#include "platform/LogSocket.h"

namespace records {

void CSyslog::Write(bool failed, const std::string& line) {
    (void)platform::SendToSystemLog(LOG_USER | (failed ? LOG_WARNING : LOG_INFO), "corvane", line);
}

}  // namespace records
