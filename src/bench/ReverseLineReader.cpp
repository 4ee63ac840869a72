#include "bench/ReverseLineReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace bench {

CReverseLineReader::~CReverseLineReader() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool CReverseLineReader::Open(const std::string& path, std::string& error) {
    m_path = path;
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (m_fd < 0 || ::fstat(m_fd, &info) != 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        error = path + ": " + std::strerror(EISDIR);
        return false;
    }
    m_offset = info.st_size;
    // The file's last newline ends the last line; it opens no empty one.
    return true;
}

bool CReverseLineReader::ReadBlock() {
    const auto size = static_cast<std::size_t>(
        std::min<std::int64_t>(m_offset, static_cast<std::int64_t>(kBlock)));
    std::string block(size, '\0');
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(m_fd, block.data() + done, size - done,
                                  m_offset - static_cast<std::int64_t>(size - done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            m_error = m_path + ": " + (n < 0 ? std::strerror(errno) : "shrank while read");
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    m_offset -= static_cast<std::int64_t>(size);
    m_pending.insert(0, block);
    return true;
}

bool CReverseLineReader::Previous(std::string& line) {
    if (m_fd < 0 || !m_error.empty()) {
        return false;
    }
    // The line ends at the pending text's end (its newline taken off); it
    // starts after the newline before it, which may lie in blocks not read
    // yet. Blank lines go by unseen.
    while (true) {
        if (!m_pending.empty() && m_pending.back() == '\n') {
            m_pending.pop_back();
            continue;
        }
        const std::size_t newline = m_pending.rfind('\n');
        if (newline != std::string::npos) {
            line.assign(m_pending, newline + 1, std::string::npos);
            m_pending.resize(newline + 1);
            return true;
        }
        if (m_offset == 0) {
            line.swap(m_pending);
            m_pending.clear();
            return !line.empty();
        }
        if (!ReadBlock()) {
            return false;
        }
    }
}

}  // namespace bench
