#include "bench/ReverseLineReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace bench {

CReverseLineReader::CReverseLineReader(StopCheck stop) : m_stop(std::move(stop)) {}

CReverseLineReader::~CReverseLineReader() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

namespace {

// Why a file of this type is no journal; empty for a regular file.
std::string TypeProblem(mode_t mode) {
    if (S_ISREG(mode)) {
        return "";
    }
    if (S_ISDIR(mode)) {
        return std::strerror(EISDIR);
    }
    if (S_ISFIFO(mode)) {
        return "a FIFO, not a journal file";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "a device, not a journal file";
    }
    return "not a journal file";
}

}  // namespace

bool CReverseLineReader::Open(const std::string& path, std::string& error) {
    m_path = path;
    // The type is looked at before the open, since opening a FIFO waits for
    // a writer and opening a serial device raises its modem lines; and again
    // on the descriptor, opened without waiting, for what was swapped in.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    std::string problem = TypeProblem(info.st_mode);
    if (problem.empty()) {
        m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (m_fd < 0 || ::fstat(m_fd, &info) != 0) {
            error = path + ": " + std::strerror(errno);
            return false;
        }
        problem = TypeProblem(info.st_mode);
    }
    if (!problem.empty()) {
        error = path + ": " + problem;
        return false;
    }
    m_offset = info.st_size;
    // The file's last newline ends the last line; it opens no empty one.
    return true;
}

bool CReverseLineReader::ShouldStop() {
    m_stopped = m_stopped || (m_stop && m_stop());
    return m_stopped;
}

bool CReverseLineReader::ReadBlock() {
    const auto size = static_cast<std::size_t>(
        std::min<std::int64_t>(m_offset, static_cast<std::int64_t>(kBlock)));
    m_block.resize(size);
    std::size_t done = 0;
    while (done < size) {
        if (ShouldStop()) {
            return false;
        }
        const ssize_t n = ::pread(m_fd, m_block.data() + done, size - done,
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
    m_end = size;
    return true;
}

// Pieces come end first; only the line's last kMaxLine bytes are kept.
void CReverseLineReader::Keep(const char* piece, std::size_t size) {
    const std::size_t room = kMaxLine - m_kept;
    if (size > room) {
        m_cut = true;
        piece += size - room;
        size = room;
    }
    if (size > 0) {
        m_parts.emplace_back(piece, size);
        m_kept += size;
    }
}

void CReverseLineReader::Gather(std::string& line) {
    line.clear();
    line.reserve(m_kept);
    for (auto part = m_parts.rbegin(); part != m_parts.rend(); ++part) {
        line += *part;
    }
    m_parts.clear();
    m_kept = 0;
}

bool CReverseLineReader::Previous(std::string& line) {
    if (m_fd < 0 || !m_error.empty() || m_stopped) {
        return false;
    }
    // The line ends where the last search stopped; it starts after the
    // newline before that, which may lie in blocks not read yet, or at the
    // file's start. Blank lines go by unseen.
    while (true) {
        m_cut = false;
        bool found = false;  // the newline before the line
        while (!found && (m_end > 0 || m_offset > 0)) {
            if (m_end == 0 && !ReadBlock()) {
                return false;
            }
            const auto* newline = static_cast<const char*>(::memrchr(m_block.data(), '\n', m_end));
            const std::size_t start =
                newline == nullptr ? 0 : static_cast<std::size_t>(newline - m_block.data()) + 1;
            found = newline != nullptr;
            if (found && m_parts.empty() && m_end - start <= kMaxLine) {
                // The common case, a line within one block: one copy.
                line.assign(m_block, start, m_end - start);
                m_end = start - 1;
                if (line.empty()) {
                    continue;  // a blank line
                }
                return true;
            }
            Keep(m_block.data() + start, m_end - start);
            m_end = found ? start - 1 : 0;
        }
        if (m_kept > 0) {
            Gather(line);
            return true;
        }
        if (!found) {
            return false;  // the file's start
        }
    }
}

}  // namespace bench
