// The simulated charger on a real pseudo-terminal, talked to as a serial
// program talks to it, and checked against an independent XMODEM sender.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "LineClient.h"
#include "SimTestSupport.h"
#include "common/TestKit.h"
#include "sim/SimulatedCharger.h"

namespace {

using simtest::CSerialClient;

constexpr int kReplyMs = 3000;  // generous bounds: the machine is shared
const std::string kIdentify = "\r/01-\r/00\r";

TEST(SimulatedCharger, AnswersIdentificationThroughTheDevice) {
    sim::CSimulatedCharger charger;  // paced at 38400 baud
    ASSERT_TRUE(charger.Start()) << charger.ErrorText();
    EXPECT_TRUE(charger.Running());
    CSerialClient port(charger.SlavePath());
    ASSERT_TRUE(port.IsOpen());
    ASSERT_TRUE(port.Send(kIdentify));
    const std::string reply = port.ReadUntil("Veltra charger\r\n", kReplyMs);
    EXPECT_EQ(reply, "deviceid VC-4017-0032\r\nBoot 1.3\r\nV2.09 Veltra charger\r\n");
    EXPECT_EQ(charger.Log().commands.size(), 2U);
}

TEST(SimulatedCharger, PortCanBeClosedAndOpenedAgain) {
    sim::SimOptions options = simtest::FastOptions();
    sim::CSimulatedCharger charger(options);
    ASSERT_TRUE(charger.Start());
    for (int round = 0; round < 3; ++round) {
        CSerialClient port(charger.SlavePath());
        ASSERT_TRUE(port.Send(kIdentify));
        EXPECT_NE(port.ReadUntil("charger\r\n", kReplyMs).find("V2.09"), std::string::npos)
            << "round " << round;
    }
}

TEST(SimulatedCharger, HandOverThenCPromptOnTheLine) {
    sim::SimOptions options = simtest::FastOptions();
    options.startIntervalMs = 50;
    sim::CSimulatedCharger charger(options);
    ASSERT_TRUE(charger.Start());
    CSerialClient port(charger.SlavePath());
    port.Send("/0842\r");
    EXPECT_EQ(port.ReadUntil("CC", kReplyMs), "CC");
    EXPECT_TRUE(charger.InBootLoader());
}

TEST(SimulatedCharger, VariableReportArrivesAsLines) {
    sim::SimOptions options = simtest::FastOptions();
    options.reportPeriodMs = 50;
    sim::CSimulatedCharger charger(options);
    ASSERT_TRUE(charger.Start());
    CSerialClient port(charger.SlavePath());
    port.Send("\r/011\r");
    const std::string text = port.ReadUntil("\r\n", kReplyMs);
    ASSERT_GE(text.size(), 2U);
    EXPECT_EQ(std::count(text.begin(), text.end(), ','), 16);
    EXPECT_TRUE(
        charger.WaitUntil([](const sim::SimLog& log) { return log.reportLines >= 3; }, kReplyMs));
}

TEST(SimulatedCharger, HangUpClosesTheLineMidTransfer) {
    sim::SimOptions options = simtest::FastOptions();
    options.firmwareVersion.clear();
    options.hangUpAfterBlock = 2;
    sim::CSimulatedCharger charger(options);
    ASSERT_TRUE(charger.Start());
    CSerialClient port(charger.SlavePath());
    const auto image = simtest::MakeImage(simtest::CodeWithVersion("3.00", 1000));
    port.Send(simtest::Frame(1, image));
    EXPECT_NE(port.ReadUntil(std::string(1, simtest::kAck), kReplyMs).find(simtest::kAck),
              std::string::npos);
    port.Send(simtest::Frame(2, image, 128));
    EXPECT_TRUE(port.HungUp(kReplyMs));
    EXPECT_TRUE(charger.WaitUntil([](const sim::SimLog& log) { return log.hungUp; }, kReplyMs));
    charger.Stop();
    EXPECT_FALSE(charger.Running());
}

TEST(SimulatedCharger, StopEndsAnIdleChargerAndStartOnlyOnce) {
    sim::CSimulatedCharger charger(simtest::FastOptions());
    ASSERT_TRUE(charger.Start());
    EXPECT_FALSE(charger.Start());
    EXPECT_FALSE(charger.ErrorText().empty());
    charger.Stop();
    charger.Stop();  // a second Stop is harmless
    EXPECT_FALSE(charger.Running());
    EXPECT_EQ(::access(charger.SlavePath().c_str(), F_OK), -1);  // the pair is gone
}

// lrzsz's sx is an XMODEM sender written by others: the boot loader must take
// its 128-byte CRC blocks byte for byte, across the block-number wrap.
TEST(SimulatedCharger, AcceptsAnImageFromLrzszSx) {
    const char* sx = "/usr/bin/sx";
    if (::access(sx, X_OK) != 0) {
        GTEST_SKIP() << "lrzsz is not installed";
    }
    testkit::CScratchDir dir;
    const auto image = simtest::MakeImage(simtest::CodeWithVersion("4.5.6", 38000));  // 298 blocks
    const std::string path = dir.Path() + "/image.bin";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));

    sim::SimOptions options;  // paced, as on the bench
    options.firmwareVersion.clear();
    options.startIntervalMs = 200;
    sim::CSimulatedCharger charger(options);
    ASSERT_TRUE(charger.Start());
    CSerialClient line(charger.SlavePath());
    ASSERT_TRUE(line.IsOpen());
    const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    simtest::CChildProcess sender;
    ASSERT_TRUE(sender.Spawn({sx, "-X", "-q", path}, line.Fd(), line.Fd(), quiet));
    const std::optional<int> status = sender.WaitExit(60000);
    ::close(quiet);
    EXPECT_EQ(status, 0);

    ASSERT_TRUE(
        charger.WaitUntil([](const sim::SimLog& log) { return log.imagesChecked > 0; }, kReplyMs));
    const std::vector<std::uint8_t> received = charger.ReceivedImage();
    ASSERT_GE(received.size(), image.size());
    EXPECT_LT(received.size() - image.size(), 128U);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), received.begin()));
    const sim::SimLog log = charger.Log();
    EXPECT_TRUE(log.finalImageSound);
    EXPECT_EQ(log.installedVersion, "4.5.6");
    EXPECT_EQ(charger.FirmwareVersion(), "4.5.6");
    EXPECT_FALSE(charger.InBootLoader());
    EXPECT_EQ(log.eotReceived, 1);
    EXPECT_EQ(log.blocks.back().number, 298);
}

}  // namespace
