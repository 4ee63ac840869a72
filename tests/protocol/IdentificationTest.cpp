// Identification through the real serial port, against the simulated charger
// or a scripted far end, in virtual time.
#include "protocol/Identification.h"

#include <gtest/gtest.h>

#include <functional>

#include "ChargerFixture.h"
#include "platform/LastError.h"

namespace {

class IdentificationTest : public ChargerFixture {
protected:
    void Read() { ReadChargerVersions(port, view, clock); }
};

// ---- whole reads, against the simulator or a scripted far end ---------------

struct ReadCase {
    const char* name;
    std::function<void(sim::SimOptions&)> sim;  // empty: the scripted far end plays
    Texts replies;                              // its answers to successive requests
    std::string atPauses;                       // and the byte it sends at each pause before one
    std::string boot, charger, verdict, box;
    bool upgradeShown;
    int extraPauses;  // pauses beyond one per request
    int requests;
    int retries;  // "Retrying Identification" statuses
};

const std::string kLongVersion(126, '9');

// clang-format off
const ReadCase kReadCases[] = {
    // One attempt of the full window; 2.09 differs from the carried 2.10e.
    {"TwoLineReplyInOneFullWindow", [](auto&) {}, {}, "",
     "1.3", "2.09", "Read Version Complete", "", true, 0, 1, 0},
    {"CarriedVersionHidesUpgrade", [](auto& o) { o.firmwareVersion = "2.10e"; }, {}, "",
     "1.3", "2.10e", "Read Version Complete", "", false, 0, 1, 0},
    {"LowerCaseVersionLineIsIgnored", [](auto& o) { o.lowerCaseVersionLine = true; }, {}, "",
     "1.3", "", "Read Version Complete", "", true, 0, 4, 4},
    {"SplitNoisyReplies", [](auto& o) { o.splitReplyChunk = 3; o.splitReplyGapMs = 2;
                                        o.garbageBetweenReplies = 5; }, {}, "",
     "1.3", "2.09", "Read Version Complete", "", true, 0, 1, 0},
    {"ThreeHundredCharacterLines", [](auto& o) { o.longLines = true; }, {}, "",
     "1.3", "2.09", "Read Version Complete", "", true, 0, 1, 0},
    {"OnlyNaks", [](auto& o) { o.nakInsteadOfReplies = true; }, {}, "",
     "", "", "No Software Detected", kNoSoftwareBox, true, 0, 4, 4},
    // No byte over four attempts: the box first, then the status.
    {"SilentCharger", [](auto& o) { o.neverSpeak = true; }, {}, "",
     "", "", "Unable to get Version Information", kNoVersionBox, false, 0, 4, 4},
    // Only the first 127 characters of a 300-character line count.
    {"LongLineCutAt127", {},
     {"Boot 1.3\r\nV" + kLongVersion + "ABC" + std::string(170, 'x') + "\r\n"}, "",
     "1.3", kLongVersion, "Read Version Complete", "", true, 0, 1, 0},
    // Versions are kept over attempts; a later "Boot" line overrides.
    {"BootAloneThenBootstrap", {},
     {"deviceid X\r\nBoot\r\nv2.11\r\nV2.09 build 7\r\n", "Bootstrap 4\r\n"}, "",
     "4", "2.09", "Read Version Complete", "", true, 0, 2, 1},
    {"BootThenVersionInTheNextAttempt", {}, {"BOOT 1.3\r\n", "V2.10e\r\n"}, "",
     "1.3", "2.10e", "Read Version Complete", "", false, 0, 2, 1},
    {"FourNaksOverFourAttempts", {}, {"\x15", "\x15", "V1\x15\r\n", "\x15"}, "",
     "", "1", "No Software Detected", kNoSoftwareBox, true, 0, 4, 4},
    {"ThreeNaksAreNotEnough", {}, {"\x15", "", "\x15\x15", ""}, "",
     "", "", "Unable to get Version Information", kNoVersionBox, false, 0, 4, 4},
    // "C" twice: no request at all, the status first, then the box.
    {"DoubleStartByteMeansNoSoftware", {}, {}, "CC",
     "", "", "No Software Detected", kNoSoftwareBox, true, 2, 0, 0},
    // "C" once costs a second pause, then the request goes out.
    {"SingleStartByteThenAsks", {}, {"Boot 1.3\r\nV2.09\r\n"}, "Cx",
     "1.3", "2.09", "Read Version Complete", "", true, 1, 1, 0},
};
// clang-format on

class ReadCaseTest : public IdentificationTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadCaseTest, Outcome) {
    const ReadCase& c = GetParam();
    if (c.sim) {
        sim::SimOptions options = Healthy();
        c.sim(options);
        StartCharger(options);
        clock.replyWaitMs = options.neverSpeak ? 100 : clock.replyWaitMs;
    } else {
        CPtyPeer& far = StartPeer();
        far.Answer(kIdentifyRequest, c.replies);
        clock.onSleep = [&far, &c, pause = std::size_t{0}](std::uint32_t ms) mutable {
            if (ms == 600 && pause < c.atPauses.size()) {
                far.Write(c.atPauses.substr(pause++, 1));
            }
        };
    }
    std::size_t boxesAtVerdict = 99;
    view.onStatus = [&](const std::string& text) {
        boxesAtVerdict = text == c.verdict ? boxes.Count() : boxesAtVerdict;
    };
    view.ChargerCode() = "stale";
    platform::SetLastError(2);  // left over from something unrelated
    Read();
    EXPECT_EQ(view.BootCode(), c.boot);
    EXPECT_EQ(view.ChargerCode(), c.charger);
    Texts statuses{"Starting Communications", "Reading Version Information"};
    statuses.insert(statuses.end(), c.retries, "Retrying Identification");
    statuses.push_back(c.verdict);
    EXPECT_EQ(view.Statuses(), statuses);
    EXPECT_EQ(view.upgradeShown, c.upgradeShown);
    EXPECT_EQ(view.IndexOf("upgrade:shown") >= 0, c.upgradeShown);  // never shown, then hidden
    EXPECT_EQ(BoxTexts(), c.box.empty() ? Texts{} : Texts{c.box});  // no stale system error
    EXPECT_EQ(boxesAtVerdict, c.box == kNoVersionBox ? 1U : 0U);
    std::string requests;
    std::vector<std::uint32_t> sleeps(static_cast<std::size_t>(c.extraPauses), 600);
    for (int attempt = 0; attempt < c.requests; ++attempt) {
        requests += kIdentifyRequest;
        sleeps.push_back(600);                 // the pause before the request,
        sleeps.insert(sleeps.end(), 200, 10);  // then the whole window of 200 polls
    }
    EXPECT_EQ(clock.Sent(), requests);
    EXPECT_EQ(clock.SleepLog(), sleeps);
    EXPECT_FALSE(port.IsOpen());
    ASSERT_GE(view.events.size(), 3U);
    EXPECT_EQ(view.events.front(), "upgrade:hidden");
    EXPECT_EQ(view.events[view.events.size() - 2], "paintVersions");
    EXPECT_EQ(view.events.back(), "invalidate");
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

// The adapter pulled after the "Boot" line and before the "V" line: the read
// did not complete, so no "Read Version Complete" and no Upgrade on offer.
TEST_F(IdentificationTest, PortLostAfterTheBootLineIsAFailure) {
    CPtyPeer& far = StartPeer();
    far.Answer(kIdentifyRequest, {"Boot 1.02\r\n"});
    clock.onSleep = [&](std::uint32_t ms) {
        if (ms == 10 && view.BootCode() == "1.02" && !port.IsLost()) {
            far.HangUp();
        }
    };
    Read();
    EXPECT_EQ(view.LastStatus(), "Unable to get Version Information");
    EXPECT_FALSE(view.upgradeShown);
    ASSERT_FALSE(BoxTexts().empty());
    EXPECT_EQ(BoxTexts().back(),
              "Unable to get Version Information\nThe adapter was disconnected.\n"
              "Plug it back in and try again.");
    EXPECT_EQ(far.Occurrences(kIdentifyRequest), 1);
    EXPECT_FALSE(port.IsOpen());
}

// ---- no port, a stop by the user ----------------------------------------------

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
