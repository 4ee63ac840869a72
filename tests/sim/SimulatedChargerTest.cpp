// The simulated charger on a real pseudo-terminal, talked to as a serial
// program talks to it, and checked against an independent XMODEM sender.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "SimTestSupport.h"
#include "common/TestKit.h"
#include "sim/SimulatedCharger.h"

namespace {

using simtest::CSerialClient;

constexpr int kReplyMs = 3000;  // generous bounds: the machine is shared

TEST(SimulatedCharger, AnswersThroughTheDeviceAcrossReopensAndStopsCleanly) {
    sim::CSimulatedCharger charger;  // paced at 38400 baud
    ASSERT_TRUE(charger.Start()) << charger.ErrorText();
    EXPECT_TRUE(charger.Running());
    EXPECT_FALSE(charger.Start());  // only once
    EXPECT_FALSE(charger.ErrorText().empty());
    for (int round = 1; round <= 3; ++round) {
        CSerialClient port(charger.SlavePath());
        ASSERT_TRUE(port.Send("\r/01-\r/00\r"));
        EXPECT_EQ(port.ReadUntil("Veltra charger\r\n", kReplyMs),
                  "deviceid VC-4017-0032\r\nBoot 1.3\r\nV2.09 Veltra charger\r\n");
        EXPECT_EQ(charger.Log().commands.size(), 2U * round);
    }
    charger.Stop();
    charger.Stop();  // a second Stop is harmless
    EXPECT_FALSE(charger.Running());
    EXPECT_EQ(::access(charger.SlavePath().c_str(), F_OK), -1);  // the pair is gone
}

TEST(SimulatedCharger, HangUpClosesTheLineMidTransfer) {
    sim::CSimulatedCharger charger(
        simtest::Options("--no-pacing --no-firmware --hang-up-after-block=2"));
    ASSERT_TRUE(charger.Start());
    CSerialClient port(charger.SlavePath());
    const auto image = simtest::TestImage("3.00", 1000);
    port.Send(simtest::Frame(1, image));
    EXPECT_NE(port.ReadUntil(std::string(1, simtest::kAck), kReplyMs).find(simtest::kAck),
              std::string::npos);
    port.Send(simtest::Frame(2, image));
    port.ReadUntil("never sent", kReplyMs);
    EXPECT_TRUE(port.hungUp);
    EXPECT_TRUE(charger.WaitUntil([](const sim::SimLog& log) { return log.hungUp; }, kReplyMs));
}

// lrzsz's sx is an XMODEM sender written by others: the boot loader must take
// its 128-byte CRC blocks byte for byte, across the block-number wrap.
TEST(SimulatedCharger, AcceptsAnImageFromLrzszSx) {
    const char* sx = "/usr/bin/sx";
    if (::access(sx, X_OK) != 0) {
        GTEST_SKIP() << "lrzsz is not installed";
    }
    testkit::CScratchDir dir;
    const auto image = simtest::TestImage("4.5.6", 38000);  // 298 blocks
    const std::string path = dir.Path() + "/image.bin";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));

    sim::CSimulatedCharger charger(simtest::Options("--no-firmware --start-interval=200"));
    ASSERT_TRUE(charger.Start());
    // sx opens the device itself, as stdin and stdout.
    simtest::CCommand sender("timeout 60 " + std::string(sx) + " -X -q " + path + " <>" +
                             charger.SlavePath() + " >&0 2>/dev/null");
    EXPECT_EQ(sender.Close(), 0);

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
