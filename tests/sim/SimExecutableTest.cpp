// corvane-sim as a person runs it: the first line names the device, --link
// points at it, a signal or --run-seconds ends it cleanly, --log leaves the
// record, and --help and faulty arguments answer as a command-line tool does.
#include <gtest/gtest.h>

#include <signal.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <filesystem>
#include <fstream>

#include "SimTestSupport.h"
#include "common/TestKit.h"

namespace {

// Killed if still running after 20 s: no case can hang.
const std::string kSim = "timeout -k 5 20 " CORVANE_BIN_DIR "/corvane-sim ";

TEST(SimExecutable, FirstLineLinkSignalAndLog) {
    testkit::CScratchDir dir;
    const std::string link = dir.Path() + "/charger";
    const std::string logPath = dir.Path() + "/session.json";
    // The shell names its process, which then becomes corvane-sim.
    simtest::CCommand sim("timeout -k 5 20 sh -c 'echo $$; exec " CORVANE_BIN_DIR
                          "/corvane-sim --link " +
                          link + " --log " + logPath + " --no-pacing'");
    const pid_t pid = std::atoi(sim.ReadLine().c_str());
    const std::string first = sim.ReadLine();
    ASSERT_EQ(first.rfind("PTY /dev/", 0), 0U) << first;
    EXPECT_EQ(std::filesystem::read_symlink(link), first.substr(4));
    {
        simtest::CSerialClient port(link);
        ASSERT_TRUE(port.Send("\r/01-\r/00\r"));
        EXPECT_NE(port.ReadUntil("charger\r\n", 10000).find("\r\nV2.09 "), std::string::npos);
    }
    ASSERT_GT(pid, 0);
    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    EXPECT_EQ(sim.Close(), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(link));

    QFile file(QString::fromStdString(logPath));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonDocument log = QJsonDocument::fromJson(file.readAll());
    EXPECT_EQ(log["commands"].toArray().size(), 2);
    EXPECT_EQ(log["commands"][1]["text"].toString(), "/00");
}

TEST(SimExecutable, FirstLineAndExitCodeOfEachWayToRunIt) {
    testkit::CScratchDir dir;
    const std::string occupied = dir.Path() + "/occupied";
    std::ofstream(occupied) << "a file, not a link";
    const struct {
        std::string command;
        std::string first;  // how the first line on stdout begins
        int exitCode;
    } cases[] = {
        {kSim + "--help", "Usage: corvane-sim [OPTION]...", 0},
        {kSim + "--no-such-option 2>/dev/null", "", 2},
        {kSim + "--link " + occupied + " 2>/dev/null", "", 1},
        {kSim + "--run-seconds 1", "PTY /dev/", 0},
        // One SIGINT after a second, to the program alone; its exit code is kept.
        {"timeout --foreground -k 5 --preserve-status -s INT 1 " CORVANE_BIN_DIR
         "/corvane-sim --scenario no-firmware",
         "PTY /dev/", 0},
    };
    for (const auto& c : cases) {
        simtest::CCommand sim(c.command);
        const std::string first = sim.ReadLine();
        EXPECT_EQ(first.substr(0, c.first.size()), c.first) << c.command;
        EXPECT_EQ(first.empty(), c.first.empty()) << c.command;
        EXPECT_EQ(sim.Close(), c.exitCode) << c.command;
    }
    EXPECT_TRUE(std::filesystem::is_regular_file(occupied));  // not replaced by a link
}

}  // namespace
