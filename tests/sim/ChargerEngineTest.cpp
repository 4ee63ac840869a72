// The charger engine in virtual time: firmware replies, the hand-over, the
// boot loader's upload and every fault the simulator can put on the line.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "SimTestSupport.h"
#include "sim/Scenarios.h"

namespace {

using sim::ChargerMode;
using simtest::CEngineRig;
using simtest::kAck;
using simtest::kNak;

const std::string kIdentify = "\r/01-\r/00\r";
const std::string kDeviceLine = "deviceid VC-4017-0032\r\n";
const std::string kBootLine = "Boot 1.3\r\n";
const std::string kVersionLine = "V2.09 Veltra charger\r\n";
const std::string kIdentity = kDeviceLine + kBootLine + kVersionLine;
const std::vector<std::uint8_t> kSmallImage = simtest::TestImage("3.00", 1000);  // 9 blocks

const ChargerMode fw = ChargerMode::Firmware, bl = ChargerMode::BootLoader;

TEST(ChargerEngine, AnswersWhatItHearsAsTheOptionsSay) {
    const std::string nak(1, kNak), ack(1, kAck);
    const std::string frame = simtest::Frame(1, kSmallImage);
    std::string damaged = frame, damaged2 = simtest::Frame(2, kSmallImage);
    damaged[10] ^= 1;
    damaged2[10] ^= 1;
    const std::string &ask = kIdentify, &dev = kDeviceLine, &boot = kBootLine, &ver = kVersionLine;
    const struct {
        const char* name;
        const char* options;
        bool handOverFirst;
        std::string input;
        int ms;  // virtual time let pass after the input
        std::string expected;
        int lastAt;  // when the last byte left, ms after the input; 0: unchecked
        ChargerMode mode;
        std::size_t commands;  // logged in all, the hand-over's included
    } cases[] = {
        {"identification after the reply delay", "", false, ask, 1000, kIdentity, 20, fw, 2},
        // 23 bytes in chunks of 10 at 20, 50 and 80 ms
        {"split lines", "--split-lines=10:30 --no-boot-line --no-version-line", false, ask, 500,
         dev, 80, fw, 2},
        {"unknown commands", "", false, "\r/99\rhello\r", 2000, "", 0, fw, 2},
        {"no Boot line", "--no-boot-line", false, ask, 500, dev + ver, 20, fw, 2},
        {"no V line", "--no-version-line", false, ask, 500, dev + boot, 20, fw, 2},
        {"lower-case v", "--lower-case-version", false, ask, 500,
         dev + boot + "v2.09 Veltra charger\r\n", 20, fw, 2},
        {"NAKs for replies", "--nak-replies", false, ask, 500, nak + nak, 0, fw, 2},
        {"NAKs for the hand-over", "--nak-replies", false, "/0842\r", 500, nak, 0, fw, 1},
        {"never speaks, hears all", "--never-speak", false, ask + "\r/011\r", 3000, "", 0, fw, 3},
        {"hand-over starts the C prompt", "", false, "/0842\r", 3030, "CCCC", 0, bl, 1},
        {"no firmware", "--no-firmware --start-interval=250", false, "", 1000, "CCCC", 0, bl, 0},
        {"requests in the boot loader", "", true, ask, 10, nak + nak, 0, bl, 3},
        {"EOT without blocks", "", true, std::string(1, simtest::kEot), 5, ack, 0, bl, 1},
        {"no C prompt in a transfer", "", true, frame, 5000, ack, 1, bl, 1},
        {"block cut short", "", true, frame.substr(0, 50), 2000, nak, 1000, bl, 1},
        {"silence in a transfer", "--transfer-timeout=3000", true, frame, 3000, ack + nak, 3000, bl,
         1},
        {"ACK delay keeps the order", "--ack-delay=400", true, frame + damaged2, 500, ack + nak,
         400, bl, 1},
        {"ACK delay holds no NAK", "--ack-delay=400", true, damaged, 500, nak, 1, bl, 1},
    };
    for (const auto& c : cases) {
        CEngineRig rig(c.options);
        if (c.handOverFirst) {
            EXPECT_EQ(rig.HandOver(), "C") << c.name;
        }
        const std::int64_t start = rig.nowMs;
        const ChargerMode hearing = rig.engine.Mode();
        const std::size_t heard = rig.engine.Log().commands.size();
        rig.Send(c.input);
        EXPECT_EQ(rig.Run(c.ms), c.expected) << c.name;
        if (c.lastAt > 0 && !rig.sentAt.empty()) {
            EXPECT_EQ(rig.sentAt.back() - start, c.lastAt) << c.name;
        }
        EXPECT_EQ(rig.engine.Mode(), c.mode) << c.name;
        const sim::SimLog log = rig.engine.Log();
        ASSERT_EQ(log.commands.size(), c.commands) << c.name;
        if (c.commands > heard) {  // each command is logged with the mode that heard it
            EXPECT_EQ(log.commands.back().mode, hearing) << c.name;
        }
    }
}

TEST(ChargerEngine, VariableReportRunsAtItsPeriodUntilStopped) {
    CEngineRig rig("--report-period=200");
    rig.Send("\r/011\r");
    const std::string report = rig.Run(1000);  // lines at 20, 220, ..., 820 ms
    EXPECT_EQ(std::count(report.begin(), report.end(), '\r'), 5);
    EXPECT_EQ(std::count(report.begin(), report.end(), ','), 5 * 16);
    rig.Send("\r/01-\r");
    EXPECT_EQ(rig.Run(1000), "");
    EXPECT_EQ(rig.engine.Log().reportLines, 5);
}

TEST(ChargerEngine, GarbageComesBeforeEachReplyLineNeverInsideOne) {
    CEngineRig rig("--garbage=4");
    rig.Send(kIdentify);
    std::string reply = rig.Run(500);
    for (char& c : reply) {
        c = static_cast<unsigned char>(c) >= 0x80 ? '#' : c;  // the noise is all high bytes
    }
    EXPECT_EQ(reply, "####" + kDeviceLine + "####" + kBootLine + "####" + kVersionLine);
}

// Long lines are 300 characters and keep their fields. Paced, they leave at
// 260 us a byte from the moment the line is idle, each line behind the last.
TEST(ChargerEngine, LongLinesPacedTakeTheirLineTime) {
    CEngineRig rig("--long-lines", true);
    rig.Send(kIdentify);
    const std::string reply = rig.Run(1000);
    EXPECT_EQ(reply.size(), 3U * 302);
    for (std::size_t at = 300; at < reply.size(); at += 302) {
        EXPECT_EQ(reply.substr(at, 2), "\r\n") << at;
    }
    EXPECT_NE(reply.find("\nBoot 1.3 "), std::string::npos);
    EXPECT_NE(reply.find("\nV2.09 Veltra"), std::string::npos);
    EXPECT_EQ(rig.sentAt.front(), 20);
    EXPECT_NEAR(static_cast<double>(rig.sentAt.back() - rig.sentAt.front()), (3 * 302 - 1) * 0.26,
                1.5);
}

// The upload as the utility sends it, against each fault in the boot loader.
TEST(ChargerEngine, UploadOutcomeOfEachBootLoaderFault) {
    const std::vector<std::uint8_t> carried = simtest::CarriedImage();  // 101 blocks
    std::vector<std::uint8_t> unsound = kSmallImage;
    unsound[600] ^= 0xFF;  // the blocks stay sound, the code does not
    const struct {
        const char* options;
        const std::vector<std::uint8_t>& image;
        std::string replies;  // to each block sent, then to the EOT
        ChargerMode mode;
        std::string firmware;  // installed afterwards
        const char* after;     // sent unasked in the next 1.1 s
    } cases[] = {
        {"", carried, std::string(102, 'A'), fw, CORVANE_VERSION_LABEL, ""},
        {"", unsound, "AAAAAAAAAA", bl, "2.09", "C"},  // waits again
        {"--nak-block=3:2 --nak-block=5", kSmallImage, "AANNAANAAAAAA", fw, "3.00", ""},
        {"--cancel-at-block=4", kSmallImage, "AAAC", bl, "2.09", "C"},
        {"--cancel-at-block=2 --resume-after-cancel", kSmallImage, "AC", fw, "2.09", ""},
        {"--cancel-at-block=1 --resume-after-cancel --no-firmware", kSmallImage, "C", bl, "", "C"},
        // Not even the time-out NAK or a "C"; block 3 still arrives and is judged.
        {"--silent-after-block=2 --transfer-timeout=1000", kSmallImage, "AA", bl, "2.09", ""},
        // Block 3 draws no reply: the line is to be closed instead.
        {"--hang-up-after-block=3", kSmallImage, "AA", bl, "2.09", ""},
    };
    for (const auto& c : cases) {
        CEngineRig rig(c.options);
        const bool installs = c.firmware != rig.engine.FirmwareVersion();
        if (rig.engine.Mode() == fw) {
            rig.HandOver();
        }
        const std::string replies = rig.Upload(c.image);
        EXPECT_EQ(replies, c.replies) << c.options;
        EXPECT_EQ(rig.engine.Mode(), c.mode) << c.options;
        EXPECT_EQ(rig.engine.FirmwareVersion(), c.firmware) << c.options;
        EXPECT_EQ(rig.engine.HangUpRequested(),
                  std::string(c.options).find("hang-up") != std::string::npos);
        EXPECT_EQ(rig.Run(1100), c.after) << c.options;
        if (c.mode == fw) {  // and the firmware running reports its version
            rig.Send(kIdentify);
            EXPECT_NE(rig.Run(200).find("\nV" + c.firmware + " "), std::string::npos);
        }
        const sim::SimLog log = rig.engine.Log();
        auto count = [&replies](char b) { return std::count(replies.begin(), replies.end(), b); };
        EXPECT_EQ(log.ackSent, count('A')) << c.options;
        EXPECT_EQ(log.nakSent, count('N')) << c.options;
        EXPECT_EQ(log.canSent, 2 * count('C')) << c.options;
        EXPECT_EQ(log.modeChanges.back().mode, c.mode) << c.options;
        EXPECT_EQ(log.finalImageSound, installs) << c.options;
        // Every reply the options changed or held back is marked as injected.
        const long unanswered = static_cast<long>(log.blocks.size() + log.eotReceived) -
                                static_cast<long>(replies.size());
        const auto injected = std::count_if(log.blocks.begin(), log.blocks.end(),
                                            [](const auto& b) { return b.faultInjected; });
        EXPECT_EQ(injected, count('N') + count('C') + unanswered) << c.options;
        const auto& received = rig.engine.ReceivedImage();
        if (installs) {
            EXPECT_TRUE(std::equal(c.image.begin(), c.image.end(), received.begin()));
        }
        if (replies.back() == 'C') {  // the block cancelled is not kept
            EXPECT_EQ(received.size(), 128U * count('A')) << c.options;
        }
    }
}

}  // namespace
