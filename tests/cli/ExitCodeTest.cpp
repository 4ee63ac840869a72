// Exit codes and the words a technician gets when the command line, the port
// or a file is wrong. What the charger's answers lead to is in the
// --simulate scenarios.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "CliHarness.h"

namespace clitest {
namespace {

using ExitCodes = CCliTest;

// Every failure says what is wrong on stderr; a missing device in words.
TEST_F(ExitCodes, UsageMissingDeviceAndFileErrorsAreTwoThreeAndFive) {
    const std::vector<std::pair<int, std::vector<const char*>>> cases = {
        {2,
         {"bogus", "--bogus read", "", "read extra", "monitor --count -1", "monitor --count many",
          "crc", "--simulate=nonsense read", "ports --map COM9=/dev/ttyUSB0", "ports --map COM2",
          "history --since yesterday", "history --outcome lost", "history --json --csv"}},
        {3,
         {"--port /dev/corvane-tty9 read", "--port /dev/corvane-tty9 upgrade",
          "--port /dev/corvane-tty9 monitor"}},
        {5, {"crc absent.bin", "export no/such/folder/image.bin", "history --file absent.jsonl"}}};
    for (const auto& [code, list] : cases) {
        for (const char* args : list) {
            const CliResult r = RunCli(Words(args));
            EXPECT_EQ(r.code, code) << args << "\n" << r;
            EXPECT_FALSE(r.err.empty()) << args;
            EXPECT_TRUE(code != 3 || Contains(r.err, "/dev/corvane-tty9 does not exist")) << r;
        }
    }
    EXPECT_FALSE(std::filesystem::exists(RecordsPath()))
        << "an upgrade that never opened the port reached no charger";
}

// A refusal names what is wrong: the nearest command, the ports there are,
// why a mapping or a file cannot be used. Here the settings folder is a
// file, so no mapping can be stored.
TEST_F(ExitCodes, EachRefusalSaysWhatIsWrong) {
    std::ofstream(m_config + "/Veltra") << "in the way\n";
    const struct {
        std::vector<std::string> args;
        int code;
        std::string says;
    } cases[] = {
        {{"raed"}, 2, "unknown command 'raed'; did you mean 'read'?"},
        {{"--port", "/dev/ttyUSB0", "exprot", "x.bin"}, 2, "did you mean 'export'?"},
        {{"read", "--port", "COM5"},
         2,
         "There is no port COM5: the ports are COM1 (/dev/ttyS0), COM2 (/dev/ttyS1), "
         "COM3 (/dev/ttyS2) and COM4 (/dev/ttyS3)"},
        {{"ports", "--unmap", "COM0"}, 2, "There is no port COM0"},
        {{"history", "--since", "yesterday"},
         2,
         "neither a date like 2026-12-01 nor a span like 7d"},
        {{"bench", "--port", "/dev/corvane-tty9", "--port", "com9"}, 2, "There is no port COM9"},
        {{"--simulate=bogus", "bench", "--chargers", "2"}, 2, "unknown scenario 'bogus'"},
        {{"ports", "--map", "COM2=/dev/tty\x1b[2J"}, 2, "control character"},
        {{"ports", "--map", "COM2=/dev/" + std::string(1019, 'x')},
         2,
         "longer than the settings store holds (1023 bytes)"},
        {{"ports", "--map", "COM2=/dev/ttyUSB1"},
         5,
         "Could not store the mapping: " + m_config + "/Veltra: Not a directory."},
        {{"ports", "--unmap", "COM2"}, 5, "Could not remove the mapping"},
        {{"ports", "--by-path", "--json"}, 2, "--by-path prints a slots file, not JSON"},
        {{"ports", "--unmap", "COM2", "--by-path"}, 2, "--unmap excludes --by-path"},
        {{"bench", "--slots", "/no/slots", "--port", "/dev/corvane-tty9"},
         2,
         "corvane-cli bench: the slots file cannot be used: /no/slots: No such file or "
         "directory"},
        {{"crc", "/dev/null"},
         5,
         "Not A Regular File: /dev/null is a character device; only regular files are checked"},
        {{"export", "/dev/full"},
         5,
         "Unable To Create the File /dev/full: No space left on device"},
    };
    for (const auto& c : cases) {
        const CliResult r = RunCli(c.args);
        EXPECT_EQ(r.code, c.code) << c.args[0] << "\n" << r;
        EXPECT_TRUE(Contains(r.err, c.says)) << c.says << "\n" << r;
        EXPECT_FALSE(Contains(r.out, "now resolves")) << r;
    }
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

// A process that ended while holding the device left its exclusive-use mark
// (here: set on a descriptor since closed); nobody holds the device now.
TEST_F(ExitCodes, MarkLeftByAProgramThatEndedIsThreeAndSaysSo) {
    // Only the master stays open here: a held slave would be in use, not abandoned.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string slave = ::ptsname(master);
    const int marker = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(marker, 0);
    ASSERT_EQ(::ioctl(marker, TIOCEXCL), 0);
    ::close(marker);
    const CliResult r = RunCli({"--port", slave, "read"});
    ::close(master);
    EXPECT_EQ(r.code, 3) << r;
    EXPECT_TRUE(Contains(r.err, slave + " is still marked for exclusive use by a program that no "
                                        "longer holds it"))
        << r;
}

// A file, /dev/null or a FIFO is refused at once, not after ten seconds of
// asking a charger that is not there.
TEST_F(ExitCodes, DeviceThatIsNotASerialLineIsThree) {
    const std::string file = m_work + "/plain";
    const std::string fifo = m_work + "/fifo";
    std::ofstream(file) << "x";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {file, std::string("/dev/null"), fifo}) {
        const CliResult r = RunCli({"--port", path, "upgrade"});
        EXPECT_EQ(r.code, 3) << r;
        EXPECT_TRUE(Contains(r.err, path + " is not a serial device")) << r;
        EXPECT_FALSE(Contains(r.out, "Upgrading")) << r;
    }
}

// Output that never reached standard output is no success.
TEST_F(ExitCodes, StandardOutputThatCannotBeWrittenIsFive) {
    const std::vector<std::string> commands[] = {
        {"crc", CORVANE_SOURCE_DIR "/resources/upgrade-2.10e.bin"},
        {"--simulate", "current", "bench", "--read-only"},
    };
    for (const auto& args : commands) {
        CChild cli;
        cli.setStandardOutputFile("/dev/full");
        StartCli(cli, args);
        EXPECT_EQ(cli.Finish(30000), 5) << args[0] << ": " << cli.err;
        EXPECT_TRUE(Contains(cli.err, "cannot write to standard output: No space left on device"))
            << cli.err;
    }
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

}  // namespace
}  // namespace clitest
