// Record journal: the one file every service record is appended to.
//
// Principles of operation
//   $XDG_STATE_HOME/corvane/records.jsonl (~/.local/state when the variable
//   is unset) gets one JSON line per Read or Upgrade outcome, from the
//   window, the command line and the bench, and the same line goes to the
//   system log. Append, step by step:
//     1. Stamp the record's time and host when the caller left them empty.
//     2. Refuse a path that exists and is not a regular file before opening
//        it (a FIFO would block the open, a device would be touched), then
//        open it (read and write, to see its last byte) with O_APPEND and
//        O_NONBLOCK and check the type again on the open file.
//     3. Take the file's advisory lock (flock), which every process
//        appending records takes, waiting for it at most two seconds (a
//        stuck holder must not hang an upgrade; the record is then written
//        without it).
//     4. When the file does not end in a line feed (a line cut short by a
//        power cut or by another program), the line starts with one, so
//        every record begins on a line of its own. Under the lock, another
//        process's line being copied in is never taken for a cut one.
//     5. Write the line with one write, so lines of concurrent jobs and of
//        other benches never interleave.
//     6. A short write (a full disk) is cut back with ftruncate to where the
//        line began, when nothing was appended after it, so no half line is
//        left for the next record to be glued to. This too happens under the
//        lock: no record of another process can land between the size check
//        and the cut and be cut with it.
//     7. Sync the file (fdatasync), so a power cut does not take records
//        already reported as written.
//     8. Hand the line to the system log, whether or not the file took it.
//   A record that cannot be written returns false with the reason; it never
//   changes a charger's result.
//
// Threads: Append may be called from several threads at once; one lock
// keeps the steps of one line together, and the file's lock keeps them
// apart from other processes' (and other journals') records.
#pragma once

#include <mutex>
#include <string>

#include "records/ServiceRecord.h"
#include "records/SystemLog.h"

namespace records {

// $XDG_STATE_HOME/corvane/records.jsonl, or ~/.local/state/corvane/records.jsonl.
std::string RecordsPath();

class CRecordJournal {
public:
    CRecordJournal(std::string path, ISystemLog& systemLog);
    // false, with problem set, when the file did not take the line.
    bool Append(ServiceRecord record, std::string& problem);
    const std::string& Path() const { return m_path; }

private:
    bool AppendLine(const std::string& line, std::string& problem);

    std::string m_path;
    ISystemLog& m_systemLog;
    std::mutex m_lock;
};

}  // namespace records
