#include "LineClient.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern char** environ;

namespace simtest {

CSerialClient::CSerialClient(const std::string& path) {
    m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_fd < 0) {
        return;
    }
    termios mode{};
    ::tcgetattr(m_fd, &mode);
    ::cfmakeraw(&mode);
    ::tcsetattr(m_fd, TCSANOW, &mode);
    ::tcflush(m_fd, TCIOFLUSH);
}

CSerialClient::~CSerialClient() {
    Close();
}

void CSerialClient::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool CSerialClient::Send(const std::string& bytes) {
    return m_fd >= 0 &&
           ::write(m_fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

std::string CSerialClient::ReadUntil(const std::string& until, int timeoutMs) {
    std::string text;
    while (text.find(until) == std::string::npos) {
        pollfd item{m_fd, POLLIN, 0};
        if (::poll(&item, 1, timeoutMs) <= 0) {
            break;
        }
        char buffer[256];
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

bool CSerialClient::HungUp(int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        pollfd item{m_fd, POLLIN, 0};
        if (::poll(&item, 1, 50) < 0) {
            return true;
        }
        if ((item.revents & (POLLHUP | POLLERR)) != 0) {
            return true;
        }
        if ((item.revents & POLLIN) != 0) {
            char buffer[256];
            if (::read(m_fd, buffer, sizeof buffer) <= 0) {
                return true;
            }
        }
    }
    return false;
}

CChildProcess::~CChildProcess() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
}

bool CChildProcess::Spawn(const std::vector<std::string>& argv, int stdinFd, int stdoutFd,
                          int stderrFd) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const int targets[] = {0, 1, 2};
    const int sources[] = {stdinFd, stdoutFd, stderrFd};
    for (int i = 0; i < 3; ++i) {
        if (sources[i] >= 0) {
            posix_spawn_file_actions_adddup2(&actions, sources[i], targets[i]);
        }
    }
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    const int rc = ::posix_spawn(&m_pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        m_pid = -1;
    }
    return rc == 0;
}

bool CChildProcess::Signal(int signal) const {
    return m_pid > 0 && ::kill(m_pid, signal) == 0;
}

std::optional<int> CChildProcess::WaitExit(int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_pid > 0) {
        int status = 0;
        const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid) {
            m_pid = -1;
            if (WIFEXITED(status)) {
                return WEXITSTATUS(status);
            }
            return std::nullopt;
        }
        if (std::chrono::steady_clock::now() >= end) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::nullopt;
}

CPipeReader::CPipeReader() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) == 0) {
        m_read = fds[0];
        m_write = fds[1];
    }
}

CPipeReader::~CPipeReader() {
    CloseWriteEnd();
    if (m_read >= 0) {
        ::close(m_read);
    }
}

void CPipeReader::CloseWriteEnd() {
    if (m_write >= 0) {
        ::close(m_write);
        m_write = -1;
    }
}

std::optional<std::string> CPipeReader::ReadLine(int timeoutMs) {
    for (;;) {
        const auto end = m_pending.find('\n');
        if (end != std::string::npos) {
            std::string line = m_pending.substr(0, end);
            m_pending.erase(0, end + 1);
            return line;
        }
        pollfd item{m_read, POLLIN, 0};
        if (::poll(&item, 1, timeoutMs) <= 0) {
            return std::nullopt;
        }
        char buffer[256];
        const ssize_t n = ::read(m_read, buffer, sizeof buffer);
        if (n <= 0) {
            return std::nullopt;
        }
        m_pending.append(buffer, static_cast<std::size_t>(n));
    }
}

}  // namespace simtest
