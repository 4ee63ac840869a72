// Exit codes and the words a technician gets when something is wrong: the
// command line, the port, the charger or a file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "CliHarness.h"

namespace clitest {
namespace {

constexpr uid_t kNobody = 65534;
constexpr gid_t kNoGroup = 65534;

using ExitCodes = CCliTest;

TEST_F(ExitCodes, UsageErrorsAreTwo) {
    const std::vector<std::vector<std::string>> wrong = {
        {"bogus"},
        {"--bogus", "read"},
        {},
        {"read", "extra"},
        {"monitor", "--count", "-1"},
        {"monitor", "--count", "many"},
        {"crc"},
        {"--simulate=nonsense", "read"},
        {"ports", "--map", "COM9=/dev/ttyUSB0"},
        {"ports", "--map", "COM2"},
    };
    for (const auto& args : wrong) {
        const CliResult r = RunCli(args);
        std::string shown;
        for (const auto& a : args) {
            shown += a + " ";
        }
        EXPECT_EQ(r.code, 2) << shown << "\n" << Describe(r);
        EXPECT_FALSE(r.err.empty()) << shown << ": a usage error says what is wrong";
    }
}

TEST_F(ExitCodes, MissingDeviceIsThreeAndSaysSo) {
    const std::string absent = m_work + "/ttyUSB9";
    for (const char* command : {"read", "upgrade", "monitor"}) {
        const CliResult r = RunCli({"--port", absent, command});
        EXPECT_EQ(r.code, 3) << command << "\n" << Describe(r);
        EXPECT_TRUE(Contains(r.err, absent + " does not exist")) << command << "\n" << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(SessionLogPath()))
        << "an upgrade that never opened the port is no session";
}

// Another program holds the device (here: this test, with the same lock a
// serial program takes); the message names it.
TEST_F(ExitCodes, BusyDeviceIsThreeAndNamesTheHolder) {
    testkit::CPtyPair pty;
    const int held = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    const CliResult r = RunCli({"--port", pty.SlavePath(), "read"});
    ::close(held);
    EXPECT_EQ(r.code, 3) << Describe(r);
    EXPECT_TRUE(Contains(r.err, pty.SlavePath() + " is in use by")) << r.err;
    EXPECT_TRUE(Contains(r.err, "(pid " + std::to_string(::getpid()) + ")")) << r.err;
}

// The device belongs to a group the user is not in. As root the command runs
// as nobody; as anyone else the device is made unreadable to its owner.
TEST_F(ExitCodes, PermissionDeniedIsThreeAndNamesTheGroupAndTheFix) {
    testkit::CPtyPair pty;
    const std::string& path = pty.SlavePath();
    ProcessSpec spec = CliSpec({"--port", path, "read"});
    if (::geteuid() == 0) {
        if (!CanRunAs(kNobody, kNoGroup)) {
            GTEST_SKIP() << "cannot drop privileges to nobody here";
        }
        const group* dialout = ::getgrnam("dialout");
        const gid_t gid = dialout != nullptr ? dialout->gr_gid : 0;
        ASSERT_EQ(::chown(path.c_str(), 0, gid), 0);
        ASSERT_EQ(::chmod(path.c_str(), 0660), 0);
        // nobody must be able to reach the program and its scratch home.
        ::chmod(m_scratch.Path().c_str(), 0777);
        for (const auto& dir : {m_config, m_state, m_work}) {
            ::chmod(dir.c_str(), 0777);
        }
        spec.runAs = std::make_pair(kNobody, kNoGroup);
    } else {
        ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    }
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    const group* owner = ::getgrgid(info.st_gid);
    ASSERT_NE(owner, nullptr);

    const CliResult r = RunCli(spec, 30000);
    EXPECT_EQ(r.code, 3) << Describe(r);
    EXPECT_TRUE(Contains(r.err, "Permission denied")) << r.err;
    EXPECT_TRUE(Contains(r.err, std::string("'") + owner->gr_name + "'")) << r.err;
    EXPECT_TRUE(Contains(r.err, std::string("usermod -aG ") + owner->gr_name)) << r.err;
    EXPECT_TRUE(Contains(r.err, "log out and in again")) << r.err;
}

TEST_F(ExitCodes, ChargerThatNeverAnswersIsFour) {
    const std::string device = StartSim({"--never-speak", "--no-pacing"});
    const CliResult r = RunCli({"--json", "--port", device, "read"});
    EXPECT_EQ(r.code, 4) << Describe(r);
    const QJsonObject json = ParseJsonLine(r.out);
    EXPECT_EQ(json["verdict"].toString(), "no-communication");
    const auto statuses = Strings(json["statuses"].toArray());
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses.back(), "Unable to get Version Information");
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), "Retrying Identification"), 4);
    EXPECT_TRUE(Contains(r.err,
                         "Unable to get Version Information\nPlease unplug the charger "
                         "for 5 seconds"))
        << r.err;
}

TEST_F(ExitCodes, ChargerWithoutFirmwareIsOne) {
    const std::string device = StartSim({"--no-firmware", "--no-pacing"});
    const CliResult r = RunCli({"--port", device, "read"});
    EXPECT_EQ(r.code, 1) << Describe(r);
    EXPECT_TRUE(Contains(r.out, "No Software Detected\n")) << r.out;
    EXPECT_TRUE(Contains(r.err, "No software detected in the charger")) << r.err;
}

TEST_F(ExitCodes, FileErrorsAreFive) {
    const CliResult crc = RunCli({"crc", "absent.bin"});
    EXPECT_EQ(crc.code, 5) << Describe(crc);
    EXPECT_FALSE(crc.err.empty());

    const CliResult exported = RunCli({"export", m_work + "/no/such/folder/image.bin"});
    EXPECT_EQ(exported.code, 5) << Describe(exported);
    EXPECT_TRUE(Contains(exported.err, "image.bin")) << exported.err;
}

}  // namespace
}  // namespace clitest
