#include "diagnostics/ReadOnlyFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/LastError.h"

CReadOnlyFile::~CReadOnlyFile() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

namespace {

const char* KindOf(unsigned mode) {
    switch (mode & S_IFMT) {
        case S_IFIFO:
            return "a FIFO";
        case S_IFCHR:
            return "a character device";
        case S_IFBLK:
            return "a block device";
        case S_IFSOCK:
            return "a socket";
        default:
            return "not a regular file";
    }
}

}  // namespace

// True when the type is refused; a folder sets EISDIR as the last error.
bool CReadOnlyFile::Refuse(unsigned mode) {
    if (S_ISREG(mode)) {
        return false;
    }
    if (S_ISDIR(mode)) {
        platform::SetLastError(EISDIR);
    } else {
        m_refusedKind = KindOf(mode);
        platform::SetLastError(0);
    }
    return true;
}

bool CReadOnlyFile::Open(const std::string& path) {
    m_refusedKind = nullptr;
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && Refuse(info.st_mode)) {
        return false;
    }
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (m_fd < 0) {
        platform::SetLastErrorFromErrno();
        return false;
    }
    // The path may have been replaced between the look and the open.
    const bool known = ::fstat(m_fd, &info) == 0;
    if (!known) {
        platform::SetLastErrorFromErrno();
    }
    if (!known || Refuse(info.st_mode)) {
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    return true;
}

bool CReadOnlyFile::Size(std::uint64_t& size) {
    struct stat info {};
    if (::fstat(m_fd, &info) != 0) {
        platform::SetLastErrorFromErrno();
        return false;
    }
    size = info.st_size > 0 ? static_cast<std::uint64_t>(info.st_size) : 0U;
    return true;
}

long long CReadOnlyFile::Read(void* buffer, std::size_t length) {
    for (;;) {
        const ssize_t count = ::read(m_fd, buffer, length);
        if (count >= 0) {
            return count;
        }
        if (errno != EINTR) {
            platform::SetLastErrorFromErrno();
            return -1;
        }
    }
}

bool CReadOnlyFile::Close() {
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        platform::SetLastErrorFromErrno();
        return false;
    }
    return true;
}
