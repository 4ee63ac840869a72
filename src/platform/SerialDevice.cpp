#include "platform/SerialDevice.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "platform/ExclusiveHolds.h"
#include "platform/LastError.h"

namespace platform {
namespace {

// The input, output and local bits a raw line must have off, and the control
// bits that carry the framing: the ones read back after every change.
constexpr tcflag_t kInputBits =
    IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK;
constexpr tcflag_t kOutputBits = OPOST;
constexpr tcflag_t kLocalBits = ECHO | ECHONL | ICANON | ISIG | IEXTEN;
constexpr tcflag_t kControlBits =
    CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | CLOCAL | CREAD | HUPCL;

speed_t SpeedFor(std::uint32_t baudRate) {
    switch (baudRate) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            return B0;
    }
}

tcflag_t SizeFlag(std::uint8_t byteSize) {
    switch (byteSize) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

bool SameSettings(const termios& a, const termios& b) {
    return (a.c_iflag & kInputBits) == (b.c_iflag & kInputBits) &&
           (a.c_oflag & kOutputBits) == (b.c_oflag & kOutputBits) &&
           (a.c_lflag & kLocalBits) == (b.c_lflag & kLocalBits) &&
           (a.c_cflag & kControlBits) == (b.c_cflag & kControlBits) &&
           cfgetispeed(&a) == cfgetispeed(&b) && cfgetospeed(&a) == cfgetospeed(&b) &&
           a.c_cc[VMIN] == b.c_cc[VMIN] && a.c_cc[VTIME] == b.c_cc[VTIME] &&
           a.c_cc[VSTART] == b.c_cc[VSTART] && a.c_cc[VSTOP] == b.c_cc[VSTOP];
}

bool Fail(int error) {
    errno = error;
    SetLastErrorFromErrno();
    return false;
}

// A line that has no modem control answers these; there is nothing to move.
bool NoModemLines(int error) {
    return error == ENOTTY || error == EINVAL;
}

}  // namespace

CSerialDevice::CSerialDevice()
    : m_saved(std::make_unique<termios>()), m_state(std::make_unique<termios>()) {}

CSerialDevice::~CSerialDevice() {
    Close();
}

bool CSerialDevice::Open(const std::string& path) {
    Close();
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        SetLastErrorFromErrno();
        return false;
    }
    // Exclusive in two ways, because each alone has a hole: TIOCEXCL makes the
    // kernel refuse further opens of the tty, but not to root; flock is the
    // advisory lock that cooperating programs (and root) check. Together a
    // second opener fails even as root. TIOCGEXCL catches a holder that set
    // TIOCEXCL without taking the lock.
    int heldExclusively = 0;
    if (::ioctl(fd, TIOCGEXCL, &heldExclusively) == 0 && heldExclusively != 0) {
        ::close(fd);
        return Fail(EBUSY);
    }
    // A regular file, /dev/null or a FIFO opens like anything else but takes
    // no line settings: refused here, before anyone waits for a charger on it.
    termios probe{};
    if (::tcgetattr(fd, &probe) != 0 && errno == ENOTTY) {
        ::close(fd);
        return Fail(ENOTTY);
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        return Fail(error);
    }
    m_fd = fd;
    m_locked = true;
    if (::ioctl(fd, TIOCEXCL) == 0) {
        m_exclusive = true;
        RecordExclusiveHold(fd);
    } else if (errno != ENOTTY) {
        SetLastErrorFromErrno();
        Close();
        return false;
    }
    return true;
}

bool CSerialDevice::SaveSettings() {
    if (::tcgetattr(m_fd, m_saved.get()) != 0) {
        SetLastErrorFromErrno();
        m_haveSaved = false;
        return false;
    }
    m_haveSaved = true;
    return true;
}

bool CSerialDevice::ReadState() {
    if (::tcgetattr(m_fd, m_state.get()) != 0) {
        SetLastErrorFromErrno();
        *m_state = termios{};
        return false;
    }
    return true;
}

bool CSerialDevice::ApplyLineSettings(const SerialLineSettings& settings) {
    const speed_t speed = SpeedFor(settings.baudRate);
    if (speed == B0 || (settings.stopBits != 0 && settings.stopBits != 2)) {
        return Fail(EINVAL);
    }
    termios wanted = *m_state;
    wanted.c_iflag &= ~kInputBits;
    wanted.c_oflag &= ~kOutputBits;
    wanted.c_lflag &= ~kLocalBits;
    wanted.c_cflag &= ~kControlBits;
    wanted.c_cflag |= SizeFlag(settings.byteSize) | CLOCAL | CREAD | HUPCL;
    if (settings.parity != 0) {
        wanted.c_cflag |= PARENB | (settings.parity == 1 ? PARODD : 0);
        wanted.c_iflag |= INPCK;
    }
    if (settings.stopBits == 2) {
        wanted.c_cflag |= CSTOPB;
    }
    if (settings.ctsFlow) {
        wanted.c_cflag |= CRTSCTS;
    }
    if (settings.xonXoffOut) {
        wanted.c_iflag |= IXON;
    }
    if (settings.xonXoffIn) {
        wanted.c_iflag |= IXOFF;
    }
    wanted.c_cc[VSTART] = settings.xonChar;
    wanted.c_cc[VSTOP] = settings.xoffChar;
    ::cfsetispeed(&wanted, speed);
    ::cfsetospeed(&wanted, speed);
    // DTR and RTS are low while the line changes; DTR is raised on its own later.
    if (!ClearModemLines(TIOCM_DTR | TIOCM_RTS)) {
        return false;
    }
    return ApplyAndVerify(wanted);
}

bool CSerialDevice::ApplyReadTimeouts() {
    // One byte satisfies a read, and a non-blocking read with nothing waiting
    // answers EAGAIN, so a read of 0 bytes can only mean the line hung up.
    termios wanted = *m_state;
    wanted.c_cc[VMIN] = 1;
    wanted.c_cc[VTIME] = 0;
    return ApplyAndVerify(wanted);
}

bool CSerialDevice::ApplyAndVerify(const termios& wanted) {
    if (::tcsetattr(m_fd, TCSANOW, &wanted) != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    termios applied{};
    if (::tcgetattr(m_fd, &applied) != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    if (!SameSettings(wanted, applied)) {
        *m_state = applied;
        return Fail(EINVAL);
    }
    *m_state = applied;
    return true;
}

bool CSerialDevice::ClearModemLines(int lines) {
    if (::ioctl(m_fd, TIOCMBIC, &lines) != 0 && !NoModemLines(errno)) {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

bool CSerialDevice::SetDtr(bool raised) {
    int lines = TIOCM_DTR;
    if (::ioctl(m_fd, raised ? TIOCMBIS : TIOCMBIC, &lines) != 0 && !NoModemLines(errno)) {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

bool CSerialDevice::DiscardInput() {
    if (::tcflush(m_fd, TCIFLUSH) != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

bool CSerialDevice::Purge() {
    if (::tcflush(m_fd, TCIOFLUSH) != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

int CSerialDevice::OutputPending() {
    int queued = 0;
    if (::ioctl(m_fd, TIOCOUTQ, &queued) != 0) {
        return 0;  // nothing that can be asked about, so nothing to wait for
    }
    // A UART's own transmitter may still hold bytes after the driver's queue
    // has emptied; drivers that can tell answer TIOCSERGETLSR.
    int status = 0;
    if (queued == 0 && ::ioctl(m_fd, TIOCSERGETLSR, &status) == 0 && (status & TIOCSER_TEMT) == 0) {
        return 1;
    }
    return queued > 0 ? queued : 0;
}

bool CSerialDevice::RestoreSettings() {
    if (!m_haveSaved) {
        return true;
    }
    if (::tcsetattr(m_fd, TCSANOW, m_saved.get()) != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

void CSerialDevice::Release() {
    if (m_exclusive) {
        // The kernel keeps the mark after the descriptor closes; take it off.
        if (::ioctl(m_fd, TIOCNXCL) != 0) {
            SetLastErrorFromErrno();
        }
        ForgetExclusiveHold(m_fd);
        m_exclusive = false;
    }
    if (m_locked) {
        if (::flock(m_fd, LOCK_UN) != 0) {
            SetLastErrorFromErrno();
        }
        m_locked = false;
    }
}

void CSerialDevice::Close() {
    if (m_fd < 0) {
        return;
    }
    Release();
    if (::close(m_fd) != 0) {
        SetLastErrorFromErrno();
    }
    m_fd = -1;
    m_haveSaved = false;
}

long CSerialDevice::Read(void* buffer, std::size_t length) {
    for (;;) {
        const ssize_t got = ::read(m_fd, buffer, length);
        if (got > 0) {
            return static_cast<long>(got);
        }
        if (got == 0) {
            Fail(EIO);
            return -1;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN) {
            return 0;
        }
        SetLastErrorFromErrno();
        return -1;
    }
}

long CSerialDevice::Write(const void* data, std::size_t length) {
    for (;;) {
        const ssize_t put = ::write(m_fd, data, length);
        if (put >= 0) {
            return static_cast<long>(put);
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN) {
            return 0;
        }
        SetLastErrorFromErrno();
        return -1;
    }
}

}  // namespace platform
