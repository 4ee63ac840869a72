#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "TestKit.h"
#include "platform/ExclusiveHolds.h"
#include "platform/LastError.h"
#include "platform/SerialDevice.h"

namespace {

using platform::CSerialDevice;

// The slave's settings, seen through the master (termios calls on a pty
// master act on its slave).
termios SlaveSettings(const testkit::CPtyPair& pty) {
    termios t{};
    EXPECT_EQ(::tcgetattr(pty.Master(), &t), 0);
    return t;
}

bool ConfigureAll(CSerialDevice& device) {
    return device.SaveSettings() && device.ReadState() &&
           device.ApplyLineSettings(platform::SerialLineSettings{}) && device.ApplyReadTimeouts();
}

std::string ReadWithin(CSerialDevice& device, std::size_t count, int timeoutMs) {
    std::string got;
    while (got.size() < count) {
        pollfd pfd{device.Fd(), POLLIN, 0};
        if (::poll(&pfd, 1, timeoutMs) <= 0) {
            break;
        }
        char buffer[64];
        const long n = device.Read(buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

TEST(SerialDevice, ConfiguresARawLineAndPutsTheOldSettingsBack) {
    testkit::CPtyPair pty;
    termios cooked = SlaveSettings(pty);
    cooked.c_lflag |= ICANON | ECHO | ISIG;
    cooked.c_iflag |= IXON | ICRNL;
    cooked.c_oflag |= OPOST;
    cooked.c_cflag &= ~CLOCAL;
    ::cfsetispeed(&cooked, B9600);
    ::cfsetospeed(&cooked, B9600);
    ASSERT_EQ(::tcsetattr(pty.Master(), TCSANOW, &cooked), 0);

    CSerialDevice device;
    ASSERT_TRUE(device.Open(pty.SlavePath()));
    ASSERT_TRUE(ConfigureAll(device));
    const termios line = SlaveSettings(pty);
    EXPECT_EQ(::cfgetospeed(&line), static_cast<speed_t>(B38400));
    EXPECT_EQ(::cfgetispeed(&line), static_cast<speed_t>(B38400));
    EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0U);
    EXPECT_EQ(line.c_cflag & (CLOCAL | CREAD | HUPCL),
              static_cast<tcflag_t>(CLOCAL | CREAD | HUPCL));
    EXPECT_EQ(line.c_iflag & (IXON | IXOFF | IXANY | ICRNL | ISTRIP), 0U);
    EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0U);
    EXPECT_EQ(line.c_oflag & OPOST, 0U);
    EXPECT_EQ(line.c_cc[VMIN], 1);
    EXPECT_EQ(line.c_cc[VTIME], 0);
    // A pseudo-terminal has no modem lines: moving DTR is not an error there.
    EXPECT_TRUE(device.SetDtr(true));
    EXPECT_TRUE(device.SetDtr(false));

    ASSERT_TRUE(device.RestoreSettings());
    const termios back = SlaveSettings(pty);
    EXPECT_EQ(::cfgetospeed(&back), static_cast<speed_t>(B9600));
    EXPECT_EQ(back.c_lflag & (ICANON | ECHO | ISIG), static_cast<tcflag_t>(ICANON | ECHO | ISIG));
    EXPECT_EQ(back.c_iflag & (IXON | ICRNL), static_cast<tcflag_t>(IXON | ICRNL));
    EXPECT_EQ(back.c_cflag & CLOCAL, 0U);
}

TEST(SerialDevice, HeldDeviceRefusesEveryOtherOpener) {
    testkit::CPtyPair pty;
    CSerialDevice first;
    ASSERT_TRUE(first.Open(pty.SlavePath()));

    CSerialDevice second;
    platform::SetLastError(0);
    EXPECT_FALSE(second.Open(pty.SlavePath()));
    EXPECT_EQ(platform::GetLastError(), static_cast<std::uint32_t>(EBUSY));

    // A program of our own kind sees both marks; only root gets a descriptor at all.
    const int raw = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (raw < 0) {
        EXPECT_EQ(errno, EBUSY);
    } else {
        int exclusive = 0;
        EXPECT_EQ(::ioctl(raw, TIOCGEXCL, &exclusive), 0);
        EXPECT_NE(exclusive, 0);
        EXPECT_NE(::flock(raw, LOCK_EX | LOCK_NB), 0);
        ::close(raw);
    }

    first.Close();
    EXPECT_TRUE(second.Open(pty.SlavePath()));
    second.Close();
    // Closing gives the tty up completely: no exclusive mark stays behind.
    const int after = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(after, 0);
    int exclusive = 1;
    EXPECT_EQ(::ioctl(after, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    ::close(after);
}

bool MarkedExclusive(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno == EBUSY;
    }
    int exclusive = 0;
    ::ioctl(fd, TIOCGEXCL, &exclusive);
    ::close(fd);
    return exclusive != 0;
}

// The mark outlives the descriptor (it stays on a pseudo-terminal until its
// master closes), so a process that ends without Close must take it off.
// A bench holds any number of ports at once, so every one of them counts.
TEST(SerialDevice, ExclusiveMarkIsTakenOffOnTheWayOut) {
    constexpr int kPorts = 40;
    std::vector<std::unique_ptr<testkit::CPtyPair>> ptys;
    std::vector<std::unique_ptr<CSerialDevice>> devices;
    for (int i = 0; i < kPorts; ++i) {
        ptys.push_back(std::make_unique<testkit::CPtyPair>());
        devices.push_back(std::make_unique<CSerialDevice>());
        ASSERT_TRUE(devices.back()->Open(ptys.back()->SlavePath())) << i;
        ASSERT_TRUE(MarkedExclusive(ptys.back()->SlavePath())) << i;
    }
    platform::ReleaseExclusiveHolds();  // what exit() and std::terminate run
    for (int i = 0; i < kPorts; ++i) {
        EXPECT_FALSE(MarkedExclusive(ptys[i]->SlavePath())) << "port " << i;
    }
}

TEST(SerialDevice, NothingWaitingReadsAsZeroAndAHangUpAsFailure) {
    testkit::CPtyPair pty;
    CSerialDevice device;
    ASSERT_TRUE(device.Open(pty.SlavePath()));
    ASSERT_TRUE(ConfigureAll(device));
    char buffer[8];
    EXPECT_EQ(device.Read(buffer, sizeof buffer), 0);
    // A pseudo-terminal hands written bytes straight to its far end: even
    // unread there, they are not in an output queue of the device.
    ASSERT_EQ(device.Write("unread", 6), 6);
    EXPECT_EQ(device.OutputPending(), 0);
    EXPECT_EQ(pty.Receive(6, 2000), "unread");
    pty.Send("z");
    EXPECT_EQ(ReadWithin(device, 1, 2000), "z");
    pty.HangUp();
    pollfd pfd{device.Fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&pfd, 1, 2000), 1);
    EXPECT_NE(pfd.revents & (POLLHUP | POLLERR), 0);
    EXPECT_EQ(device.Read(buffer, sizeof buffer), -1);
    EXPECT_NE(platform::GetLastError(), 0U);
    EXPECT_EQ(device.Write("x", 1), -1);
    platform::SetLastError(0);
}

}  // namespace
