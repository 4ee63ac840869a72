#include "sim/SignalWatch.h"

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace sim {

CSignalWatch::CSignalWatch() {
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    if (pthread_sigmask(SIG_BLOCK, &stopSignals, &m_oldMask) != 0) {
        return;
    }
    m_fd = ::signalfd(-1, &stopSignals, SFD_CLOEXEC);
}

CSignalWatch::~CSignalWatch() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    pthread_sigmask(SIG_SETMASK, &m_oldMask, nullptr);
}

int CSignalWatch::WaitForStop(int seconds) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        int timeoutMs = -1;
        if (seconds > 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            if (left <= 0) {
                return 0;
            }
            timeoutMs = static_cast<int>(left);
        }
        pollfd item{m_fd, POLLIN, 0};
        const int ready = ::poll(&item, 1, timeoutMs);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            return 0;
        }
        if (ready == 0) {
            continue;  // the loop head decides whether the time is up
        }
        signalfd_siginfo info{};
        if (::read(m_fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
            return static_cast<int>(info.ssi_signo);
        }
    }
}

}  // namespace sim
