// The sender against an independent receiver: lrzsz's rx in 128-byte CRC
// mode on the far end of a pseudo-terminal.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "LineClock.h"
#include "RecordingView.h"
#include "TestKit.h"
#include "protocol/BlockUpload.h"
#include "protocol/UpgradeImage.h"
#include "serial/SerialPort.h"

namespace {

constexpr const char* kRx = "/usr/bin/rx";

// rx on the master side of the pair, writing into dir/name.
pid_t StartRx(int master, const std::string& dir, const std::string& name) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(master, STDIN_FILENO);
        ::dup2(master, STDOUT_FILENO);
        const int devnull = ::open("/dev/null", O_WRONLY);
        ::dup2(devnull, STDERR_FILENO);
        if (::chdir(dir.c_str()) != 0) {
            ::_exit(126);
        }
        ::execl(kRx, "rx", "--with-crc", "--binary", "--quiet", name.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return pid;
}

// The exit status of the child, or -1 when it had to be killed.
int WaitForExit(pid_t pid, std::chrono::seconds limit) {
    const auto start = std::chrono::steady_clock::now();
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() - start > limit) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool WaitForBytes(CSerialPort& port, std::chrono::seconds limit) {
    const auto start = std::chrono::steady_clock::now();
    while (port.BytesAvailable() == 0) {
        if (std::chrono::steady_clock::now() - start > limit) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

TEST(RxInterop, IndependentReceiverGetsTheImageIntact) {
    if (::access(kRx, X_OK) != 0) {
        GTEST_SKIP() << "lrzsz is not installed";
    }
    testkit::CBoxRecorder boxes;
    testkit::CScratchDir dir;
    testkit::CPtyPair pty;
    CSerialPort port;
    CLineClock clock(port);
    CRecordingView view;
    port.SetPortName(pty.SlavePath());
    ASSERT_TRUE(port.Open());

    const pid_t rx = StartRx(pty.Master(), dir.Path(), "image.bin");
    ASSERT_GT(rx, 0);
    // rx opens with its "C"; the upload takes it from the ring at once.
    ASSERT_TRUE(WaitForBytes(port, std::chrono::seconds(20)));
    const UploadState state = UploadImage(port, view, clock);
    const int status = WaitForExit(rx, std::chrono::seconds(60));  // rx ends on our EOT
    port.Close();

    EXPECT_EQ(state, UploadState::Done);
    EXPECT_EQ(status, 0);
    std::ifstream file(dir.Path() + "/image.bin", std::ios::binary);
    const std::vector<char> received{std::istreambuf_iterator<char>(file),
                                     std::istreambuf_iterator<char>()};
    const auto image = UpgradeImage();
    ASSERT_GE(received.size(), image.size());
    EXPECT_EQ(received.size(), 101U * 128U);
    EXPECT_TRUE(
        std::equal(image.begin(), image.end(), received.begin(),
                   [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); }));
    // rx may time a block out and NAK it when the machine is busy: a resend
    // is the protocol working, so only the block order is checked.
    int expected = 1;
    for (const int block : view.blocks) {
        EXPECT_TRUE(block == expected || block == expected - 1) << block;
        expected = block + 1;
    }
    EXPECT_EQ(view.blocks.empty() ? 0 : view.blocks.back(), 101);
    EXPECT_EQ(boxes.Count(), 0U);
}

}  // namespace
