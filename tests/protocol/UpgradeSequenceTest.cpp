// The whole upgrade through the real serial port, against the simulated
// charger or a scripted far end, in virtual time.
#include "protocol/UpgradeSequence.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "ChargerFixture.h"
#include "XmodemRecord.h"
#include "protocol/BlockUpload.h"
#include "protocol/UpgradeImage.h"

namespace {

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
    EXPECT_TRUE(view.readShown);
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
    EXPECT_EQ(sent.size(), expected.size());
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
