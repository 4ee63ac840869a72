// The sender against an independent receiver: lrzsz's rx in 128-byte CRC
// mode on the far end of a pseudo-terminal.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "ChargerFixture.h"
#include "protocol/BlockUpload.h"
#include "protocol/UpgradeImage.h"

namespace {

constexpr const char* kRx = "/usr/bin/rx";

// rx on the master side of the pair, writing image.bin into dir; its exit
// status, or -1 when it had not ended within a minute and was killed.
int RunRx(int master, const std::string& dir, const std::function<void()>& whileRunning) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(master, STDIN_FILENO);
        ::dup2(master, STDOUT_FILENO);
        ::dup2(::open("/dev/null", O_WRONLY), STDERR_FILENO);
        if (::chdir(dir.c_str()) == 0) {
            ::execl(kRx, "rx", "--with-crc", "--binary", "--quiet", "image.bin",
                    static_cast<char*>(nullptr));
        }
        ::_exit(127);
    }
    whileRunning();
    int status = 0;
    for (int waited = 0; ::waitpid(pid, &status, WNOHANG) == 0; waited += 5) {
        if (waited > 60000) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

using RxInterop = ChargerFixture;

TEST_F(RxInterop, IndependentReceiverGetsTheImageIntact) {
    if (::access(kRx, X_OK) != 0) {
        GTEST_SKIP() << "lrzsz is not installed";
    }
    testkit::CScratchDir dir;
    testkit::CPtyPair pty;
    port.SetPortName(pty.SlavePath());
    ASSERT_TRUE(port.Open());
    UploadState state = UploadState::WaitForStart;
    const int status = RunRx(pty.Master(), dir.Path(), [&] {
        // rx opens with its "C"; the upload takes it from the ring at once.
        if (clock.WaitForReceived(1, 20000)) {
            state = UploadImage(port, view, clock);
        }
    });  // rx ends on our EOT
    port.Close();

    EXPECT_EQ(state, UploadState::Done);
    EXPECT_EQ(status, 0);
    std::ostringstream received;
    received << std::ifstream(dir.Path() + "/image.bin", std::ios::binary).rdbuf();
    const auto image = UpgradeImage();
    EXPECT_EQ(received.str().size(), 101U * 128U);
    EXPECT_EQ(received.str().substr(0, image.size()),
              std::string(reinterpret_cast<const char*>(image.data()), image.size()));
    // rx may time a block out and NAK it when the machine is busy: a resend
    // is the protocol working, so only the block order is checked.
    int expected = 1;
    for (const int block : view.blocks) {
        EXPECT_TRUE(block == expected || block == expected - 1) << block;
        expected = block + 1;
    }
    EXPECT_EQ(expected, 102);
    EXPECT_EQ(boxes.Count(), 0U);
}

}  // namespace
