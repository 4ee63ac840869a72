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

bool CReadOnlyFile::Open(const std::string& path) {
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (m_fd < 0) {
        platform::SetLastErrorFromErrno();
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
