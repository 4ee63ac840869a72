// The block upload and the whole upgrade through the real serial port,
// against the simulated charger or a scripted far end, in virtual time.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "ChargerFixture.h"
#include "XmodemRecord.h"
#include "protocol/BlockUpload.h"
#include "protocol/FirmwareImage.h"
#include "protocol/UpgradeImage.h"
#include "protocol/UpgradeSequence.h"

namespace {

class UploadOverPortTest : public ChargerFixture {
protected:
    UploadState Upload() {
        EXPECT_TRUE(port.Open());
        const UploadState state = UploadImage(port, view, clock);
        if (state == UploadState::Done) {
            // The upload does not wait for its EOT to leave; a port closed at
            // once may drop it, so let the charger take it first.
            EXPECT_TRUE(charger == nullptr ||
                        charger->WaitUntil(
                            [](const sim::SimLog& log) { return log.imagesChecked > 0; }, 5000));
        }
        port.Close();
        return state;
    }
};

struct UploadCase {
    const char* name;
    std::vector<sim::BlockNakFault> naks;
    int cancelAt;  // the block answered with CAN instead of ACK
    UploadState state;
    std::vector<std::pair<int, int>> arrivals;  // (block, how often it arrived)
};

// clang-format off
const UploadCase kUploadCases[] = {
    {"Clean", {}, 0, UploadState::Done, {{1, 1}, {50, 1}, {101, 1}}},
    {"NineNaksOnBlockOneThenSuccess", {{1, 9}}, 0, UploadState::Done, {{1, 10}, {2, 1}}},
    // Five NAKs on block 3 and five on block 50: the tenth fails without a resend.
    {"TenthNakOverTwoBlocksFails", {{3, 5}, {50, 5}}, 0, UploadState::Failed,
     {{3, 6}, {50, 5}, {51, 0}}},
    {"CanInsteadOfTheFirstAck", {}, 1, UploadState::Cancelled, {{1, 1}, {2, 0}}},
};
// clang-format on

class UploadCaseTest : public UploadOverPortTest,
                       public ::testing::WithParamInterface<UploadCase> {};

TEST_P(UploadCaseTest, Outcome) {
    const UploadCase& c = GetParam();
    sim::SimOptions options = Healthy();
    options.firmwareVersion = "";  // waiting in its boot loader
    options.nakFirstArrivals = c.naks;
    options.cancelInsteadOfAckAtBlock = c.cancelAt;
    StartCharger(options);
    EXPECT_EQ(Upload(), c.state);
    // The bytes on the line against the test's own record of the blocks the
    // charger took (SOH, n, 255 - n, data, CRC), then EOT once after success.
    const sim::SimLog log = charger->Log();
    std::string expected;
    for (const auto& record : log.blocks) {
        expected += xmodem::BlockOnLine(UpgradeImage(), record.number, CBlockUpload::kFiller);
    }
    for (const auto& [block, times] : c.arrivals) {
        EXPECT_EQ(std::count_if(log.blocks.begin(), log.blocks.end(),
                                [block = block](const auto& r) { return r.number == block; }),
                  times)
            << "block " << block;
    }
    const bool done = c.state == UploadState::Done;
    EXPECT_EQ(clock.Sent(), done ? expected + '\x04' : expected);
    EXPECT_EQ(log.eotReceived, done ? 1 : 0);
    EXPECT_EQ(log.finalImageSound, done);
    if (done) {
        EXPECT_EQ(log.installedVersion, "2.10e");
    }
}

INSTANTIATE_TEST_SUITE_P(Uploads, UploadCaseTest, ::testing::ValuesIn(kUploadCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(UploadOverPortTest, SilenceAfterBlock40FailsOnThe201stIdlePoll) {
    sim::SimOptions options = Healthy();
    options.firmwareVersion = "";       // waiting in its boot loader
    options.fallSilentAfterBlock = 39;  // ACKs block 39, never answers block 40
    StartCharger(options);
    int sleepsAtBlock40 = -1;
    view.onBlockSent = [&](int block) {
        if (block == 40) {
            sleepsAtBlock40 = clock.Sleeps();
            clock.replyWaitMs = 100;  // no answer is coming from here on
        }
    };
    EXPECT_EQ(Upload(), UploadState::Failed);
    ASSERT_GE(sleepsAtBlock40, 0);
    EXPECT_EQ(clock.Sleeps() - sleepsAtBlock40, 201);
    EXPECT_EQ(charger->Log().blocks.size(), 40U);  // blocks 1 to 40, each once

    // A second upload on the same silent line: again 201 polls from its start.
    const int before = clock.Sleeps();
    EXPECT_EQ(Upload(), UploadState::Failed);
    EXPECT_EQ(clock.Sleeps() - before, 201);
    EXPECT_EQ(charger->Log().blocks.size(), 40U);  // blocks 1 to 40, each once
}

TEST_F(UploadOverPortTest, RepeatedStartWhileAwaitingAReplyIsIgnored) {
    CPtyPeer& far = StartPeer();
    const auto image = UpgradeImage();
    const std::string block1 = xmodem::BlockOnLine(image, 1, CBlockUpload::kFiller);
    const std::string block2 = xmodem::BlockOnLine(image, 2, CBlockUpload::kFiller);
    far.Answer(block1, {"CC\x06"});  // prompts again, then accepts
    far.Answer(block2, {"\x18"});    // and cancels the second block
    clock.onSleep = [&](std::uint32_t) {
        if (clock.Sleeps() == 3) {
            far.Write("C");
        }
    };
    EXPECT_EQ(Upload(), UploadState::Cancelled);
    // Block 1 once: neither repeated "C" restarted the transfer.
    EXPECT_EQ(far.Received(), block1 + block2);
}

// ---- the whole upgrade ---------------------------------------------------------

class UpgradeSequenceTest : public ChargerFixture {
protected:
    void Upgrade() { RunUpgrade(port, view, clock); }
};

// No byte after the pause: the hand-over command, the upload and a fresh
// identification, with the bytes on the line matching an independent record.
TEST_F(UpgradeSequenceTest, SuccessfulUpgradeFromOldFirmware) {
    StartCharger(Healthy());
    Upgrade();
    EXPECT_EQ(view.Statuses(), (Texts{"Upgrading", "Reading Version Information",
                                      "Read Version Complete", "Upgrade Successful"}));
    EXPECT_EQ(view.ChargerCode(), "2.10e");
    EXPECT_EQ(view.BootCode(), "1.3");
    EXPECT_FALSE(view.upgradeShown);
    EXPECT_EQ(view.events.front(), "read:hidden");
    EXPECT_EQ(view.events.back(), "read:shown");
    // The panel is drawn once "Upgrading" is up, before the upload starts.
    EXPECT_EQ(view.IndexOf("paintWindow"), view.IndexOf("status:Upgrading") + 1);
    EXPECT_LT(view.IndexOf("paintWindow"), view.IndexOf("progress:0/101"));
    EXPECT_EQ(boxes.Count(), 0U);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(charger->FirmwareVersion(), "2.10e");
    EXPECT_EQ(clock.SleepLog().front(), 500U);
    EXPECT_EQ(charger->Log().eotReceived, 1);

    const std::string expected = kBootLoaderCommand +
                                 xmodem::WholeTransfer(UpgradeImage(), CBlockUpload::kFiller) +
                                 kIdentifyRequest;
    const std::string sent = clock.Sent();
    EXPECT_TRUE(sent == expected)
        << "first difference at byte "
        << std::mismatch(sent.begin(), sent.end(), expected.begin(), expected.end()).first -
               sent.begin();
}

TEST_F(UpgradeSequenceTest, WaitingBootLoaderGetsNoHandOverCommand) {
    sim::SimOptions options = Healthy();
    options.firmwareVersion = "";
    options.startIntervalMs = 5;
    StartCharger(options);
    clock.onSleep = [&](std::uint32_t ms) {
        if (ms == 500) {
            EXPECT_TRUE(clock.WaitForReceived(1));  // the prompt is waiting after the pause
        }
    };
    Upgrade();
    EXPECT_EQ(clock.Sent().front(), '\x01');  // straight into block 1, no "/0842"
    EXPECT_EQ(view.LastStatus(), "Upgrade Successful");
    EXPECT_EQ(charger->FirmwareVersion(), "2.10e");
}

TEST_F(UpgradeSequenceTest, AnyOtherByteAfterThePauseSendsTheHandOverCommand) {
    CPtyPeer& far = StartPeer();
    clock.onSleep = [&](std::uint32_t ms) {
        if (ms == 500) {
            far.Write("x");
        }
    };
    std::size_t boxesAtVerdict = 99;
    view.onStatus = [&](const std::string& text) {
        if (text == "Upgrade Process Failed") {
            boxesAtVerdict = boxes.Count();
        }
    };
    Upgrade();
    EXPECT_EQ(far.Received().substr(0, kBootLoaderCommand.size()), kBootLoaderCommand);
    // Nobody answers: the upload runs into its silence limit, identification
    // shows its own box, then the verdict's box and status follow.
    EXPECT_EQ(BoxTexts(), (Texts{kNoVersionBox, kUpgradeFailedBox}));
    EXPECT_EQ(boxesAtVerdict, 2U);
    EXPECT_EQ(view.LastStatus(), "Upgrade Process Failed");
    EXPECT_TRUE(view.readShown);
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(UpgradeSequenceTest, CancelledUploadWithTheOldVersionFails) {
    sim::SimOptions options = Healthy();
    ASSERT_TRUE(sim::ScenarioOptions("cancel", options));
    options.startIntervalMs = 20;
    StartCharger(options);
    Upgrade();
    EXPECT_EQ(view.ChargerCode(), "2.09");
    EXPECT_EQ(view.LastStatus(), "Upgrade Process Failed");
    EXPECT_EQ(BoxTexts(), (Texts{kUpgradeFailedBox}));
    EXPECT_TRUE(view.upgradeShown);  // identification offers it again
    EXPECT_TRUE(view.readShown);
    EXPECT_GE(view.IndexOf("uploadEnded:Cancelled"), 0);
}

TEST_F(UpgradeSequenceTest, NewVersionWithoutBootLineIsStillASuccess) {
    sim::SimOptions options = Healthy();
    options.omitBootLine = true;
    StartCharger(options);
    Upgrade();
    EXPECT_EQ(view.ChargerCode(), "2.10e");
    EXPECT_EQ(view.BootCode(), "");
    EXPECT_EQ(BoxTexts(), (Texts{kNoVersionBox}));  // identification's own box only
    const Texts statuses = view.Statuses();
    ASSERT_GE(statuses.size(), 2U);
    EXPECT_EQ(statuses[statuses.size() - 2], "Unable to get Version Information");
    EXPECT_EQ(statuses.back(), "Upgrade Successful");
}

// The largest image the file format allows: 513 blocks, so the number on the
// line wraps past 255 twice. The charger checks each block's number and CRC
// and then the whole image, and installs the version the image carries.
TEST_F(UpgradeSequenceTest, LargestImageIsSentWholeAndInstalled) {
    std::vector<std::uint8_t> code(ImageFile::kMaxCodeLength);
    for (std::size_t i = 0; i < code.size(); ++i) {
        code[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
    }
    const std::string tag = "VER:9.99z";
    std::copy(tag.begin(), tag.end(), code.begin() + 300);
    code[300 + tag.size()] = 0;
    const CFirmwareImage image(ImageFile::Build(code), "9.99z");
    ASSERT_EQ(image.BlockCount(), 513);
    StartCharger(Healthy());
    RunUpgrade(port, view, clock, image);
    const sim::SimLog log = charger->Log();
    ASSERT_EQ(log.blocks.size(), 513U);
    EXPECT_EQ(log.blocks[255].lineNumber, 0);  // block 256 goes out as 0
    EXPECT_EQ(log.blocks[512].lineNumber, 1);  // and block 513 as 1
    EXPECT_TRUE(log.finalImageSound);
    EXPECT_EQ(log.installedVersion, "9.99z");
    EXPECT_EQ(view.LastStatus(), "Upgrade Successful");
    EXPECT_NE(view.IndexOf("progress:513/513"), -1);
}

// A stop that comes during the pause after the opening leaves the charger as
// it was: no hand-over command, and so no CAN either.
TEST_F(UpgradeSequenceTest, StopDuringThePauseSendsNothing) {
    CPtyPeer& far = StartPeer();
    bool stop = false;
    clock.onSleep = [&](std::uint32_t ms) { stop = stop || ms == 500; };
    view.cancelWhen = [&] { return stop; };
    EXPECT_EQ(RunUpgrade(port, view, clock), UpgradeEnd::StoppedBeforeHandOver);
    EXPECT_EQ(clock.Sent(), "");
    EXPECT_EQ(far.Received(), "");
    EXPECT_TRUE(view.Statuses().empty());
    EXPECT_EQ(boxes.Count(), 0U);
    EXPECT_TRUE(view.readShown);
    EXPECT_FALSE(port.IsOpen());
}

// A stop while the versions are read after a finished upload: identification
// shows no verdict, and neither does the upgrade.
TEST_F(UpgradeSequenceTest, StopDuringTheCheckAfterTheUploadGivesNoVerdict) {
    StartCharger(Healthy());
    bool stop = false;
    view.onStatus = [&](const std::string& text) {
        stop = stop || text == "Reading Version Information";
    };
    view.cancelWhen = [&] { return stop; };
    EXPECT_EQ(RunUpgrade(port, view, clock), UpgradeEnd::StoppedDuringCheck);
    EXPECT_EQ(view.Statuses(), (Texts{"Upgrading", "Reading Version Information"}));
    EXPECT_EQ(boxes.Count(), 0U);
    EXPECT_EQ(charger->Log().eotReceived, 1);
    EXPECT_FALSE(port.IsOpen());
}

// The far end goes away mid-upload, as a pulled USB adapter does: the upload
// ends as soon as the reader has seen the line fail, with a box that names
// the block, and no version check follows.
TEST_F(UpgradeSequenceTest, VanishedDeviceEndsTheUpgradeAtOnce) {
    sim::SimOptions options = Healthy();
    options.hangUpAfterBlock = 30;
    StartCharger(options);
    int sleepsAtBlock30 = -1;
    view.onBlockSent = [&](int block) {
        if (block == 30) {
            sleepsAtBlock30 = clock.Sleeps();
            clock.replyWaitMs = 100;  // no answer is coming from here on
        }
    };
    EXPECT_EQ(RunUpgrade(port, view, clock), UpgradeEnd::Failed);
    ASSERT_GE(sleepsAtBlock30, 0);
    // A few idle polls at most, where a silent charger takes 201 and then a
    // whole identification.
    EXPECT_LT(clock.Sleeps() - sleepsAtBlock30, 20);
    EXPECT_EQ(view.Statuses(), (Texts{"Upgrading", "Upgrade Process Failed"}));
    EXPECT_GE(view.IndexOf("uploadEnded:Disconnected"), 0);
    EXPECT_EQ(BoxTexts().back(),
              "The adapter was disconnected at block 30 of 101.\nUpgrade Process Failed\n"
              "Plug the adapter back in, then start the upgrade again.");
    EXPECT_EQ(clock.Sent().find(kIdentifyRequest), std::string::npos);
    EXPECT_FALSE(port.IsOpen());
}

// A stop in the middle of the upload: the upload did not finish, and the
// sequence says so, not that the check after it was cut short.
TEST_F(UpgradeSequenceTest, StopDuringTheUploadIsNoFinishedUpload) {
    StartCharger(Healthy());
    int lastBlock = 0;
    view.onBlockSent = [&](int block) { lastBlock = block; };
    view.cancelWhen = [&] { return lastBlock >= 10; };
    EXPECT_EQ(RunUpgrade(port, view, clock), UpgradeEnd::StoppedDuringUpload);
    EXPECT_GE(view.IndexOf("uploadEnded:Cancelled"), 0);
    EXPECT_EQ(view.Statuses(), (Texts{"Upgrading"}));
    EXPECT_FALSE(port.IsOpen());
}

// A stop that comes as the adapter goes: the upload did not finish, so the
// sequence ends as the lost adapter ends it, never as a finished upload.
TEST_F(UpgradeSequenceTest, StopWithAPulledAdapterIsNoFinishedUpload) {
    sim::SimOptions options = Healthy();
    options.hangUpAfterBlock = 30;
    StartCharger(options);
    view.onBlockSent = [&](int block) {
        if (block == 30) {
            clock.replyWaitMs = 100;  // no answer is coming from here on
        }
    };
    view.cancelWhen = [&] { return view.IndexOf("uploadEnded:Disconnected") >= 0; };
    EXPECT_EQ(RunUpgrade(port, view, clock), UpgradeEnd::Failed);
    EXPECT_EQ(view.Statuses(), (Texts{"Upgrading", "Upgrade Process Failed"}));
    ASSERT_FALSE(BoxTexts().empty());
    EXPECT_EQ(BoxTexts().back(),
              "The adapter was disconnected at block 30 of 101.\nUpgrade Process Failed\n"
              "Plug the adapter back in, then start the upgrade again.");
    EXPECT_FALSE(port.IsOpen());
}

// Pulled during the pause after the opening, before the boot loader asked for
// anything: no block went out, so the box names none ("block 0 of 101" would
// send the technician looking for a block that never left).
TEST_F(UpgradeSequenceTest, AdapterGoneBeforeTheFirstBlockSaysSo) {
    CPtyPeer& far = StartPeer();
    clock.onSleep = [&](std::uint32_t ms) {
        if (ms == 500) {
            far.HangUp();
        }
    };
    EXPECT_EQ(RunUpgrade(port, view, clock), UpgradeEnd::Failed);
    EXPECT_EQ(view.Statuses(), (Texts{"Upgrading", "Upgrade Process Failed"}));
    EXPECT_GE(view.IndexOf("uploadEnded:Disconnected"), 0);
    ASSERT_FALSE(BoxTexts().empty());
    EXPECT_EQ(BoxTexts().back(),
              "The adapter was disconnected before the first block.\nUpgrade Process Failed\n"
              "Plug the adapter back in, then start the upgrade again.");
    EXPECT_EQ(clock.Sent().find('\x01'), std::string::npos);  // no block began
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(UpgradeSequenceTest, PortThatCannotBeOpenedDoesNothingElse) {
    port.SetPortName("/dev/corvane-no-such-port");
    Upgrade();
    EXPECT_EQ(view.Statuses(), (Texts{"Unable to Open Comm Port"}));
    EXPECT_EQ(view.events.front(), "read:hidden");
    EXPECT_EQ(view.events.back(), "read:shown");
    EXPECT_EQ(boxes.Count(), 1U);  // the port's own box
    EXPECT_EQ(clock.Sleeps(), 0);
    EXPECT_TRUE(view.progress.empty());
}

}  // namespace
