#include "bench/RecordJournal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "support/SessionLog.h"

namespace bench {
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

// When the last byte cannot be read, a line feed is written first: an
// empty line costs less than a record glued to a broken one.
bool EndsInLineFeed(int fd, off_t size) {
    char last = 0;
    return size == 0 || (::pread(fd, &last, 1, size - 1) == 1 && last == '\n');
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
        return fail(std::strerror(errno));
    }
    if (::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        return fail("not a regular file");
    }
    const std::string text = (EndsInLineFeed(file.fd, st.st_size) ? "" : "\n") + line + "\n";
    const ssize_t written = ::write(file.fd, text.data(), text.size());  // one write
    const int error = errno;
    if (written == static_cast<ssize_t>(text.size())) {
        return true;
    }
    if (written > 0) {
        // O_APPEND leaves the offset at the end of what this write added.
        const off_t end = ::lseek(file.fd, 0, SEEK_CUR);
        if (end >= written && ::fstat(file.fd, &st) == 0 && st.st_size == end) {
            (void)::ftruncate(file.fd, end - written);
        }
        return fail("short write, the disk may be full");
    }
    return fail(std::strerror(error));
}

}  // namespace bench
