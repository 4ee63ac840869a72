// The session log: where it goes, what one line says, and that a line stays
// one line whatever the port is called.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>

#include "CliHarness.h"
#include "cli/SessionLog.h"

namespace {

using clitest::Lines;

// Sets an environment variable for one test and puts the old value back.
class CEnvValue {
public:
    CEnvValue(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
        ::setenv(name, value.c_str(), 1);
    }
    ~CEnvValue() {
        if (m_old) {
            ::setenv(m_name, m_old->c_str(), 1);
        } else {
            ::unsetenv(m_name);
        }
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

UpgradeRecord SampleRecord() {
    UpgradeRecord record;
    record.port = "COM2";
    record.device = "/dev/ttyUSB0";
    record.versionBefore = "2.09";
    record.versionAfter = "2.10e";
    record.blocks = 101;
    record.resends = 4;
    record.outcome = "Upgrade Successful";
    return record;
}

TEST(SessionLog, LineNamesTimePortDeviceVersionsBlocksResendsAndOutcome) {
    const std::string line = FormatSessionLine(SampleRecord(), "2024-05-01T09:30:00+0200");
    EXPECT_EQ(line,
              "2024-05-01T09:30:00+0200 port=\"COM2\" device=\"/dev/ttyUSB0\" before=2.09 "
              "after=2.10e blocks=101 resends=4 outcome=\"Upgrade Successful\"");
}

TEST(SessionLog, MissingVersionsAndOddPortNamesKeepTheLineParseable) {
    UpgradeRecord record = SampleRecord();
    record.versionBefore.clear();
    record.versionAfter.clear();
    record.port = "my port\n\"two\"";
    record.device = "/dev/serial/by-id/usb-A B";
    const std::string line = FormatSessionLine(record, "T");
    EXPECT_EQ(line.find('\n'), std::string::npos) << line;
    const std::regex shape(
        "T port=\"(.*)\" device=\"(.*)\" before=- after=- blocks=101 resends=4 "
        "outcome=\"Upgrade Successful\"");
    std::smatch fields;
    ASSERT_TRUE(std::regex_match(line, fields, shape)) << line;
    EXPECT_EQ(fields[2].str(), record.device);
}

TEST(SessionLog, GoesToTheStateFolderOrItsDefault) {
    testkit::CScratchDir home;
    CEnvValue homeValue("HOME", home.Path());
    {
        CEnvValue state("XDG_STATE_HOME", "/var/tmp/somewhere");
        EXPECT_EQ(SessionLogPath(), "/var/tmp/somewhere/corvane/upgrade.log");
    }
    {
        // A relative value is not a valid base directory and is ignored.
        CEnvValue state("XDG_STATE_HOME", "relative/state");
        EXPECT_EQ(SessionLogPath(), home.Path() + "/.local/state/corvane/upgrade.log");
    }
}

TEST(SessionLog, AppendsOneLinePerUpgradeAndCreatesTheFolder) {
    testkit::CScratchDir dir;
    CEnvValue state("XDG_STATE_HOME", dir.Path() + "/new/state");
    std::string message;
    ASSERT_TRUE(AppendSessionLog(SampleRecord(), message)) << message;
    UpgradeRecord failed = SampleRecord();
    failed.outcome = "Upgrade Process Failed";
    ASSERT_TRUE(AppendSessionLog(failed, message)) << message;

    std::ifstream in(SessionLogPath());
    std::stringstream text;
    text << in.rdbuf();
    const auto lines = Lines(text.str());
    ASSERT_EQ(lines.size(), 2u) << text.str();
    EXPECT_TRUE(
        std::regex_search(lines[0], std::regex("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d")))
        << lines[0];
    EXPECT_TRUE(clitest::Contains(lines[1], "outcome=\"Upgrade Process Failed\"")) << lines[1];
}

TEST(SessionLog, UnwritableLogIsReportedNotThrown) {
    testkit::CScratchDir dir;
    const std::string blocker = dir.Path() + "/file";
    std::ofstream(blocker) << "x";
    CEnvValue state("XDG_STATE_HOME", blocker);  // a file where the folder should be
    std::string message;
    EXPECT_FALSE(AppendSessionLog(SampleRecord(), message));
    EXPECT_FALSE(message.empty());
}

}  // namespace
