// corvane-sim as a person runs it: the first line names the device, --link
// points at it, a signal ends it cleanly and --log leaves the record.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdlib>
#include <filesystem>

#include "LineClient.h"
#include "common/TestKit.h"

namespace {

constexpr int kBoundMs = 10000;

std::string Executable() {
    const char* dir = std::getenv("CORVANE_BIN_DIR");
    return std::string(dir != nullptr ? dir : SIM_TEST_BIN_DIR) + "/corvane-sim";
}

class SimExecutable : public ::testing::Test {
protected:
    void SetUp() override {
        if (::access(Executable().c_str(), X_OK) != 0) {
            GTEST_FAIL() << "corvane-sim not built at " << Executable();
        }
    }

    // Starts it with the arguments; returns the device path it announced.
    std::string Launch(std::vector<std::string> args) {
        args.insert(args.begin(), Executable());
        EXPECT_TRUE(process.Spawn(args, -1, output.WriteEnd(), -1));
        output.CloseWriteEnd();
        const std::optional<std::string> first = output.ReadLine(kBoundMs);
        if (!first || first->rfind("PTY /dev/", 0) != 0) {
            ADD_FAILURE() << "first line: " << first.value_or("(none)");
            return {};
        }
        return first->substr(4);
    }

    testkit::CScratchDir dir;
    simtest::CPipeReader output;
    simtest::CChildProcess process;
};

TEST_F(SimExecutable, FirstLineLinkSignalAndLog) {
    const std::string link = dir.Path() + "/charger";
    const std::string logPath = dir.Path() + "/session.json";
    const std::string device = Launch({"--link", link, "--log", logPath, "--no-pacing"});
    ASSERT_FALSE(device.empty());
    EXPECT_EQ(std::filesystem::read_symlink(link), device);
    {
        simtest::CSerialClient port(link);
        ASSERT_TRUE(port.IsOpen());
        port.Send("\r/01-\r/00\r");
        EXPECT_NE(port.ReadUntil("charger\r\n", kBoundMs).find("\r\nV2.09 "), std::string::npos);
    }
    ASSERT_TRUE(process.Signal(SIGTERM));
    EXPECT_EQ(process.WaitExit(kBoundMs), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(link));

    QFile file(QString::fromStdString(logPath));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonObject log = QJsonDocument::fromJson(file.readAll()).object();
    const QJsonArray commands = log["commands"].toArray();
    ASSERT_EQ(commands.size(), 2);
    EXPECT_EQ(commands[1].toObject()["text"].toString(), "/00");
}

TEST_F(SimExecutable, InterruptEndsItAsWell) {
    ASSERT_FALSE(Launch({"--scenario", "no-firmware"}).empty());
    ASSERT_TRUE(process.Signal(SIGINT));
    EXPECT_EQ(process.WaitExit(kBoundMs), 0);
}

TEST_F(SimExecutable, RunSecondsEndsItByItself) {
    ASSERT_FALSE(Launch({"--run-seconds", "1"}).empty());
    EXPECT_EQ(process.WaitExit(kBoundMs), 0);
}

TEST_F(SimExecutable, LinkOverAFileIsRefused) {
    const std::string occupied = dir.Path() + "/occupied";
    std::FILE* f = std::fopen(occupied.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    ASSERT_TRUE(process.Spawn({Executable(), "--link", occupied}, -1, output.WriteEnd(), quiet));
    ::close(quiet);
    output.CloseWriteEnd();
    EXPECT_EQ(output.ReadLine(kBoundMs), std::nullopt);  // no device announced
    EXPECT_EQ(process.WaitExit(kBoundMs), 1);
    EXPECT_TRUE(std::filesystem::is_regular_file(occupied));
}

TEST_F(SimExecutable, HelpAndBadArguments) {
    simtest::CChildProcess help;
    simtest::CPipeReader helpOutput;
    ASSERT_TRUE(help.Spawn({Executable(), "--help"}, -1, helpOutput.WriteEnd(), -1));
    helpOutput.CloseWriteEnd();
    EXPECT_EQ(helpOutput.ReadLine(kBoundMs).value_or(""), "Usage: corvane-sim [OPTION]...");
    EXPECT_EQ(help.WaitExit(kBoundMs), 0);

    simtest::CChildProcess bad;
    const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    ASSERT_TRUE(bad.Spawn({Executable(), "--no-such-option"}, -1, quiet, quiet));
    EXPECT_EQ(bad.WaitExit(kBoundMs), 2);
    ::close(quiet);
}

}  // namespace
