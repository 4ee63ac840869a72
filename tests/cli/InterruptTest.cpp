// Ctrl-C in the middle of an upload: the boot loader is told to give up with
// two CANs, the port is let go, and the command exits with 130.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>

#include "CliHarness.h"
#include "ScriptedBootLoader.h"

namespace clitest {
namespace {

constexpr int kProgressBoundMs = 20000;
// Winding down takes a CAN pair and a close; this bound is far above that
// and below what a full identification of a silent charger would take.
constexpr int kWindDownBoundMs = 5000;

// A new opener can take the device exclusively: nobody holds it any more.
bool DeviceIsFree(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return locked;
}

int AcceptedBlocks(const QJsonObject& log) {
    const auto blocks = log["blocks"].toArray();
    return static_cast<int>(std::count_if(blocks.begin(), blocks.end(), [](const auto& b) {
        return b.toObject()["verdict"].toString() == "accepted";
    }));
}

using Interrupt = CCliTest;

TEST_F(Interrupt, CtrlCDuringAnUploadToTheSimulatorStopsItAndFreesThePort) {
    const std::string device = StartSim({});  // paced, as on a real line
    CChildProcess cli;
    ASSERT_TRUE(cli.Start(CliSpec({"--port", device, "upgrade"})));
    ASSERT_TRUE(
        cli.PumpUntil([&] { return Contains(cli.Err(), "block 10 of 101"); }, kProgressBoundMs))
        << cli.Out() << cli.Err();
    ASSERT_TRUE(cli.Signal(SIGINT));
    // What follows means something only after an orderly exit.
    ASSERT_EQ(cli.Finish(kWindDownBoundMs), 130) << cli.Ending() << "\n" << cli.Err();
    EXPECT_TRUE(DeviceIsFree(device));
    EXPECT_FALSE(Contains(cli.Out(), "Upgrade Successful")) << cli.Out();

    const QJsonObject log = m_sim.Stop();
    EXPECT_EQ(log["eotReceived"].toInt(), 0);
    EXPECT_EQ(log["installedVersion"].toString(), "");
    const int accepted = AcceptedBlocks(log);
    EXPECT_LT(accepted, 101);

    // The session log tells the bench how far it got.
    const auto lines = SessionLogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_FALSE(Contains(lines[0], "Upgrade Successful")) << lines[0];
    const std::size_t at = lines[0].find(" blocks=");
    ASSERT_NE(at, std::string::npos) << lines[0];
    const int blocks = std::stoi(lines[0].substr(at + 8));
    EXPECT_GE(blocks, accepted) << lines[0];
    EXPECT_LE(blocks, accepted + 1) << lines[0];  // one block may have been in flight
}

// The boot loader must hear the cancellation before anything else: bytes of
// other commands would only be taken for a damaged block.
TEST_F(Interrupt, CtrlCSendsTwoCansRightAfterTheLastBlock) {
    testkit::CPtyPair pty;
    CScriptedBootLoader loader(pty.Master(), 100);
    CChildProcess cli;
    ASSERT_TRUE(cli.Start(CliSpec({"--port", pty.SlavePath(), "upgrade"})));
    ASSERT_TRUE(cli.PumpUntil([&] { return loader.Frames() >= 3; }, kProgressBoundMs))
        << cli.Out() << cli.Err();
    ASSERT_TRUE(cli.Signal(SIGINT));
    EXPECT_EQ(cli.Finish(kWindDownBoundMs), 130) << cli.Ending() << "\n" << cli.Err();
    // The CANs were written before the port closed; give the pty a moment to
    // hand them over.
    WaitFor([&] { return loader.AfterLastFrame().size() >= 2; }, 2000);
    const std::string after = loader.AfterLastFrame();
    EXPECT_EQ(after.substr(0, 2), std::string("\x18\x18"))
        << "after the last block the charger got: " << testing::PrintToString(after);
    EXPECT_LT(loader.Frames(), 101);
    EXPECT_TRUE(DeviceIsFree(pty.SlavePath()));
}

}  // namespace
}  // namespace clitest
