#include "platform/Event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <vector>

#include "platform/LastError.h"

namespace platform {
namespace {

// Drains the counter; false only on a real error (an empty counter is fine).
bool DrainEventFd(int fd) {
    eventfd_t value = 0;
    if (::eventfd_read(fd, &value) == 0 || errno == EAGAIN) {
        return true;
    }
    SetLastErrorFromErrno();
    return false;
}

int RemainingMs(std::chrono::steady_clock::time_point end) {
    const auto left = end - std::chrono::steady_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(left).count();
    return ms < 0 ? 0 : static_cast<int>(ms);
}

}  // namespace

CEvent::CEvent(Mode mode) : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), m_mode(mode) {
    if (m_fd < 0) {
        SetLastErrorFromErrno();
    }
}

CEvent::~CEvent() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool CEvent::Set() {
    if (m_fd < 0) {
        return false;
    }
    if (::eventfd_write(m_fd, 1) != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

bool CEvent::Reset() {
    return m_fd >= 0 && DrainEventFd(m_fd);
}

bool CEvent::TryWait() {
    return Wait(0);
}

bool CEvent::Wait(int timeoutMs) {
    WaitItem item;
    item.event = this;
    return WaitForAny(&item, 1, timeoutMs) == 0;
}

int WaitForAny(WaitItem* items, int count, int timeoutMs) {
    std::vector<pollfd> fds(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const bool isEvent = items[i].event != nullptr;
        fds[i].fd = isEvent ? items[i].event->Fd() : items[i].fd;
        fds[i].events = isEvent ? POLLIN : items[i].events;
        items[i].revents = 0;
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const int wait = timeoutMs < 0 ? -1 : RemainingMs(end);
        const int ready = ::poll(fds.data(), fds.size(), wait);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            SetLastErrorFromErrno();
            return kWaitFailed;
        }
        if (ready == 0) {
            return kWaitTimeout;
        }
        for (int i = 0; i < count; ++i) {
            items[i].revents = fds[i].revents;
        }
        for (int i = 0; i < count; ++i) {
            if (fds[i].revents == 0) {
                continue;
            }
            CEvent* event = items[i].event;
            if (event != nullptr && event->GetMode() == CEvent::Mode::AutoReset) {
                DrainEventFd(event->Fd());
            }
            return i;
        }
    }
}

}  // namespace platform
