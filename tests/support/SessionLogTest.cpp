// The old session log: where it was, what one line said, and that a line stays
// one line whatever the port is called.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "TestKit.h"
#include "support/SessionLog.h"

namespace {

// Sets an environment variable for one scope and puts the old value back.
class CEnvValue {
public:
    CEnvValue(const char* name, const std::string& value)
        : m_name(name), m_had(std::getenv(name) != nullptr), m_old(m_had ? std::getenv(name) : "") {
        ::setenv(name, value.c_str(), 1);
    }
    ~CEnvValue() { m_had ? ::setenv(m_name, m_old.c_str(), 1) : ::unsetenv(m_name); }

private:
    const char* m_name;
    bool m_had;
    std::string m_old;
};

const UpgradeRecord kRecord = {"COM2", "/dev/ttyUSB0",       "2.09",  "2.10e", 101,
                               4,      "Upgrade Successful", "2.10e", 12810,   "20C5",
                               ""};

TEST(SessionLog, LineNamesTimePortDeviceImageVersionsBlocksResendsAndOutcome) {
    EXPECT_EQ(FormatSessionLine(kRecord, "2024-05-01T09:30:00+0200"),
              "2024-05-01T09:30:00+0200 port=\"COM2\" device=\"/dev/ttyUSB0\" image=\"2.10e\" "
              "bytes=12810 crc=20C5 file=- before=2.09 after=2.10e blocks=101 resends=4 "
              "outcome=\"Upgrade Successful\"");

    // Missing versions and odd port names keep the line one parseable line.
    UpgradeRecord odd = kRecord;
    odd.port = "my port\n\"two\"";
    odd.device = "/dev/serial/by-id/usb-A B";
    odd.versionBefore = odd.versionAfter = odd.imageLabel = odd.imageCrc = "";
    odd.imageBytes = 0;
    const std::string line = FormatSessionLine(odd, "T");
    EXPECT_EQ(line.find('\n'), std::string::npos) << line;
    std::smatch fields;
    ASSERT_TRUE(std::regex_match(line, fields,
                                 std::regex("T port=\"(.*)\" device=\"(.*)\" image=\"\" "
                                            "bytes=0 crc=- file=- before=- after=- "
                                            "blocks=101 resends=4 outcome=\"Upgrade Successful\"")))
        << line;
    EXPECT_EQ(fields[2].str(), odd.device);

    // It is named in the state folder, or its default.
    testkit::CScratchDir home;
    CEnvValue homeValue("HOME", home.Path());
    {
        // A relative value is not a valid base directory and is ignored.
        CEnvValue state("XDG_STATE_HOME", "relative/state");
        EXPECT_EQ(SessionLogPath(), home.Path() + "/.local/state/corvane/upgrade.log");
    }
    CEnvValue state("XDG_STATE_HOME", home.Path() + "/new/state");
    EXPECT_EQ(SessionLogPath(), home.Path() + "/new/state/corvane/upgrade.log");
}

}  // namespace
