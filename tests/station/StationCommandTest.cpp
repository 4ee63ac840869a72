// corvane-cli station end to end, as a child process against corvane-sim:
// a stop signal mid-upload stops the job as a single upgrade stops and the
// station exits 0; the token is made private once and shown; an address
// open to the network is warned about, one in use ends it for a restart; the
// settings file fills in what the command line left open and its mistakes
// stop the station.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <regex>

#include "CliHarness.h"
#include "HttpClient.h"

using clitest::CChild;
using clitest::Contains;

namespace {

class StationCommand : public clitest::CCliTest {
protected:
    // The port the station's page listens on, once it said so.
    int PagePort(CChild& station) {
        std::smatch found;
        const std::regex page("Station page: http://127\\.0\\.0\\.1:(\\d+)/");
        station.WaitFor([&] { return std::regex_search(station.err, found, page); }, 20000);
        return found.empty() ? 0 : std::stoi(found[1]);
    }
    std::string TokenFile() const { return m_state + "/corvane/station.token"; }
};

}  // namespace

TEST_F(StationCommand, AStopSignalMidUploadStopsTheJobAndEndsCleanly) {
    const std::string device = StartSim("");
    CChild station;
    StartCli(station, {"station", "--port", device, "--listen", "127.0.0.1:0"});
    const int port = PagePort(station);
    ASSERT_GT(port, 0) << station.err;
    ASSERT_TRUE(station.WaitFor([&] { return Contains(station.out, "block 10 of 101"); }, 30000))
        << station.out << station.err;
    const auto rows = stationtest::Request(port, "GET", "/api/slots");
    EXPECT_TRUE(Contains(rows.body, "\"state\":\"upgrading\"")) << rows.body;
    ASSERT_EQ(::kill(static_cast<pid_t>(station.processId()), SIGTERM), 0);
    ASSERT_EQ(station.Finish(10000), 0) << station.err;
    EXPECT_TRUE(Contains(station.out, "Stopped during the upload at block")) << station.out;
    const auto lines = RecordLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(Contains(lines[0], "\"outcome\":\"failed\",\"reason\":\"Stopped during the upload"))
        << lines[0];
    EXPECT_EQ(StopSim()["eotReceived"].toInt(), 0);
}

TEST_F(StationCommand, TheTokenIsMadePrivateOnceAndShown) {
    const auto first = RunCli({"station", "--show-token"});
    ASSERT_EQ(first.code, 0) << first;
    struct stat info {};
    ASSERT_EQ(::stat(TokenFile().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_TRUE(std::regex_match(first.out, std::regex("[0-9a-f]{64}\n"))) << first.out;
    EXPECT_EQ(RunCli({"station", "--show-token"}).out, first.out);
}

TEST_F(StationCommand, AnAddressOpenToTheNetworkIsWarnedAbout) {
    for (const char* listen : {"127.0.0.1:0", "0.0.0.0:0"}) {
        CChild station;
        StartCli(station, {"--simulate", "station", "--listen", listen});
        ASSERT_TRUE(station.WaitFor([&] { return Contains(station.err, "Station page:"); }, 20000))
            << station.err;
        ::kill(static_cast<pid_t>(station.processId()), SIGINT);
        ASSERT_EQ(station.Finish(20000), 0) << station.err;
        EXPECT_EQ(Contains(station.err, "anyone on the network who has the token"),
                  std::string(listen) != "127.0.0.1:0")
            << station.err;
    }
}

// A page address another program holds is no mistake in the settings: the
// station says why and exits 1, which the service restarts, not 2.
TEST_F(StationCommand, AnAddressInUseEndsTheStationForARestart) {
    const int holder = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof at;
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    ASSERT_EQ(::listen(holder, 1), 0);
    ::getsockname(holder, reinterpret_cast<sockaddr*>(&at), &size);
    const std::string listen = "127.0.0.1:" + std::to_string(ntohs(at.sin_port));
    const auto refused = RunCli({"--simulate", "station", "--listen", listen});
    ::close(holder);
    EXPECT_EQ(refused.code, 1) << refused;
    EXPECT_TRUE(Contains(refused.err, "cannot listen on " + listen + " (Address already in use)"))
        << refused;
}

TEST_F(StationCommand, TheSettingsFileFillsInWhatTheCommandLineLeftOpen) {
    const std::string config = m_scratch.Path() + "/station.conf";
    std::ofstream(config) << "# the page on a port of the test's choosing\n"
                          << "listen = 999.0.0.1:1\nread-only = yes\n";
    // --listen wins over the file's (which could not listen), --force over
    // read-only.
    CChild station;
    StartCli(station,
             {"--simulate", "station", "--config", config, "--listen", "127.0.0.1:0", "--force"});
    ASSERT_GT(PagePort(station), 0) << station.err;
    ASSERT_TRUE(station.WaitFor([&] { return Contains(station.out, "upgraded"); }, 30000))
        << station.out << station.err;
    ::kill(static_cast<pid_t>(station.processId()), SIGTERM);
    EXPECT_EQ(station.Finish(20000), 0);

    // The file's listen and read-only, with nothing on the command line.
    std::ofstream(config) << "listen = 127.0.0.1:0\nread-only = yes\n";
    CChild reader;
    StartCli(reader, {"--simulate", "station", "--config", config});
    ASSERT_GT(PagePort(reader), 0) << reader.err;
    ASSERT_TRUE(reader.WaitFor([&] { return Contains(reader.out, "read: boot code 1.3"); }, 30000))
        << reader.out << reader.err;
    ::kill(static_cast<pid_t>(reader.processId()), SIGTERM);
    EXPECT_EQ(reader.Finish(20000), 0);

    std::ofstream(config) << "ports = /dev/null\nread-onyl = yes\n";
    const auto mistaken = RunCli({"station", "--config", config});
    EXPECT_EQ(mistaken.code, 2);
    EXPECT_TRUE(Contains(mistaken.err, "station.conf: line 2: unknown setting 'read-onyl'"))
        << mistaken;
}
