#include "ChildProcess.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>

extern char** environ;

namespace clitest {

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point end) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& overrides) {
    std::map<std::string, std::string> merged;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        merged[text.substr(0, text.find('='))] = text;
    }
    for (const auto& text : overrides) {
        merged[text.substr(0, text.find('='))] = text;
    }
    std::vector<std::string> out;
    for (auto& [name, text] : merged) {
        out.push_back(std::move(text));
    }
    return out;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    for (auto& text : texts) {
        out.push_back(text.data());
    }
    out.push_back(nullptr);
    return out;
}

// In the forked child: only calls that are safe between fork and exec.
bool BecomeUser(uid_t uid, gid_t gid) {
    return ::setgroups(0, nullptr) == 0 && ::setgid(gid) == 0 && ::setuid(uid) == 0 &&
           ::getuid() == uid;
}

}  // namespace

CChildProcess::~CChildProcess() {
    Kill();
    for (int fd : {m_outFd, m_errFd}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

bool CChildProcess::Start(const ProcessSpec& spec) {
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        return false;
    }
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        return false;
    }
    // Everything the child needs is built before fork: after it, the child
    // may only make async-signal-safe calls.
    std::vector<std::string> args = spec.argv;
    std::vector<std::string> env = MergedEnvironment(spec.env);
    std::vector<char*> argv = Pointers(args);
    std::vector<char*> envp = Pointers(env);
    const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);

    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(devNull, STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(err[1], STDERR_FILENO);
        if (!spec.cwd.empty() && ::chdir(spec.cwd.c_str()) != 0) {
            ::_exit(126);
        }
        if (spec.runAs && !BecomeUser(spec.runAs->first, spec.runAs->second)) {
            ::_exit(126);
        }
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(devNull);
    ::close(out[1]);
    ::close(err[1]);
    m_outFd = out[0];
    m_errFd = err[0];
    ::fcntl(m_outFd, F_SETFL, O_NONBLOCK);
    ::fcntl(m_errFd, F_SETFL, O_NONBLOCK);
    m_ending = m_pid > 0 ? "running" : "fork failed";
    return m_pid > 0;
}

void CChildProcess::ReadPipes(int waitMs) {
    pollfd fds[2] = {{m_outFd, POLLIN, 0}, {m_errFd, POLLIN, 0}};
    if (::poll(fds, 2, waitMs) <= 0) {
        return;
    }
    std::string* sinks[2] = {&m_out, &m_err};
    for (int i = 0; i < 2; ++i) {
        if ((fds[i].revents & (POLLIN | POLLHUP)) == 0) {
            continue;
        }
        char buffer[4096];
        const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
        if (n > 0) {
            sinks[i]->append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0) {
            ::close(fds[i].fd);
            (i == 0 ? m_outFd : m_errFd) = -1;
        }
    }
}

bool CChildProcess::PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (MsLeft(end) == 0) {
            return false;
        }
        if (m_outFd < 0 && m_errFd < 0) {
            ::usleep(5000);  // both pipes closed: nothing more can arrive
            return done();
        }
        ReadPipes(std::min(MsLeft(end), 20));
    }
    return true;
}

bool CChildProcess::Signal(int signal) const {
    return m_pid > 0 && ::kill(m_pid, signal) == 0;
}

bool CChildProcess::Reap(bool block) {
    int status = 0;
    const pid_t done = ::waitpid(m_pid, &status, block ? 0 : WNOHANG);
    if (done != m_pid) {
        return false;
    }
    m_pid = -1;
    if (WIFEXITED(status)) {
        m_exitCode = WEXITSTATUS(status);
        m_ending = "exit " + std::to_string(*m_exitCode);
    } else {
        m_ending = "signal " + std::to_string(WTERMSIG(status));
    }
    return true;
}

std::optional<int> CChildProcess::Finish(int timeoutMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_pid > 0 && !Reap(false)) {
        if (MsLeft(end) == 0) {
            Kill();
            m_ending = "killed after the time limit";
            return std::nullopt;
        }
        if (m_outFd >= 0 || m_errFd >= 0) {
            ReadPipes(std::min(MsLeft(end), 20));
        } else {
            ::usleep(10000);
        }
    }
    // What the child wrote last is still in the pipes; they end at its exit.
    const auto drainEnd = Clock::now() + std::chrono::milliseconds(2000);
    while ((m_outFd >= 0 || m_errFd >= 0) && MsLeft(drainEnd) > 0) {
        ReadPipes(20);
    }
    return m_exitCode;
}

void CChildProcess::Kill() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        Reap(true);
    }
}

bool CanRunAs(uid_t uid, gid_t gid) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::_exit(BecomeUser(uid, gid) ? 0 : 1);
    }
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

}  // namespace clitest
