// corvane-sim as a person runs it: the first line names the device, --link
// points at it, a signal or --run-seconds ends it cleanly, --log leaves the
// record, and --help and faulty arguments answer as a command-line tool does.
#include <gtest/gtest.h>

#include <signal.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>
#include <fstream>

#include "SimTestSupport.h"
#include "common/TestKit.h"

namespace {

constexpr int kBoundMs = 10000;
const std::string kExecutable = CORVANE_BIN_DIR "/corvane-sim";

TEST(SimExecutable, FirstLineLinkSignalAndLog) {
    testkit::CScratchDir dir;
    const std::string link = dir.Path() + "/charger";
    const std::string logPath = dir.Path() + "/session.json";
    simtest::CChild sim({kExecutable, "--link", link, "--log", logPath, "--no-pacing"});
    const std::string first = sim.ReadLine(kBoundMs).value_or("");
    ASSERT_EQ(first.rfind("PTY /dev/", 0), 0U) << first;
    EXPECT_EQ(std::filesystem::read_symlink(link), first.substr(4));
    {
        simtest::CSerialClient port(link);
        ASSERT_TRUE(port.Send("\r/01-\r/00\r"));
        EXPECT_NE(port.ReadUntil("charger\r\n", kBoundMs).find("\r\nV2.09 "), std::string::npos);
    }
    ASSERT_TRUE(sim.Signal(SIGTERM));
    EXPECT_EQ(sim.WaitExit(kBoundMs), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(link));

    QFile file(QString::fromStdString(logPath));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonArray commands = QJsonDocument::fromJson(file.readAll())["commands"].toArray();
    ASSERT_EQ(commands.size(), 2);
    EXPECT_EQ(commands[1].toObject()["text"].toString(), "/00");
}

TEST(SimExecutable, FirstLineAndExitCodeOfEachWayToRunIt) {
    testkit::CScratchDir dir;
    const std::string occupied = dir.Path() + "/occupied";
    std::ofstream(occupied) << "a file, not a link";
    const struct {
        std::vector<std::string> args;
        int signal;         // sent once the first line is in; 0: none
        std::string first;  // how the first line on stdout begins; empty: no line
        int exitCode;
    } cases[] = {
        {{"--help"}, 0, "Usage: corvane-sim [OPTION]...", 0},
        {{"--no-such-option"}, 0, "", 2},
        {{"--scenario", "no-firmware"}, SIGINT, "PTY /dev/", 0},
        {{"--run-seconds", "1"}, 0, "PTY /dev/", 0},
        {{"--link", occupied}, 0, "", 1},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv{kExecutable};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        simtest::CChild sim(argv);
        const std::optional<std::string> first = sim.ReadLine(kBoundMs);
        if (c.first.empty()) {
            EXPECT_EQ(first, std::nullopt) << c.args[0];
        } else {
            EXPECT_EQ(first.value_or("").rfind(c.first, 0), 0U) << c.args[0];
        }
        if (c.signal != 0) {
            EXPECT_TRUE(sim.Signal(c.signal));
        }
        EXPECT_EQ(sim.WaitExit(kBoundMs), c.exitCode) << c.args[0];
    }
    EXPECT_TRUE(std::filesystem::is_regular_file(occupied));  // not replaced by a link
}

}  // namespace
