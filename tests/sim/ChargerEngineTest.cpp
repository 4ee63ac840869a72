// The charger engine in virtual time: firmware replies, the hand-over, the
// boot loader's upload and every fault the simulator can put on the line.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "SimTestSupport.h"
#include "sim/Scenarios.h"

namespace {

using sim::BlockVerdict;
using sim::ChargerMode;
using simtest::CEngineRig;
using simtest::FastOptions;

const std::string kIdentify = "\r/01-\r/00\r";
const std::string kIdentity = "deviceid VC-4017-0032\r\nBoot 1.3\r\nV2.09 Veltra charger\r\n";

std::string HandOver(CEngineRig& rig) {
    rig.Send("/0842\r");
    return rig.Run(30);
}

std::vector<std::uint8_t> SmallImage(const std::string& version) {
    return simtest::MakeImage(simtest::CodeWithVersion(version, 1000));  // 9 blocks
}

// 'A', 'N', 'C' for ACK, NAK, CAN.
std::string Replies(const std::string& letters) {
    std::string out;
    for (const char c : letters) {
        out += c == 'A' ? simtest::kAck : c == 'N' ? simtest::kNak : simtest::kCan;
    }
    return out;
}

// --- firmware mode ---

TEST(ChargerEngineFirmware, AnswersIdentificationAfterTheReplyDelay) {
    CEngineRig rig(FastOptions());
    rig.Send(kIdentify);
    EXPECT_EQ(rig.Run(19), "");
    EXPECT_EQ(rig.Run(1000), kIdentity);
    const sim::SimLog log = rig.engine.Log();
    ASSERT_EQ(log.commands.size(), 2U);
    EXPECT_EQ(log.commands[0].text, "/01-");
    EXPECT_EQ(log.commands[1].text, "/00");
    EXPECT_EQ(log.commands[1].mode, ChargerMode::Firmware);
}

TEST(ChargerEngineFirmware, UnknownCommandsAreIgnored) {
    CEngineRig rig(FastOptions());
    rig.Send("\r/99\rhello\r");
    EXPECT_EQ(rig.Run(2000), "");
    EXPECT_EQ(rig.engine.Log().commands.size(), 2U);
}

TEST(ChargerEngineFirmware, IdentificationFaultsShapeTheReply) {
    struct Case {
        void (*set)(sim::SimOptions&);
        std::string expected;
    };
    const Case cases[] = {
        {[](sim::SimOptions& o) { o.omitBootLine = true; },
         "deviceid VC-4017-0032\r\nV2.09 Veltra charger\r\n"},
        {[](sim::SimOptions& o) { o.omitVersionLine = true; },
         "deviceid VC-4017-0032\r\nBoot 1.3\r\n"},
        {[](sim::SimOptions& o) { o.lowerCaseVersionLine = true; },
         "deviceid VC-4017-0032\r\nBoot 1.3\r\nv2.09 Veltra charger\r\n"},
        {[](sim::SimOptions& o) { o.nakInsteadOfReplies = true; }, "\x15\x15"},
    };
    for (const Case& c : cases) {
        sim::SimOptions options = FastOptions();
        c.set(options);
        CEngineRig rig(options);
        rig.Send(kIdentify);
        EXPECT_EQ(rig.Run(500), c.expected);
    }
}

TEST(ChargerEngineFirmware, LongLinesAre300CharactersAndKeepTheirFields) {
    sim::SimOptions options = FastOptions();
    options.longLines = true;
    CEngineRig rig(options);
    rig.Send(kIdentify);
    const std::string reply = rig.Run(500);
    std::size_t start = 0;
    int lines = 0;
    for (auto end = reply.find("\r\n"); end != std::string::npos;
         start = end + 2, end = reply.find("\r\n", start)) {
        EXPECT_EQ(end - start, 300U);
        ++lines;
    }
    EXPECT_EQ(lines, 3);
    EXPECT_NE(reply.find("\nBoot 1.3 "), std::string::npos);
    EXPECT_NE(reply.find("\nV2.09 Veltra"), std::string::npos);
}

TEST(ChargerEngineFirmware, NakInsteadOfRepliesAlsoRefusesTheHandOver) {
    sim::SimOptions options = FastOptions();
    options.nakInsteadOfReplies = true;
    CEngineRig rig(options);
    EXPECT_EQ(HandOver(rig), "\x15");
    EXPECT_EQ(rig.engine.Mode(), ChargerMode::Firmware);
}

TEST(ChargerEngineFirmware, NeverSpeakingChargerSendsNothingButHearsAll) {
    sim::SimOptions options = FastOptions();
    options.neverSpeak = true;
    CEngineRig rig(options);
    rig.Send(kIdentify + "\r/011\r");
    EXPECT_EQ(rig.Run(3000), "");
    EXPECT_EQ(rig.engine.Log().commands.size(), 3U);
}

TEST(ChargerEngineFirmware, VariableReportRunsAtItsPeriodUntilStopped) {
    sim::SimOptions options = FastOptions();
    options.reportPeriodMs = 200;
    CEngineRig rig(options);
    rig.Send("\r/011\r");
    const std::string report = rig.Run(1000);  // lines at 20, 220, ..., 820 ms
    EXPECT_EQ(std::count(report.begin(), report.end(), '\r'), 5);
    EXPECT_EQ(std::count(report.begin(), report.end(), ','), 5 * 16);
    rig.Send("\r/01-\r");
    EXPECT_EQ(rig.Run(1000), "");
    EXPECT_EQ(rig.engine.Log().reportLines, 5);
}

TEST(ChargerEngineFirmware, GarbageComesBeforeEachReplyLineNeverInsideOne) {
    sim::SimOptions options = FastOptions();
    options.garbageBetweenReplies = 4;
    CEngineRig rig(options);
    rig.Send(kIdentify);
    const std::string reply = rig.Run(500);
    std::size_t at = 0;
    for (const std::string line :
         {"deviceid VC-4017-0032\r\n", "Boot 1.3\r\n", "V2.09 Veltra charger\r\n"}) {
        ASSERT_LE(at + 4 + line.size(), reply.size());
        for (std::size_t i = at; i < at + 4; ++i) {
            EXPECT_GE(static_cast<unsigned char>(reply[i]), 0x80) << i;
        }
        EXPECT_EQ(reply.substr(at + 4, line.size()), line);
        at += 4 + line.size();
    }
    EXPECT_EQ(at, reply.size());
}

TEST(ChargerEngineFirmware, SplitLinesLeaveInPiecesWithGaps) {
    sim::SimOptions options = FastOptions();
    options.splitReplyChunk = 10;
    options.splitReplyGapMs = 30;
    options.omitBootLine = true;
    options.omitVersionLine = true;
    CEngineRig rig(options);
    rig.Send(kIdentify);
    const std::string reply = rig.Run(500);
    EXPECT_EQ(reply, "deviceid VC-4017-0032\r\n");  // 23 bytes: 10 + 10 + 3
    ASSERT_EQ(rig.sentAt.size(), 23U);
    EXPECT_EQ(rig.sentAt[0], 20);
    EXPECT_EQ(rig.sentAt[9], 20);
    EXPECT_EQ(rig.sentAt[10], 50);
    EXPECT_EQ(rig.sentAt[20], 80);
}

TEST(ChargerEngineFirmware, PacedRepliesTakeTheirLineTime) {
    sim::SimOptions options;  // paced at 260 us a byte
    CEngineRig rig(options);
    rig.Send(kIdentify);
    const std::string reply = rig.Run(200);
    EXPECT_EQ(reply, kIdentity);
    const double lineMs = static_cast<double>(kIdentity.size()) * 0.26;
    EXPECT_NEAR(static_cast<double>(rig.sentAt.back() - rig.sentAt.front()), lineMs, 1.5);
}

// --- hand-over and boot loader ---

TEST(ChargerEngineBootLoader, HandOverStartsTheCPrompt) {
    CEngineRig rig(FastOptions());
    EXPECT_EQ(HandOver(rig), "C");
    EXPECT_EQ(rig.engine.Mode(), ChargerMode::BootLoader);
    EXPECT_EQ(rig.Run(3000), "CCC");
    ASSERT_EQ(rig.engine.Log().modeChanges.size(), 2U);
    EXPECT_EQ(rig.engine.Log().modeChanges[1].mode, ChargerMode::BootLoader);
    EXPECT_EQ(rig.engine.Log().startSent, 4);
}

TEST(ChargerEngineBootLoader, ChargerWithoutFirmwareStartsInTheBootLoader) {
    sim::SimOptions options = FastOptions();
    options.firmwareVersion.clear();
    options.startIntervalMs = 250;
    CEngineRig rig(options);
    EXPECT_EQ(rig.engine.Mode(), ChargerMode::BootLoader);
    EXPECT_EQ(rig.Run(1000), "CCCC");
    EXPECT_EQ(rig.engine.FirmwareVersion(), "");
}

TEST(ChargerEngineBootLoader, RequestsAreAnsweredWithNak) {
    CEngineRig rig(FastOptions());
    HandOver(rig);
    rig.Send(kIdentify);
    EXPECT_EQ(rig.Run(10), "\x15\x15");
    EXPECT_EQ(rig.engine.Log().commands.back().mode, ChargerMode::BootLoader);
}

TEST(ChargerEngineBootLoader, CarriedImageInstallsItsVersionAndFirmwareReportsIt) {
    CEngineRig rig(FastOptions());
    HandOver(rig);
    const std::vector<std::uint8_t> image = simtest::CarriedImage();
    const std::string replies = rig.Upload(image);
    EXPECT_EQ(replies, std::string(102, simtest::kAck));  // 101 blocks and the EOT
    EXPECT_EQ(rig.engine.Mode(), ChargerMode::Firmware);
    EXPECT_EQ(rig.engine.FirmwareVersion(), CORVANE_VERSION_LABEL);
    const auto& received = rig.engine.ReceivedImage();
    ASSERT_EQ(received.size(), 101U * 128);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), received.begin()));

    rig.Send(kIdentify);
    EXPECT_NE(rig.Run(200).find("\r\nV" CORVANE_VERSION_LABEL " "), std::string::npos);
    const sim::SimLog log = rig.engine.Log();
    EXPECT_EQ(log.blocks.size(), 101U);
    EXPECT_EQ(log.eotReceived, 1);
    EXPECT_EQ(log.ackSent, 102);
    EXPECT_TRUE(log.finalImageSound);
    EXPECT_EQ(log.installedVersion, CORVANE_VERSION_LABEL);
    EXPECT_EQ(log.modeChanges.back().mode, ChargerMode::Firmware);
}

TEST(ChargerEngineBootLoader, UnsoundImageLeavesTheBootLoaderWaiting) {
    CEngineRig rig(FastOptions());
    HandOver(rig);
    std::vector<std::uint8_t> image = SmallImage("3.00");
    image[600] ^= 0xFF;  // the blocks stay sound, the code does not
    EXPECT_EQ(rig.Upload(image), std::string(10, simtest::kAck));
    EXPECT_EQ(rig.engine.Mode(), ChargerMode::BootLoader);
    EXPECT_FALSE(rig.engine.Log().finalImageSound);
    EXPECT_EQ(rig.engine.FirmwareVersion(), "2.09");  // the old one stays installed
    EXPECT_EQ(rig.Run(1100), "C");                    // and it waits again
}

TEST(ChargerEngineBootLoader, EotWithoutBlocksIsAckedAndChangesNothing) {
    CEngineRig rig(FastOptions());
    HandOver(rig);
    rig.Send(std::string(1, simtest::kEot));
    EXPECT_EQ(rig.Run(5), std::string(1, simtest::kAck));
    EXPECT_EQ(rig.engine.Mode(), ChargerMode::BootLoader);
    EXPECT_EQ(rig.engine.Log().imagesChecked, 1);
}

TEST(ChargerEngineBootLoader, NoCPromptWhileATransferRuns) {
    CEngineRig rig(FastOptions());
    HandOver(rig);
    const auto image = SmallImage("3.00");
    rig.Send(simtest::Frame(1, image));
    EXPECT_EQ(rig.Run(5000), std::string(1, simtest::kAck));
}

TEST(ChargerEngineBootLoader, BlockCutShortIsNakedAndItsResendAccepted) {
    CEngineRig rig(FastOptions());
    HandOver(rig);
    const auto image = SmallImage("3.00");
    const std::string frame = simtest::Frame(1, image);
    rig.Send(frame.substr(0, 50));
    EXPECT_EQ(rig.Run(999), "");
    EXPECT_EQ(rig.Run(1), std::string(1, simtest::kNak));
    rig.Send(frame);
    EXPECT_EQ(rig.Run(1), std::string(1, simtest::kAck));
    const sim::SimLog log = rig.engine.Log();
    ASSERT_EQ(log.blocks.size(), 2U);
    EXPECT_EQ(log.blocks[0].verdict, BlockVerdict::CutShort);
    EXPECT_EQ(log.blocks[1].verdict, BlockVerdict::Accepted);
}

TEST(ChargerEngineBootLoader, SilenceInATransferDrawsNakAfterTheTimeout) {
    sim::SimOptions options = FastOptions();
    options.transferTimeoutMs = 3000;
    CEngineRig rig(options);
    HandOver(rig);
    rig.Send(simtest::Frame(1, SmallImage("3.00")));
    EXPECT_EQ(rig.Run(2999), std::string(1, simtest::kAck));
    EXPECT_EQ(rig.Run(1), std::string(1, simtest::kNak));
}

// --- faults in the upload ---

TEST(ChargerEngineFaults, NakFirstArrivalsOfABlockThenAcceptIt) {
    sim::SimOptions options = FastOptions();
    options.nakFirstArrivals = {{3, 2}, {5, 1}};
    CEngineRig rig(options);
    HandOver(rig);
    const auto image = SmallImage("3.00");
    EXPECT_EQ(rig.Upload(image), Replies("AA"
                                         "NNA"
                                         "A"
                                         "NA"
                                         "AAAA"
                                         "A"));
    EXPECT_EQ(rig.engine.FirmwareVersion(), "3.00");
    const auto& received = rig.engine.ReceivedImage();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), received.begin()));
    const sim::SimLog log = rig.engine.Log();
    const auto injected = std::count_if(log.blocks.begin(), log.blocks.end(),
                                        [](const sim::BlockRecord& b) { return b.faultInjected; });
    EXPECT_EQ(injected, 3);
    EXPECT_EQ(log.nakSent, 3);
}

TEST(ChargerEngineFaults, CancelInsteadOfTheAckOfABlock) {
    sim::SimOptions options = FastOptions();
    options.cancelInsteadOfAckAtBlock = 4;
    CEngineRig rig(options);
    HandOver(rig);
    EXPECT_EQ(rig.Upload(SmallImage("3.00")), Replies("AAAC"));
    EXPECT_EQ(rig.engine.Mode(), ChargerMode::BootLoader);
    EXPECT_EQ(rig.engine.Log().canSent, 2);                  // CAN CAN
    EXPECT_EQ(rig.engine.ReceivedImage().size(), 3U * 128);  // block 4 not kept
    EXPECT_EQ(rig.Run(1100), "C");
}

TEST(ChargerEngineFaults, CancelCanRestartTheOldFirmware) {
    sim::SimOptions options = FastOptions();
    options.cancelInsteadOfAckAtBlock = 2;
    options.resumeFirmwareAfterCancel = true;
    CEngineRig rig(options);
    HandOver(rig);
    rig.Upload(SmallImage("3.00"));
    EXPECT_EQ(rig.engine.Mode(), ChargerMode::Firmware);
    rig.Run(10);
    rig.Send(kIdentify);
    EXPECT_NE(rig.Run(200).find("\nV2.09 "), std::string::npos);
}

TEST(ChargerEngineFaults, CancelWithoutFirmwareStaysInTheBootLoader) {
    sim::SimOptions options = FastOptions();
    options.firmwareVersion.clear();
    options.cancelInsteadOfAckAtBlock = 1;
    options.resumeFirmwareAfterCancel = true;
    CEngineRig rig(options);
    rig.Upload(SmallImage("3.00"));
    EXPECT_EQ(rig.engine.Mode(), ChargerMode::BootLoader);
}

TEST(ChargerEngineFaults, FallSilentAfterABlockAcksItThenSaysNothing) {
    sim::SimOptions options = FastOptions();
    options.fallSilentAfterBlock = 2;
    CEngineRig rig(options);
    HandOver(rig);
    EXPECT_EQ(rig.Upload(SmallImage("3.00")), Replies("AA"));
    rig.Send(kIdentify);
    EXPECT_EQ(rig.Run(30000), "");  // not even the time-out NAK or a "C"
    const sim::SimLog log = rig.engine.Log();
    EXPECT_EQ(log.blocks.size(), 3U);  // block 3 still arrived and was judged
}

TEST(ChargerEngineFaults, HangUpWhenABlockArrives) {
    sim::SimOptions options = FastOptions();
    options.hangUpAfterBlock = 3;
    CEngineRig rig(options);
    HandOver(rig);
    EXPECT_EQ(rig.Upload(SmallImage("3.00")), Replies("AA"));
    EXPECT_TRUE(rig.engine.HangUpRequested());
    EXPECT_EQ(rig.engine.NextWakeMs(), -1);
    rig.engine.MarkHungUp();
    EXPECT_TRUE(rig.engine.Log().hungUp);
    EXPECT_EQ(rig.engine.Log().blocks.back().reply, 0);
}

TEST(ChargerEngineFaults, AckDelayHoldsBackOnlyAcks) {
    sim::SimOptions options = FastOptions();
    options.ackDelayMs = 400;
    CEngineRig rig(options);
    HandOver(rig);
    const auto image = SmallImage("3.00");
    rig.Send(simtest::Frame(1, image));
    EXPECT_EQ(rig.Run(399), "");
    EXPECT_EQ(rig.Run(1), std::string(1, simtest::kAck));
    std::string bad = simtest::Frame(2, image, 128);
    bad[10] ^= 1;
    rig.Send(bad);
    EXPECT_EQ(rig.Run(1), std::string(1, simtest::kNak));
}

TEST(ChargerEngineFaults, NoisyUploadStillSucceeds) {
    sim::SimOptions options = FastOptions();
    ASSERT_TRUE(sim::ScenarioOptions("noisy", options));
    options.paceOutput = false;
    CEngineRig rig(options);
    HandOver(rig);
    const std::string replies = rig.Upload(simtest::CarriedImage());
    EXPECT_EQ(replies.back(), simtest::kAck);
    EXPECT_EQ(std::count(replies.begin(), replies.end(), simtest::kNak), 4);
    EXPECT_EQ(rig.engine.FirmwareVersion(), CORVANE_VERSION_LABEL);
}

}  // namespace
