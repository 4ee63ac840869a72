// Identification through the real serial port, against the simulated charger
// or a scripted far end, in virtual time.
#include "protocol/Identification.h"

#include <gtest/gtest.h>

#include "ChargerFixture.h"
#include "platform/LastError.h"

namespace {

using Statuses = std::vector<std::string>;

class IdentificationTest : public ChargerFixture {
protected:
    void Read() { ReadChargerVersions(port, view, clock); }
};

// ---- replies that identify the charger --------------------------------------

TEST_F(IdentificationTest, TwoLineReplyCompletesInOneFullWindow) {
    StartCharger(Healthy());
    Read();
    EXPECT_EQ(view.BootCode(), "1.3");
    EXPECT_EQ(view.ChargerCode(), "2.09");
    EXPECT_EQ(view.Statuses(), (Statuses{"Starting Communications", "Reading Version Information",
                                         "Read Version Complete"}));
    EXPECT_TRUE(view.UpgradeShown());               // 2.09 differs from 2.10e
    EXPECT_EQ(clock.SleepLog(), AttemptSleeps(1));  // listens the whole 2000 ms
    EXPECT_EQ(clock.Sent(), kIdentifyRequest);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(boxes.Count(), 0U);
    const auto& events = view.Events();
    ASSERT_GE(events.size(), 2U);
    EXPECT_EQ(events.front(), "upgrade:hidden");
    EXPECT_EQ(events[events.size() - 2], "paintVersions");
    EXPECT_EQ(events.back(), "invalidate");
}

TEST_F(IdentificationTest, CarriedVersionHidesUpgrade) {
    sim::SimOptions options = Healthy();
    options.firmwareVersion = "2.10e";
    StartCharger(options);
    view.ChargerCode() = "stale";
    Read();
    EXPECT_EQ(view.ChargerCode(), "2.10e");
    EXPECT_EQ(view.LastStatus(), "Read Version Complete");
    EXPECT_FALSE(view.UpgradeShown());
    EXPECT_EQ(view.ButtonCalls(true), 1);  // hidden at the start, never shown
}

TEST_F(IdentificationTest, LowerCaseVersionLineIsIgnoredForFourAttempts) {
    sim::SimOptions options = Healthy();
    options.lowerCaseVersionLine = true;
    StartCharger(options);
    Read();
    EXPECT_EQ(view.BootCode(), "1.3");
    EXPECT_EQ(view.ChargerCode(), "");
    EXPECT_EQ(view.Statuses(), (Statuses{"Starting Communications", "Reading Version Information",
                                         "Retrying Identification", "Retrying Identification",
                                         "Retrying Identification", "Retrying Identification",
                                         "Read Version Complete"}));
    EXPECT_TRUE(view.UpgradeShown());  // an empty version differs too
    EXPECT_EQ(clock.Sent(), Repeat(kIdentifyRequest, 4));
    EXPECT_EQ(clock.TotalSleptMs(), 10400U);
    EXPECT_EQ(boxes.Count(), 0U);
}

TEST_F(IdentificationTest, SplitNoisyRepliesStillIdentify) {
    sim::SimOptions options = Healthy();
    options.splitReplyChunk = 3;
    options.splitReplyGapMs = 2;
    options.garbageBetweenReplies = 5;
    StartCharger(options);
    Read();
    EXPECT_EQ(view.BootCode(), "1.3");
    EXPECT_EQ(view.ChargerCode(), "2.09");
}

TEST_F(IdentificationTest, ThreeHundredCharacterLinesFromTheCharger) {
    sim::SimOptions options = Healthy();
    options.longLines = true;
    StartCharger(options);
    Read();
    EXPECT_EQ(view.LastStatus(), "Read Version Complete");
    EXPECT_EQ(view.BootCode(), "1.3");
    EXPECT_EQ(view.ChargerCode(), "2.09");
}

TEST_F(IdentificationTest, OnlyTheFirst127CharactersOfALineCount) {
    CPtyPeer& far = StartPeer();
    const std::string version(126, '9');
    const std::string longLine = "V" + version + "ABC" + std::string(170, 'x');  // 300 characters
    ASSERT_EQ(longLine.size(), 300U);
    far.Answer(kIdentifyRequest, {"Boot 1.3\r\n" + longLine + "\r\n"});
    Read();
    EXPECT_EQ(view.ChargerCode(), version);
    EXPECT_EQ(view.BootCode(), "1.3");
}

TEST_F(IdentificationTest, BootAloneThenBootstrapAcrossTwoAttempts) {
    CPtyPeer& far = StartPeer();
    far.Answer(kIdentifyRequest,
               {"deviceid X\r\nBoot\r\nv2.11\r\nV2.09 build 7\r\n", "Bootstrap 4\r\n"});
    Read();
    EXPECT_EQ(view.BootCode(), "4");
    EXPECT_EQ(view.ChargerCode(), "2.09");  // kept from the first attempt
    EXPECT_EQ(view.Statuses(), (Statuses{"Starting Communications", "Reading Version Information",
                                         "Retrying Identification", "Read Version Complete"}));
    EXPECT_EQ(far.Occurrences(kIdentifyRequest), 2);
}

TEST_F(IdentificationTest, BootInOneAttemptAndVersionInTheNextComplete) {
    CPtyPeer& far = StartPeer();
    far.Answer(kIdentifyRequest, {"BOOT 1.3\r\n", "V2.10e\r\n"});
    Read();
    EXPECT_EQ(view.BootCode(), "1.3");
    EXPECT_EQ(view.ChargerCode(), "2.10e");
    EXPECT_EQ(view.LastStatus(), "Read Version Complete");
    EXPECT_FALSE(view.UpgradeShown());
    EXPECT_EQ(clock.SleepLog(), AttemptSleeps(2));
}

TEST_F(IdentificationTest, BytesLeftFromAnEarlierCommandAreDiscarded) {
    CPtyPeer& far = StartPeer();
    // The ring outlives the port's opening: two prompts left in it would
    // read as a boot loader if each attempt did not start with an empty ring.
    ASSERT_TRUE(port.Open());
    far.Write("CC");
    port.Close();
    ASSERT_EQ(port.BytesAvailable(), 2);
    far.Answer(kIdentifyRequest, {"Boot 1.3\r\nV2.09\r\n"});
    Read();
    EXPECT_EQ(view.LastStatus(), "Read Version Complete");
    EXPECT_EQ(far.Occurrences(kIdentifyRequest), 1);
}

// ---- a charger without firmware -------------------------------------------------

TEST_F(IdentificationTest, DoubleStartByteMeansNoSoftwareWithoutARequest) {
    CPtyPeer& far = StartPeer();
    clock.onSleep = [&](std::uint32_t ms) {
        if (ms == 600) {
            far.Write("C");
        }
    };
    std::size_t boxesAtStatus = 99;
    view.onStatus = [&](const std::string& text) {
        if (text == "No Software Detected") {
            boxesAtStatus = boxes.Count();
        }
    };
    Read();
    EXPECT_EQ(clock.SleepLog(), (std::vector<std::uint32_t>{600, 600}));
    EXPECT_EQ(clock.Sent(), "");  // no request at all
    EXPECT_EQ(view.LastStatus(), "No Software Detected");
    EXPECT_TRUE(view.UpgradeShown());
    EXPECT_EQ(boxesAtStatus, 0U);  // the status first, then the box
    EXPECT_EQ(BoxTexts(), (Statuses{kNoSoftwareBox}));
}

TEST_F(IdentificationTest, SingleStartByteCostsASecondPauseThenAsks) {
    CPtyPeer& far = StartPeer();
    far.Answer(kIdentifyRequest, {"Boot 1.3\r\nV2.09\r\n"});
    clock.onSleep = [&](std::uint32_t ms) {
        if (ms == 600) {
            far.Write(clock.Sleeps() == 1 ? "C" : "x");
        }
    };
    Read();
    auto expected = AttemptSleeps(1);
    expected.insert(expected.begin(), 600);
    EXPECT_EQ(clock.SleepLog(), expected);  // 3.2 s
    EXPECT_EQ(view.LastStatus(), "Read Version Complete");
}

TEST_F(IdentificationTest, SimulatedBootLoaderIsRecognisedByItsPrompt) {
    sim::SimOptions options = Healthy();
    options.firmwareVersion = "";
    options.startIntervalMs = 5;
    StartCharger(options);
    // The boot loader prompts on its own: each pause ends with its "C" waiting.
    clock.onSleep = [&](std::uint32_t ms) {
        if (ms == 600) {
            EXPECT_TRUE(clock.WaitForReceived(1));
        }
    };
    Read();
    EXPECT_EQ(view.LastStatus(), "No Software Detected");
    EXPECT_TRUE(view.UpgradeShown());
    EXPECT_EQ(clock.Sent(), "");
    EXPECT_EQ(BoxTexts(), (Statuses{kNoSoftwareBox}));
}

TEST_F(IdentificationTest, NaksInsteadOfRepliesMeanNoSoftware) {
    sim::SimOptions options = Healthy();
    options.nakInsteadOfReplies = true;
    StartCharger(options);
    Read();
    EXPECT_EQ(view.LastStatus(), "No Software Detected");
    EXPECT_TRUE(view.UpgradeShown());
    EXPECT_EQ(BoxTexts(), (Statuses{kNoSoftwareBox}));
    EXPECT_EQ(clock.Sent(), Repeat(kIdentifyRequest, 4));
}

TEST_F(IdentificationTest, FourNaksOverFourAttemptsAreEnough) {
    CPtyPeer& far = StartPeer();
    far.Answer(kIdentifyRequest, {"\x15", "\x15", "V1\x15\r\n", "\x15"});
    Read();
    EXPECT_EQ(view.LastStatus(), "No Software Detected");
    EXPECT_EQ(BoxTexts(), (Statuses{kNoSoftwareBox}));
}

TEST_F(IdentificationTest, ThreeNaksAreNotEnough) {
    CPtyPeer& far = StartPeer();
    far.Answer(kIdentifyRequest, {"\x15", "", "\x15\x15", ""});
    Read();
    EXPECT_EQ(view.LastStatus(), "Unable to get Version Information");
    EXPECT_FALSE(view.UpgradeShown());
    EXPECT_EQ(BoxTexts(), (Statuses{kNoVersionBox}));
}

// ---- no answer, no port --------------------------------------------------------

TEST_F(IdentificationTest, SilentChargerAfterFourAttemptsShowsTheFiveSecondBox) {
    sim::SimOptions options = Healthy();
    options.neverSpeak = true;
    StartCharger(options);
    clock.replyWaitMs = 100;  // no answer is coming
    std::size_t boxesAtStatus = 99;
    view.onStatus = [&](const std::string& text) {
        if (text == "Unable to get Version Information") {
            boxesAtStatus = boxes.Count();
        }
    };
    platform::SetLastError(2);  // left over from something unrelated
    Read();
    EXPECT_EQ(clock.SleepLog(), AttemptSleeps(4));  // 10.4 s
    EXPECT_EQ(clock.Sent(), Repeat(kIdentifyRequest, 4));
    EXPECT_EQ(view.LastStatus(), "Unable to get Version Information");
    EXPECT_EQ(boxesAtStatus, 1U);                      // the box first, then the status
    EXPECT_EQ(BoxTexts(), (Statuses{kNoVersionBox}));  // no stale system error around it
    EXPECT_FALSE(view.UpgradeShown());
    EXPECT_EQ(view.BootCode(), "");
    EXPECT_EQ(view.ChargerCode(), "");
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(IdentificationTest, PortThatCannotBeOpenedSendsNothing) {
    port.SetPortName("/dev/corvane-no-such-port");
    view.BootCode() = "1.0";
    view.ChargerCode() = "1.0";
    Read();
    EXPECT_EQ(view.Statuses(),
              (Statuses{"Starting Communications", "No Communications With Charger"}));
    EXPECT_EQ(boxes.Count(), 1U);  // the port's own box
    EXPECT_EQ(clock.Sleeps(), 0);
    EXPECT_FALSE(view.UpgradeShown());
    EXPECT_EQ(view.BootCode(), "");
    EXPECT_EQ(view.ChargerCode(), "");
    EXPECT_EQ(view.Events().back(), "invalidate");
}

TEST_F(IdentificationTest, OpenPortIsUsedAsItIsAndClosed) {
    StartCharger(Healthy());
    ASSERT_TRUE(port.Open());
    Read();
    EXPECT_EQ(view.Statuses(), (Statuses{"Reading Version Information", "Read Version Complete"}));
    EXPECT_FALSE(port.IsOpen());
}

// ---- the user stops the command -----------------------------------------------

TEST_F(IdentificationTest, UserStopEndsWithoutVerdictOrBox) {
    sim::SimOptions options = Healthy();
    options.neverSpeak = true;  // would otherwise take four full attempts
    StartCharger(options);
    view.cancelWhen = [this] { return clock.NowMs() >= 1000 + 2500; };
    Read();
    EXPECT_EQ(view.LastStatus(), "Reading Version Information");
    EXPECT_EQ(boxes.Count(), 0U);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(clock.Sent(), kIdentifyRequest);  // one attempt, no second request
}

}  // namespace
