// --simulate: every named scenario of the built-in charger, with the
// commands that mean something for it, ends with the right status, box,
// service record and exit code.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>

#include "CliHarness.h"

namespace clitest {
namespace {

struct Scenario {
    const char* name;
    const char* args;
    int code;
    const char* lastStatus;
    const char* inOut = "";  // a pattern stdout holds
    const char* inErr = "";  // what stderr holds (the box)
    // A pattern the one service record holds; null: no record at all.
    const char* inLog = "";
};

const Scenario kScenarios[] = {
    {"DefaultIsOldFirmware", "--simulate read", 0, "Read Version Complete",
     "Charger Code: +2\\.09\n", "",
     "^\\{[^{]*\"tool\":\"cli\",\"port\":\"simulated\",\"device\":\"/dev/pts/\\d+\",\"byId\":\"\","
     "\"deviceId\":\"VC-4017-0032\",\"bootCode\":\"1\\.3\",\"before\":\"2\\.09\",\"after\":\"2\\."
     "09\".*"
     "\"outcome\":\"read\",\"reason\":\"\",.*,\"simulated\":true\\}$"},
    // The last status shows that nothing beyond the read ran.
    {"CurrentNeedsNoUpgrade", "--simulate=current upgrade --if-needed", 0, "Read Version Complete",
     "", "", "\"outcome\":\"current\""},
    {"NoFirmwareRead", "--simulate=no-firmware read", 1, "No Software Detected", "",
     "No software detected in the charger", "\"before\":\"\",\"after\":\"\".*\"outcome\":\"read\""},
    {"NoFirmwareNeedsTheUpgrade", "--simulate=no-firmware upgrade --if-needed", 0,
     "Upgrade Successful", "(^|\n)Upgrading\n"},
    {"NoisyRead", "--simulate=noisy read", 0, "Read Version Complete"},
    // NAKs on the way are resent, counted, and still end in success.
    {"NoisyUpgrade", "--simulate=noisy upgrade", 0, "Upgrade Successful", "", "",
     "\"after\":\"2\\.10e\",.*\"blocks\":101,\"resends\":[1-9],.*\"simulated\":true\\}$"},
    {"CancelledUpload", "--simulate=cancel upgrade", 1, "Upgrade Process Failed", "",
     "Upgrade Process Failed\nPlease unplug the charger for 10 seconds",
     "\"after\":\"2\\.09\",.*\"outcome\":\"failed\",\"reason\":\"Upgrade Process Failed\""},
    {"Silent", "--simulate=silent read", 4, "Unable to get Version Information", "",
     "Unable to get Version Information\nPlease unplug the charger for 5 seconds", nullptr},
};

// The last status: the version panel's lines are headings or indented.
std::string LastStatus(const std::string& out) {
    std::string last;
    for (const auto& line : Lines(out)) {
        if (line != "Current Version" && line != "Upgrade Version" && line.rfind(' ', 0) != 0) {
            last = line;
        }
    }
    return last;
}

class Simulate : public CCliTest, public ::testing::WithParamInterface<Scenario> {};

TEST_P(Simulate, EndsWithTheScenariosStatusAndCode) {
    const Scenario& s = GetParam();
    const CliResult r = RunCli(Words(s.args), 45000);
    EXPECT_EQ(r.code, s.code) << r;
    EXPECT_EQ(LastStatus(r.out), s.lastStatus) << r;
    EXPECT_TRUE(std::regex_search(r.out, std::regex(s.inOut))) << s.inOut << "\n" << r;
    EXPECT_TRUE(Contains(r.err, s.inErr)) << r;
    const auto log = RecordLines();
    if (s.inLog == nullptr) {
        EXPECT_TRUE(log.empty()) << "a charger that never answered is not recorded";
    } else if (*s.inLog != '\0') {
        ASSERT_EQ(log.size(), 1u);
        EXPECT_TRUE(std::regex_search(log[0], std::regex(s.inLog))) << log[0];
    }
    // The scenario lives for this run only: nothing about it is stored.
    std::ifstream settings(m_config + "/Veltra/Corvane.ini");
    const std::string stored{std::istreambuf_iterator<char>(settings), {}};
    EXPECT_FALSE(Contains(stored, "/dev/pts")) << stored;
}

INSTANTIATE_TEST_SUITE_P(Scenarios, Simulate, ::testing::ValuesIn(kScenarios),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace clitest
