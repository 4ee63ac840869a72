// Exit codes and the words a technician gets when the command line, the port
// or a file is wrong. What the charger's answers lead to is in the
// --simulate scenarios.
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

using ExitCodes = CCliTest;

TEST_F(ExitCodes, UsageErrorsAreTwoAndSayWhatIsWrong) {
    for (const char* args :
         {"bogus", "--bogus read", "", "read extra", "monitor --count -1", "monitor --count many",
          "crc", "--simulate=nonsense read", "ports --map COM9=/dev/ttyUSB0", "ports --map COM2"}) {
        const CliResult r = RunCli(Words(args));
        EXPECT_EQ(r.code, 2) << args << "\n" << r;
        EXPECT_FALSE(r.err.empty()) << args << ": a usage error says what is wrong";
    }
}

TEST_F(ExitCodes, MissingDeviceIsThreeAndSaysSo) {
    const std::string absent = m_work + "/ttyUSB9";
    for (const char* command : {"read", "upgrade", "monitor"}) {
        const CliResult r = RunCli({"--port", absent, command});
        EXPECT_EQ(r.code, 3) << command << "\n" << r;
        EXPECT_TRUE(Contains(r.err, absent + " does not exist")) << command << "\n" << r;
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
    EXPECT_EQ(r.code, 3) << r;
    EXPECT_TRUE(Contains(r.err, pty.SlavePath() + " is in use by")) << r;
    EXPECT_TRUE(Contains(r.err, "(pid " + std::to_string(::getpid()) + ")")) << r;
}

// The device belongs to a group the user is not in. As root the command runs
// as nobody; as anyone else the device is made unreadable to its owner.
TEST_F(ExitCodes, PermissionDeniedIsThreeAndNamesTheGroupAndTheFix) {
    testkit::CPtyPair pty;
    const std::string& path = pty.SlavePath();
    std::function<void()> asNobody;
    if (::geteuid() == 0) {
        const group* dialout = ::getgrnam("dialout");
        ASSERT_EQ(::chown(path.c_str(), 0, dialout != nullptr ? dialout->gr_gid : 0), 0);
        ASSERT_EQ(::chmod(path.c_str(), 0660), 0);
        // nobody must be able to reach its scratch home.
        for (const auto& dir : {m_scratch.Path(), m_config, m_state, m_work}) {
            ::chmod(dir.c_str(), 0777);
        }
        // Runs in the child: 126 tells the test that it could not become nobody.
        asNobody = [] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
                ::_exit(126);
            }
        };
    } else {
        ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    }
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    const group* owner = ::getgrgid(info.st_gid);
    ASSERT_NE(owner, nullptr);

    const CliResult r = RunCli({"--port", path, "read"}, 30000, asNobody);
    if (r.code == 126 && r.out.empty() && r.err.empty()) {
        GTEST_SKIP() << "cannot drop privileges to nobody here";
    }
    EXPECT_EQ(r.code, 3) << r;
    EXPECT_TRUE(Contains(r.err, "Permission denied")) << r;
    EXPECT_TRUE(Contains(r.err, std::string("'") + owner->gr_name + "'")) << r;
    EXPECT_TRUE(Contains(r.err, std::string("usermod -aG ") + owner->gr_name)) << r;
    EXPECT_TRUE(Contains(r.err, "log out and in again")) << r;
}

TEST_F(ExitCodes, FileErrorsAreFive) {
    const CliResult crc = RunCli({"crc", "absent.bin"});
    EXPECT_EQ(crc.code, 5) << crc;
    EXPECT_FALSE(crc.err.empty()) << crc;
    const CliResult exported = RunCli({"export", m_work + "/no/such/folder/image.bin"});
    EXPECT_EQ(exported.code, 5) << exported;
    EXPECT_TRUE(Contains(exported.err, "image.bin")) << exported;
}

}  // namespace
}  // namespace clitest
