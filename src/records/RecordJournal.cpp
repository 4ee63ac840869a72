#include "records/RecordJournal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "support/SessionLog.h"

namespace records {
namespace {

// Closes the descriptor on every path out.
struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

// Holds the journal's advisory lock while alive, so that one record's
// check of the last byte and its write are not split by another process's
// record (whose half-copied line would read as a missing line feed). A
// holder that never lets go (a stuck program) must not hang an upgrade: the
// lock is tried for at most kLockTries x kLockPauseMs, then the record is
// written without it, as it was before records were locked.
class CJournalLock {
public:
    explicit CJournalLock(int fd) : m_fd(fd) {
        for (int tries = 0; tries < kLockTries; ++tries) {
            if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
                m_held = true;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(kLockPauseMs));
        }
    }
    ~CJournalLock() {
        if (m_held) {
            (void)::flock(m_fd, LOCK_UN);
        }
    }
    CJournalLock(const CJournalLock&) = delete;
    CJournalLock& operator=(const CJournalLock&) = delete;

private:
    static constexpr int kLockTries = 400;
    static constexpr int kLockPauseMs = 5;
    int m_fd;
    bool m_held = false;
};

// When the last byte cannot be read, a line feed is written first: an
// empty line costs less than a record glued to a broken one.
bool EndsInLineFeed(int fd, off_t size) {
    char last = 0;
    return size == 0 || (::pread(fd, &last, 1, size - 1) == 1 && last == '\n');
}

// A short write (a full disk) is cut back to where the line began, when
// nothing was appended after it. Called under the journal's lock, so no
// other record can land between the size check and the cut.
void CutBack(int fd, ssize_t written) {
    // O_APPEND leaves the offset at the end of what this write added.
    const off_t end = ::lseek(fd, 0, SEEK_CUR);
    struct stat st {};
    if (end >= written && ::fstat(fd, &st) == 0 && st.st_size == end) {
        (void)::ftruncate(fd, end - written);
    }
}

struct LineWrite {
    ssize_t written = 0;
    ssize_t wanted = 0;
    int error = 0;
};

// The steps of one record on the open file, under its lock: a line feed
// first when the file does not end a line, the line in one write, and a
// short write cut back.
LineWrite WriteLine(int fd, const std::string& line) {
    struct stat st {};
    const bool endsLine = ::fstat(fd, &st) == 0 && EndsInLineFeed(fd, st.st_size);
    const std::string text = (endsLine ? "" : "\n") + line + "\n";
    LineWrite result;
    result.wanted = static_cast<ssize_t>(text.size());
    result.written = ::write(fd, text.data(), text.size());  // one write
    result.error = errno;
    if (result.written > 0 && result.written < result.wanted) {
        CutBack(fd, result.written);
    }
    return result;
}

}  // namespace

std::string RecordsPath() {
    return StateFilePath("records.jsonl");
}

CRecordJournal::CRecordJournal(std::string path, ISystemLog& systemLog)
    : m_path(std::move(path)), m_systemLog(systemLog) {}

bool CRecordJournal::Append(ServiceRecord record, std::string& problem) {
    if (record.time.empty()) {
        record.time = UtcNow();
    }
    if (record.host.empty()) {
        record.host = HostName();
    }
    const std::string line = ServiceRecordLine(record);
    bool written = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        written = AppendLine(line, problem);
    }
    m_systemLog.Write(record.outcome == Outcome::Failed, line);
    return written;
}

bool CRecordJournal::AppendLine(const std::string& line, std::string& problem) {
    const auto fail = [&](const std::string& why) {
        problem = "Could not write the service record " + m_path + ": " + why + ".";
        return false;
    };
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(m_path).parent_path(), ec);
    struct stat st {};
    if (::stat(m_path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        return fail("not a regular file");
    }
    Fd file;
    file.fd = ::open(m_path.c_str(),
                     O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644);
    if (file.fd < 0) {
        // A folder that could not be made says why (a read-only file
        // system), not that the file's folder is missing.
        return fail(errno == ENOENT && ec ? ec.message() : std::strerror(errno));
    }
    if (::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        return fail("not a regular file");
    }
    LineWrite result;
    {
        const CJournalLock lock(file.fd);
        result = WriteLine(file.fd, line);
    }
    if (result.written == result.wanted) {
        // On the disk before the outcome is reported, so a power cut does not
        // take the last records; after the lock, so benches do not queue
        // behind each other's syncs.
        return ::fdatasync(file.fd) == 0 || fail(std::strerror(errno));
    }
    if (result.written > 0) {
        return fail("short write, the disk may be full");
    }
    return fail(std::strerror(result.error));
}

}  // namespace records
