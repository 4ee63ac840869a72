// corvane-cli bench end to end, against corvane-sim playing several chargers:
// plugging and unplugging under --watch, a stop signal during a bench, a
// port that is not there.
#include <sys/stat.h>
#include <QJsonDocument>
#include <QJsonObject>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "cli/CliHarness.h"

using clitest::CChild;
using clitest::CCliTest;
using clitest::Contains;
using clitest::Lines;

namespace {

// Every line of --json output is one object with "event" and "port" (but the
// closing summary); the events of one port, with progress left out.
std::vector<std::string> Story(const std::string& out, const std::string& port) {
    std::vector<std::string> events;
    for (const auto& line : Lines(out)) {
        const QJsonObject event = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        const std::string kind = event["event"].toString().toStdString();
        EXPECT_TRUE(kind == "summary" || (!kind.empty() && event.contains("port"))) << line;
        if (event["port"].toString().toStdString() == port && kind != "progress") {
            events.push_back(
                kind == "finished" ? kind + " " + event["outcome"].toString().toStdString() : kind);
        }
    }
    return events;
}

int CountOf(const std::string& text, const std::string& part) {
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

// A signal (Ctrl-C's by default) to the child alone; never to a group (a
// pid of 0 would be ours).
void Interrupt(CChild& child, int signal = SIGINT) {
    const auto pid = static_cast<pid_t>(child.processId());
    ASSERT_GT(pid, 0) << "the child is no longer running";
    ::kill(pid, signal);
}

class BenchCommand : public CCliTest {};

}  // namespace

// The bench waits for chargers; each one plugged in is read, each one pulled
// out empties its slot, and the next one plugged in is served again. Ctrl-C
// ends the watch with 130.
TEST_F(BenchCommand, WatchServesChargersAsTheyComeAndGo) {
    const std::string pattern = m_scratch.Path() + "/charger-*";
    CChild cli;
    StartCli(cli, {"bench", "--watch", "--read-only", "--json", "--port", pattern});
    CChild sim;
    sim.Start(CORVANE_BIN_DIR "/corvane-sim",
              {"--chargers", "2", "--link", m_scratch.Path() + "/charger-%d", "--plug-every", "5"});
    const std::string first = m_scratch.Path() + "/charger-1";
    ASSERT_TRUE(cli.WaitFor(
        [&] { return CountOf(cli.out, "\"finished\"") == 4 || CountOf(cli.err, "\n") > 0; }, 30000))
        << cli.out << cli.err;
    EXPECT_EQ(Story(cli.out, first),
              (std::vector<std::string>{"appeared", "started", "finished read", "gone", "appeared",
                                        "started", "finished read"}));
    sim.kill();
    sim.Finish(5000);
    cli.WaitFor([&] { return false; }, 300);
    Interrupt(cli);
    EXPECT_EQ(cli.Finish(10000), 130) << cli.err;
}

// SIGTERM during the uploads stops every job the way one upgrade stops, each
// charger is still recorded, and the exit is 128 + the signal.
TEST_F(BenchCommand, TerminationStopsEveryJob) {
    CChild cli;
    StartCli(cli, {"--simulate", "--json", "bench", "--chargers", "2"});
    ASSERT_TRUE(cli.WaitFor([&] { return Contains(cli.out, "\"block\":20"); }, 30000)) << cli.err;
    Interrupt(cli, SIGTERM);
    EXPECT_EQ(cli.Finish(20000), 128 + SIGTERM) << cli.err;
    EXPECT_EQ(CountOf(cli.out, "\"reason\":\"Stopped during the upload at block "), 2) << cli.out;
    std::ifstream records(RecordsPath());
    std::string line;
    int recorded = 0;
    while (std::getline(records, line)) {
        recorded += Contains(line, "\"outcome\":\"failed\"") ? 1 : 0;
    }
    EXPECT_EQ(recorded, 2);
}

// A port that is not there: the reason says so, and no port could be opened.
// Named twice, it is still served once.
TEST_F(BenchCommand, MissingPortExitsThree) {
    const auto r = RunCli({"bench", "--port", "/dev/ttyUSB97", "--port", "/dev/ttyUSB97"});
    EXPECT_EQ(CountOf(r.out, "appeared"), 1) << r;
    EXPECT_EQ(r.code, 3) << r;
    EXPECT_TRUE(Contains(r.out,
                         "/dev/ttyUSB97: failed after 0.0 s: The device /dev/ttyUSB97 "
                         "does not exist."))
        << r;
    // It reached no charger: counted, not recorded.
    EXPECT_TRUE(Contains(r.out, "1 charger: 1 failed; 1 without an answer, not recorded")) << r;
    EXPECT_FALSE(std::filesystem::exists(RecordsPath()));
}

// A record path that is a FIFO fails at once instead of hanging the jobs;
// each failed record is an event when it happens, the upgrades go ahead,
// and the bench ends with 5.
TEST_F(BenchCommand, FailedRecordIsToldAtOnceAndExitsFive) {
    std::filesystem::create_directories(m_state + "/corvane");
    ASSERT_EQ(::mkfifo(RecordsPath().c_str(), 0644), 0);
    const auto r = RunCli({"--simulate", "--json", "bench", "--chargers", "2"}, 60000);
    EXPECT_EQ(r.code, 5) << r;
    const auto lines = Lines(r.out);
    int told = 0;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (Contains(lines[i], "\"event\":\"record-failed\"")) {
            ++told;
            EXPECT_TRUE(Contains(lines[i - 1], "\"event\":\"finished\",") &&
                        Contains(lines[i - 1], "\"outcome\":\"upgraded\""))
                << lines[i - 1];
            EXPECT_TRUE(Contains(lines[i], "\"problem\":\"Could not write the service record " +
                                               RecordsPath() + ": not a regular file.\""))
                << lines[i];
        }
    }
    EXPECT_EQ(told, 2) << r;
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(),
              "{\"event\":\"summary\",\"upgraded\":2,\"current\":0,\"read\":0,\"failed\":0,"
              "\"unanswered\":0,\"recordsFailed\":2}");
    // The text summary says so too, not only the lines under the table.
    const auto text = RunCli({"--simulate", "bench", "--chargers", "2"}, 60000);
    EXPECT_EQ(text.code, 5) << text;
    EXPECT_TRUE(Contains(text.out, "2 chargers: 2 upgraded; 2 records could not be written"))
        << text;
}

// Ports and patterns relative to the working folder are found there, as
// --port is everywhere; one charger reached under three of them is served
// once, and a watched relative pattern is watched in that folder.
TEST_F(BenchCommand, RelativePortsAreTakenFromTheWorkingFolder) {
    StartSim("--no-pacing --firmware-version 2.10e --link " + m_work + "/charger-1");
    const auto fixed = RunCli(
        {"bench", "--read-only", "--port", "charger-1", "--port", "./charger-1", "--port", "ch*"});
    EXPECT_EQ(fixed.code, 0) << fixed;
    EXPECT_TRUE(Contains(fixed.out, "1 charger: 1 read")) << fixed;

    CChild cli;
    StartCli(cli, {"bench", "--watch", "--read-only", "--json", "--port", "charger-*"});
    ASSERT_TRUE(
        cli.WaitFor([&] { return Contains(cli.out, "\"finished\"") || !cli.err.empty(); }, 30000))
        << cli.out << cli.err;
    EXPECT_TRUE(Contains(cli.out, m_work + "/charger-1")) << cli.out;
    Interrupt(cli);
    EXPECT_EQ(cli.Finish(10000), 130) << cli.err;
}

// The user's slots file is read without --slots: a bad line stops the bench
// before any port is opened, naming the file and the line. A good one that
// names no port of this bench leaves each charger named by its port.
TEST_F(BenchCommand, UserSlotsFileIsReadAndABadLineStopsTheBench) {
    StartSim("--no-pacing --firmware-version 2.10e --link " + m_work + "/charger-1");
    const std::string file = m_config + "/Veltra/slots";
    std::filesystem::create_directories(m_config + "/Veltra");
    std::ofstream(file) << "# shelf\nSlot 1 = pci-0000:00:14.0-usb-0:1:1.0-port0\nSlot 2\n";
    const auto bad = RunCli({"--json", "bench", "--read-only", "--port", m_work + "/charger-1"});
    EXPECT_EQ(bad.code, 2) << bad;
    EXPECT_EQ(bad.err, "corvane-cli bench: the slots file cannot be used: " + file +
                           ", line 3: expected LABEL = BY-PATH NAME\n");
    EXPECT_EQ(bad.out, "");

    std::ofstream(file) << "Slot 1 = pci-0000:00:14.0-usb-0:1:1.0-port0\n";
    const auto good = RunCli({"--json", "bench", "--read-only", "--port", m_work + "/charger-1"});
    EXPECT_EQ(good.code, 0) << good;
    EXPECT_EQ(Story(good.out, m_work + "/charger-1"),
              (std::vector<std::string>{"appeared", "started", "finished read"}));
    EXPECT_FALSE(Contains(good.out, "\"slot\"")) << good;
}
