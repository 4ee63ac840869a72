// corvane-cli monitor against corvane-sim in another process: the record
// across a restarted simulator, JSON as it comes, and the exit codes.
#include <gtest/gtest.h>

#include <signal.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <fstream>
#include <regex>
#include <sstream>

#include "CliHarness.h"

namespace clitest {
namespace {

std::string FileText(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

std::size_t CountMatches(const std::vector<std::string>& lines, const std::regex& shape) {
    return static_cast<std::size_t>(std::count_if(
        lines.begin(), lines.end(), [&](const auto& l) { return std::regex_match(l, shape); }));
}

QJsonObject JsonObject(const std::string& line) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
}

const char* const kStamp = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)";

using MonitorCommand = CCliTest;

// The simulator is stopped (its link disappears) and started again on the
// same link: the monitor says so, asks the new one for its report and goes
// on recording, the gap plain in the file.
TEST_F(MonitorCommand, RecordKeepsBothRunsOfARestartedChargerAndTheGap) {
    const std::string link = m_scratch.Path() + "/charger";
    const std::string record = m_work + "/charge.csv";
    const std::string simArgs = "--no-pacing --report-period 100 --link " + link;
    StartSim(simArgs);
    CChild cli;
    StartCli(cli, {"--port", link, "monitor", "--record", record});
    const std::regex report(std::string(kStamp) + ",true,true,C[CV](,[0-9A-F.]+){13}");
    const auto reports = [&] { return CountMatches(Lines(FileText(record)), report); };
    ASSERT_TRUE(cli.WaitFor([&] { return reports() >= 3; }, 10000)) << cli.err;

    const QJsonObject firstRun = StopSim();
    ASSERT_TRUE(cli.WaitFor([&] { return Contains(cli.err, "was lost"); }, 10000)) << cli.err;
    const std::size_t beforeGap = reports();
    m_sim.out.clear();
    StartSim(simArgs);
    ASSERT_TRUE(cli.WaitFor([&] { return reports() >= beforeGap + 3; }, 10000)) << cli.err;
    ASSERT_EQ(::kill(static_cast<pid_t>(cli.processId()), SIGINT), 0);
    EXPECT_EQ(cli.Finish(5000), 130) << cli.err;
    const QJsonObject secondRun = StopSim();

    EXPECT_EQ(SimCommands(firstRun), std::vector<std::string>{"/011"});
    EXPECT_EQ(SimCommands(secondRun), std::vector<std::string>{"/011"}) << "asked again";
    const std::regex said("The link to " + link +
                          " was lost at \\d\\d:\\d\\d:\\d\\d; waiting "
                          "for it to come back\\.\n(.*\n)*The link to " +
                          link +
                          " is back at \\d\\d:\\d\\d:\\d\\d; asked for the report again\\.\n");
    EXPECT_TRUE(std::regex_search(cli.err, said)) << cli.err;

    // Header, the first run, the loss, the return, the second run.
    const auto lines = Lines(FileText(record));
    ASSERT_GE(lines.size(), 1u);
    EXPECT_EQ(lines[0],
              "Time,Batt Present,Radio Detected,Charge Phase (CV/CC),System State,Trim Pot Pos,"
              "Battery Temp,Average Temp,Gas Gauge,NAC,VSB,Average VSB,Charge Time,Charger Temp,"
              "Charge Current,Battery Voltage,Supply Voltage");
    std::string shape;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const bool lost =
            std::regex_match(lines[i], std::regex(std::string(kStamp) + ",link lost,{15}"));
        const bool back =
            std::regex_match(lines[i], std::regex(std::string(kStamp) + ",link back,{15}"));
        shape += lost ? 'L' : back ? 'B' : std::regex_match(lines[i], report) ? 'r' : '?';
    }
    EXPECT_TRUE(std::regex_match(shape, std::regex("r{3,}LBr{3,}"))) << shape;
}

// Each refresh is on standard output as it happens, one object a line,
// while the monitor still runs; Ctrl-C ends it with a summary and 130.
TEST_F(MonitorCommand, JsonRefreshesArriveOneObjectALineWhileRunning) {
    const std::string device = StartSim("--no-pacing");
    CChild cli;
    StartCli(cli, {"--json", "--port", device, "monitor"});
    ASSERT_TRUE(cli.WaitFor([&] { return Lines(cli.out).size() >= 2; }, 10000)) << cli.err;
    EXPECT_EQ(cli.state(), QProcess::Running);
    ASSERT_EQ(::kill(static_cast<pid_t>(cli.processId()), SIGINT), 0);
    EXPECT_EQ(cli.Finish(5000), 130) << cli.err;

    const auto lines = Lines(cli.out);
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        const QJsonObject refresh = JsonObject(lines[i]);
        EXPECT_EQ(refresh["refresh"].toInt(), static_cast<int>(i + 1)) << lines[i];
        EXPECT_EQ(refresh["link"].toString(), "up") << lines[i];
        EXPECT_EQ(refresh["values"].toObject().size(), 16) << lines[i];
    }
    EXPECT_EQ(JsonObject(lines[0])["values"].toObject()["Batt Present"].toString(), "true");
    const QJsonObject summary = JsonObject(lines.back());
    EXPECT_EQ(summary["verdict"].toString(), "interrupted") << lines.back();
    EXPECT_EQ(summary["exitCode"].toInt(), 130) << lines.back();
    EXPECT_EQ(summary["refreshes"].toInt(), static_cast<int>(lines.size() - 1)) << lines.back();
}

// No report at all is 4; reports that all lack fields are 1; Ctrl-C is 130
// (above); a record that cannot be opened is 5.
TEST_F(MonitorCommand, ExitCodesSayWhetherAnyReportCouldBeRead) {
    const CliResult silent = RunCli(Words("--simulate=silent monitor --count 2"));
    EXPECT_EQ(silent.code, 4) << silent;
    EXPECT_TRUE(Contains(silent.out, "-- refresh 2 (Waiting for the charger's report)")) << silent;

    const std::string device = StartSim("--no-pacing --report-fault fewer-fields");
    const CliResult unreadable = RunCli({"--port", device, "monitor", "--count", "2"});
    EXPECT_EQ(unreadable.code, 1) << unreadable;

    const CliResult noFolder = RunCli(
        {"--port", device, "monitor", "--count", "1", "--record", "no/such/folder/charge.csv"});
    EXPECT_EQ(noFolder.code, 5) << noFolder;
    EXPECT_TRUE(Contains(noFolder.err, "no/such/folder/charge.csv: No such file or directory"))
        << noFolder;
}

}  // namespace
}  // namespace clitest
