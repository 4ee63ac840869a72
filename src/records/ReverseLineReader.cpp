#include "records/ReverseLineReader.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace records {

CReverseLineReader::CReverseLineReader(StopCheck stop) : m_stop(std::move(stop)) {}

CReverseLineReader::~CReverseLineReader() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

namespace {

// Whether `path` leads, through its symbolic links, to a pipe another
// program holds open: /dev/stdin, /dev/fd/63 of `<(...)`, /proc/PID/fd/N.
bool NamesAPipe(std::string path) {
    for (int links = 0; links < 8; ++links) {
        char target[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
        if (n < 0) {
            return false;
        }
        const std::string next(target, static_cast<std::size_t>(n));
        if (next.starts_with("pipe:[")) {
            return true;
        }
        path = next.starts_with("/") ? next : path.substr(0, path.rfind('/') + 1) + next;
    }
    return false;
}

// Why a file of this type is no journal; empty for a regular file and for
// a pipe, which is read as a stream.
std::string TypeProblem(mode_t mode, bool pipe) {
    if (S_ISREG(mode) || (S_ISFIFO(mode) && pipe)) {
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
    std::string problem = TypeProblem(info.st_mode, NamesAPipe(path));
    if (problem.empty()) {
        m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (m_fd < 0 || ::fstat(m_fd, &info) != 0) {
            error = path + ": " + std::strerror(errno);
            return false;
        }
        problem = TypeProblem(info.st_mode, NamesAPipe("/proc/self/fd/" + std::to_string(m_fd)));
    }
    if (!problem.empty()) {
        error = path + ": " + problem;
        return false;
    }
    if (S_ISFIFO(info.st_mode)) {
        return ReadStream(error);
    }
    m_offset = info.st_size;
    // The file's last newline ends the last line; it opens no empty one.
    return true;
}

// A pipe is read to its end and then handed out from its last line, as a
// file is: its records come out newest first and merge with the others.
bool CReverseLineReader::ReadStream(std::string& error) {
    m_block.clear();
    while (!ShouldStop()) {
        pollfd ready{m_fd, POLLIN, 0};
        if (::poll(&ready, 1, kPollMs) <= 0) {
            continue;  // nothing yet, or a signal: the stop check decides
        }
        const std::size_t at = m_block.size();
        m_block.resize(at + kBlock);
        const ssize_t n = ::read(m_fd, m_block.data() + at, kBlock);
        m_block.resize(at + static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
        if (n == 0) {
            m_end = m_block.size();
            return true;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            error = m_path + ": " + std::strerror(errno);
            return false;
        }
        if (m_block.size() > kMaxStream) {
            error = m_path + ": a stream of more than " + std::to_string(kMaxStream >> 20) +
                    " MB, which history cannot hold to list it newest first; save it to a file "
                    "and name that";
            return false;
        }
    }
    error = m_path + ": stopped";
    return false;
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

}  // namespace records
