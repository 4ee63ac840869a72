// Identification through the real serial port, against the simulated charger
// or a scripted far end, in virtual time.
#include "protocol/Identification.h"

#include <gtest/gtest.h>

#include <functional>

#include "ChargerFixture.h"
#include "platform/LastError.h"

namespace {

std::string Requests(int count) {
    std::string line;
    for (int i = 0; i < count; ++i) {
        line += kIdentifyRequest;
    }
    return line;
}

class IdentificationTest : public ChargerFixture {
protected:
    void Read() { ReadChargerVersions(port, view, clock); }
};

TEST_F(IdentificationTest, TwoLineReplyCompletesInOneFullWindow) {
    StartCharger(Healthy());
    Read();
    EXPECT_EQ(view.BootCode(), "1.3");
    EXPECT_EQ(view.ChargerCode(), "2.09");
    EXPECT_EQ(view.Statuses(), (Texts{"Starting Communications", "Reading Version Information",
                                      "Read Version Complete"}));
    EXPECT_TRUE(view.upgradeShown);                 // 2.09 differs from 2.10e
    EXPECT_EQ(clock.SleepLog(), AttemptSleeps(1));  // listens the whole 2000 ms
    EXPECT_EQ(clock.Sent(), kIdentifyRequest);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(boxes.Count(), 0U);
    ASSERT_GE(view.events.size(), 2U);
    EXPECT_EQ(view.events.front(), "upgrade:hidden");
    EXPECT_EQ(view.events[view.events.size() - 2], "paintVersions");
    EXPECT_EQ(view.events.back(), "invalidate");
}

// ---- replies over whole attempts, from the simulator or a scripted far end -----

struct ReadCase {
    const char* name;
    std::function<void(sim::SimOptions&)> sim;  // empty: the scripted far end plays
    Texts replies;                              // its answers to successive requests
    std::string boot, charger, verdict, box;
    bool upgradeShown;
    int requests;
    int retries;  // "Retrying Identification" statuses
};

const std::string kLongVersion(126, '9');

// clang-format off
const ReadCase kReadCases[] = {
    {"CarriedVersionHidesUpgrade", [](auto& o) { o.firmwareVersion = "2.10e"; }, {},
     "1.3", "2.10e", "Read Version Complete", "", false, 1, 0},
    {"LowerCaseVersionLineIsIgnored", [](auto& o) { o.lowerCaseVersionLine = true; }, {},
     "1.3", "", "Read Version Complete", "", true, 4, 4},
    {"SplitNoisyReplies", [](auto& o) { o.splitReplyChunk = 3; o.splitReplyGapMs = 2;
                                        o.garbageBetweenReplies = 5; }, {},
     "1.3", "2.09", "Read Version Complete", "", true, 1, 0},
    {"ThreeHundredCharacterLines", [](auto& o) { o.longLines = true; }, {},
     "1.3", "2.09", "Read Version Complete", "", true, 1, 0},
    {"OnlyNaks", [](auto& o) { o.nakInsteadOfReplies = true; }, {},
     "", "", "No Software Detected", kNoSoftwareBox, true, 4, 4},
    // Only the first 127 characters of a 300-character line count.
    {"LongLineCutAt127", {},
     {"Boot 1.3\r\nV" + kLongVersion + "ABC" + std::string(170, 'x') + "\r\n"},
     "1.3", kLongVersion, "Read Version Complete", "", true, 1, 0},
    // Versions are kept over attempts; a later "Boot" line overrides.
    {"BootAloneThenBootstrap", {},
     {"deviceid X\r\nBoot\r\nv2.11\r\nV2.09 build 7\r\n", "Bootstrap 4\r\n"},
     "4", "2.09", "Read Version Complete", "", true, 2, 1},
    {"BootThenVersionInTheNextAttempt", {}, {"BOOT 1.3\r\n", "V2.10e\r\n"},
     "1.3", "2.10e", "Read Version Complete", "", false, 2, 1},
    {"FourNaksOverFourAttempts", {}, {"\x15", "\x15", "V1\x15\r\n", "\x15"},
     "", "1", "No Software Detected", kNoSoftwareBox, true, 4, 4},
    {"ThreeNaksAreNotEnough", {}, {"\x15", "", "\x15\x15", ""},
     "", "", "Unable to get Version Information", kNoVersionBox, false, 4, 4},
};
// clang-format on

class ReadCaseTest : public IdentificationTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadCaseTest, Outcome) {
    const ReadCase& c = GetParam();
    if (c.sim) {
        sim::SimOptions options = Healthy();
        c.sim(options);
        StartCharger(options);
    } else {
        StartPeer().Answer(kIdentifyRequest, c.replies);
    }
    view.ChargerCode() = "stale";
    Read();
    EXPECT_EQ(view.BootCode(), c.boot);
    EXPECT_EQ(view.ChargerCode(), c.charger);
    Texts statuses{"Starting Communications", "Reading Version Information"};
    statuses.insert(statuses.end(), c.retries, "Retrying Identification");
    statuses.push_back(c.verdict);
    EXPECT_EQ(view.Statuses(), statuses);
    EXPECT_EQ(view.upgradeShown, c.upgradeShown);
    EXPECT_EQ(view.IndexOf("upgrade:shown") >= 0, c.upgradeShown);  // never shown, then hidden
    EXPECT_EQ(BoxTexts(), c.box.empty() ? Texts{} : Texts{c.box});
    EXPECT_EQ(clock.Sent(), Requests(c.requests));
    EXPECT_EQ(clock.SleepLog(), AttemptSleeps(c.requests));
}

INSTANTIATE_TEST_SUITE_P(Replies, ReadCaseTest, ::testing::ValuesIn(kReadCases),
                         [](const auto& p) { return std::string(p.param.name); });

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
    EXPECT_TRUE(view.upgradeShown);
    EXPECT_EQ(boxesAtStatus, 0U);  // the status first, then the box
    EXPECT_EQ(BoxTexts(), (Texts{kNoSoftwareBox}));
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
    EXPECT_EQ(clock.Sent(), Requests(4));
    EXPECT_EQ(view.LastStatus(), "Unable to get Version Information");
    EXPECT_EQ(boxesAtStatus, 1U);                   // the box first, then the status
    EXPECT_EQ(BoxTexts(), (Texts{kNoVersionBox}));  // no stale system error around it
    EXPECT_FALSE(view.upgradeShown);
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
              (Texts{"Starting Communications", "No Communications With Charger"}));
    EXPECT_EQ(boxes.Count(), 1U);  // the port's own box
    EXPECT_EQ(clock.Sleeps(), 0);
    EXPECT_FALSE(view.upgradeShown);
    EXPECT_EQ(view.BootCode(), "");
    EXPECT_EQ(view.ChargerCode(), "");
    EXPECT_EQ(view.events.back(), "invalidate");
}

TEST_F(IdentificationTest, OpenPortIsUsedAsItIsAndClosed) {
    StartCharger(Healthy());
    ASSERT_TRUE(port.Open());
    Read();
    EXPECT_EQ(view.Statuses(), (Texts{"Reading Version Information", "Read Version Complete"}));
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
