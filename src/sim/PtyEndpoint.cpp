#include "sim/PtyEndpoint.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace sim {

namespace {

std::string Failure(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

bool MakeRaw(int fd) {
    termios mode{};
    if (::tcgetattr(fd, &mode) != 0) {
        return false;
    }
    ::cfmakeraw(&mode);
    ::cfsetispeed(&mode, B38400);
    ::cfsetospeed(&mode, B38400);
    mode.c_cflag |= CLOCAL | CREAD;
    return ::tcsetattr(fd, TCSANOW, &mode) == 0;
}

}  // namespace

CPtyEndpoint::~CPtyEndpoint() {
    Close();
}

bool CPtyEndpoint::Open(std::string& error) {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0) {
        error = Failure("posix_openpt");
        return false;
    }
    char name[128] = {};
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0 ||
        ::ptsname_r(m_master, name, sizeof name) != 0) {
        error = Failure("pseudo-terminal set-up");
        Close();
        return false;
    }
    m_slavePath = name;
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0 || !MakeRaw(m_slave) ||
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK) != 0) {
        error = Failure(m_slavePath.c_str());
        Close();
        return false;
    }
    return true;
}

void CPtyEndpoint::Close() {
    if (m_slave >= 0) {
        ::close(m_slave);
        m_slave = -1;
    }
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}

bool CPtyEndpoint::Write(const std::string& bytes) {
    std::size_t done = 0;
    bool flushed = false;
    while (done < bytes.size() && m_master >= 0) {
        const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN && !flushed) {
            // Nobody reads the slave: drop what it holds, as a line would have.
            ::tcflush(m_slave, TCIFLUSH);
            flushed = true;
        } else {
            return n < 0 && errno == EAGAIN;
        }
    }
    return m_master >= 0;
}

ssize_t CPtyEndpoint::Read(std::uint8_t* buffer, std::size_t size) {
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, size);
        if (n >= 0) {
            return n;
        }
        if (errno == EINTR) {
            continue;
        }
        return errno == EAGAIN ? 0 : -1;
    }
}

}  // namespace sim
