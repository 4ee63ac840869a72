// The station's parts on their own: the token file and its comparison, the
// settings file, the listen address, the board's rows, and what a pause does
// to chargers plugged in meanwhile. The records the page lists:
// StationRecordsTest.cpp.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "BenchRig.h"
#include "cli/station/ListenAddress.h"
#include "cli/station/StationApi.h"
#include "cli/station/StationConfig.h"
#include "cli/station/StationToken.h"

using station::ControlRequest;

namespace {

// The address a listening socket is given, as ADDR:PORT, [ADDR]:PORT for
// IPv6.
std::string SocketText(const sockaddr_storage& socket) {
    char text[INET6_ADDRSTRLEN] = "";
    if (socket.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(socket);
        ::inet_ntop(AF_INET, &in.sin_addr, text, sizeof text);
        return std::string(text) + ":" + std::to_string(ntohs(in.sin_port));
    }
    if (socket.ss_family == AF_INET6) {
        const auto& in = reinterpret_cast<const sockaddr_in6&>(socket);
        ::inet_ntop(AF_INET6, &in.sin6_addr, text, sizeof text);
        return "[" + std::string(text) + "]:" + std::to_string(ntohs(in.sin6_port));
    }
    return "family " + std::to_string(socket.ss_family);
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(StationToken, IsMadePrivateOnceAndReadBackAfter) {
    testkit::CScratchDir scratch;
    const std::string path = scratch.Path() + "/state/corvane/station.token";
    std::string made, read, error;
    ASSERT_TRUE(station::LoadOrMakeToken(path, made, error)) << error;
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(Slurp(path), made + "\n");
    EXPECT_EQ(made.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_EQ(made.size(), 64u);
    ASSERT_TRUE(station::LoadOrMakeToken(path, read, error)) << error;
    EXPECT_EQ(read, made);
    std::string other;
    const std::string second = scratch.Path() + "/other.token";
    ASSERT_TRUE(station::LoadOrMakeToken(second, other, error)) << error;
    EXPECT_NE(other, made);
}

// Started with standard input closed, as a daemon may be, the token file
// gets descriptor 0 and is read all the same.
TEST(StationToken, IsReadWithStandardInputClosed) {
    testkit::CScratchDir scratch;
    const std::string path = scratch.Path() + "/station.token";
    std::string made, error;
    ASSERT_TRUE(station::LoadOrMakeToken(path, made, error)) << error;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(0);
        std::string read, problem;
        ::_exit(station::LoadOrMakeToken(path, read, problem) && read == made ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(StationToken, AFileOthersMayReadHoldsNoTokenOrCannotBeMadeIsRefused) {
    testkit::CScratchDir scratch;
    const std::string path = scratch.Path() + "/station.token";
    std::string token, error;
    ASSERT_TRUE(station::LoadOrMakeToken(path, token, error)) << error;
    ::chmod(path.c_str(), 0640);
    EXPECT_FALSE(station::LoadOrMakeToken(path, token, error));
    EXPECT_NE(error.find("chmod 600"), std::string::npos) << error;
    ::chmod(path.c_str(), 0600);
    std::ofstream(path) << "guessable\n";
    EXPECT_FALSE(station::LoadOrMakeToken(path, token, error));
    EXPECT_NE(error.find("holds no token"), std::string::npos) << error;
    // A folder on the way that cannot be made is named, with the reason.
    const std::string under = path + "/corvane/station.token";
    EXPECT_FALSE(station::LoadOrMakeToken(under, token, error));
    EXPECT_EQ(error, "cannot make " + path + "/corvane: Not a directory");
}

TEST(StationToken, TheServiceFolderComesFirst) {
    ::setenv("STATE_DIRECTORY", "/var/lib/corvane:/var/lib/other", 1);
    EXPECT_EQ(station::TokenPath(), "/var/lib/corvane/station.token");
    ::unsetenv("STATE_DIRECTORY");
    ::setenv("XDG_STATE_HOME", "/tmp/xdg-state", 1);
    EXPECT_EQ(station::TokenPath(), "/tmp/xdg-state/corvane/station.token");
}

TEST(StationToken, BearerTakesExactlyTheToken) {
    const std::string token = "0123456789abcdef";
    struct Case {
        std::string header;
        bool accepted;
    };
    const Case cases[] = {
        {"Bearer 0123456789abcdef", true},
        {"bearer 0123456789abcdef", true},
        {"BEARER 0123456789abcdef", true},
        {"Bearer 0123456789abcdeF", false},
        {"Bearer 0123456789abcde", false},
        {"Bearer 0123456789abcdef0", false},
        {"Bearer  0123456789abcdef", false},
        {"Bearer", false},
        {"Basic 0123456789abcdef", false},
        {"0123456789abcdef", false},
        {"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(station::Bearer(c.header, token), c.accepted) << c.header;
    }
    EXPECT_FALSE(station::SameSecret("", ""));
}

TEST(StationConfig, LinesAreReadOrRefusedByNumber) {
    station::StationConfig config;
    std::string error;
    ASSERT_TRUE(station::ParseStationConfig(
        "# bench 3\n\nports = /dev/ttyUSB0 /dev/serial/by-id/usb-FTDI_*\n"
        "  ports=/dev/ttyACM0   # the ACM charger\nlisten = 0.0.0.0:8642\n"
        "slots = /etc/corvane/slots\nimage = /srv/2.11.bin\nlabel = 2.11\nforce = yes\n"
        "read-only = off\n",
        config, error))
        << error;
    EXPECT_EQ(config.ports, (std::vector<std::string>{
                                "/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_*", "/dev/ttyACM0"}));
    EXPECT_EQ(config.listen, "0.0.0.0:8642");
    EXPECT_EQ(config.slots, "/etc/corvane/slots");
    EXPECT_EQ(config.image, "/srv/2.11.bin");
    EXPECT_EQ(config.label, "2.11");
    EXPECT_EQ(config.force, true);
    EXPECT_EQ(config.readOnly, false);

    const std::pair<const char*, const char*> refused[] = {
        {"ports = a\nlisen = 1.2.3.4:5\n", "line 2: unknown setting 'lisen'"},
        {"# x\nports\n", "line 2: no '=' in it"},
        {"force = maybe\n", "line 1: force takes yes or no, not 'maybe'"},
    };
    for (const auto& [text, message] : refused) {
        EXPECT_FALSE(station::ParseStationConfig(text, config, error)) << text;
        EXPECT_EQ(error.rfind(message, 0), 0u) << error;
    }
    EXPECT_FALSE(station::ParseStationConfig(std::string(70000, '#'), config, error));
    EXPECT_TRUE(station::ParseStationConfig(std::string(64 * 1024, '#'), config, error)) << error;
}

TEST(StationListen, AddressesAreNumericAndLoopbackIsTold) {
    struct Case {
        const char* text;
        bool valid;
        bool loopback;
        const char* host;
        int port;
    };
    const Case cases[] = {
        {"127.0.0.1:8642", true, true, "127.0.0.1", 8642},
        {"127.3.4.5:1", true, true, "127.3.4.5", 1},
        {"localhost:0", true, true, "127.0.0.1", 0},
        {"0.0.0.0:8642", true, false, "0.0.0.0", 8642},
        {"192.168.1.20:80", true, false, "192.168.1.20", 80},
        {"[::1]:8642", true, true, "[::1]", 8642},
        {"[::]:8642", true, false, "[::]", 8642},
        {"127.0.0.1:65536", false, false, "", 0},
        {"127.0.0.1:-1", false, false, "", 0},
        {"127.0.0.1", false, false, "", 0},
        {"example.org:80", false, false, "", 0},
        {"::1:8642", false, false, "", 0},
        {"127.0.0.1:86x", false, false, "", 0},
    };
    for (const auto& c : cases) {
        station::ListenAddress address;
        std::string error;
        ASSERT_EQ(station::ParseListenAddress(c.text, address, error), c.valid) << c.text;
        if (c.valid) {
            EXPECT_EQ(address.loopback, c.loopback) << c.text;
            EXPECT_EQ(address.host, c.host) << c.text;
            EXPECT_EQ(address.port, c.port) << c.text;
            EXPECT_EQ(SocketText(address.socket),
                      address.host + ":" + std::to_string(c.port));  // what is bound
            EXPECT_EQ(address.ipv6, address.socket.ss_family == AF_INET6) << c.text;
        }
    }
}

// Paused, a charger plugged in is held and nothing is sent to it; one pulled
// out meanwhile is forgotten; resumed, the held one is served.
TEST(StationDesk, APausedStationStartsNoJobUntilItResumes) {
    benchtest::CBenchRig rig;
    const std::string first = rig.AddCharger("--no-pacing");
    const std::string second = rig.AddCharger("--no-pacing");
    const std::string third = rig.AddCharger("--no-pacing");
    rig.options.mode = bench::Mode::ReadOnly;
    bench::CBench& bench = rig.MakeBench();
    std::vector<bool> told;
    station::CStationDesk desk(bench, [&](bool paused) { told.push_back(paused); });
    desk.Appeared(first);
    desk.Carry({{ControlRequest::Kind::Pause}, {ControlRequest::Kind::Pause}});
    desk.Appeared(second);
    desk.Appeared(third);
    desk.Gone(third);
    bench.WaitIdle();
    EXPECT_EQ(rig.events.Story(first),
              (std::vector<std::string>{"appeared", "started", "finished"}));
    EXPECT_TRUE(rig.events.Story(second).empty());
    EXPECT_TRUE(rig.Charger(1).Log().commands.empty());
    EXPECT_EQ(desk.Held(), std::vector<std::string>{second});

    desk.Carry({{ControlRequest::Kind::Resume}});
    bench.WaitIdle();
    EXPECT_EQ(rig.events.Story(second),
              (std::vector<std::string>{"appeared", "started", "finished"}));
    EXPECT_TRUE(rig.events.Story(third).empty());
    EXPECT_EQ(told, (std::vector<bool>{true, false}));
}

// A slot whose charger was pulled out is idle, not busy: the next charger
// plugged into it is served at once, not held. (The desk has nobody to tell
// of a pause, and is paused and resumed all the same.)
TEST(StationDesk, AChargerPluggedAgainIntoAnEmptiedSlotIsServed) {
    benchtest::CBenchRig rig;
    const std::string port = rig.AddCharger("--no-pacing");
    rig.options.mode = bench::Mode::ReadOnly;
    bench::CBench& bench = rig.MakeBench();
    station::CStationDesk desk(bench, nullptr);
    desk.Carry({{ControlRequest::Kind::Pause}, {ControlRequest::Kind::Resume}});
    desk.Appeared(port);
    bench.WaitIdle();
    desk.Gone(port);
    desk.Appeared(port);
    bench.WaitIdle();
    EXPECT_TRUE(desk.Held().empty());
    EXPECT_EQ(rig.events.Story(port),
              (std::vector<std::string>{"appeared", "started", "finished", "gone", "appeared",
                                        "started", "finished"}));
}

// The word a row's state shows, while a job runs and once it ended.
TEST(StationBoard, StateWords) {
    struct Case {
        bench::SlotState state;
        std::optional<bench::Outcome> outcome;
        std::string before;
        bool stopped;
        const char* word;
    };
    const Case cases[] = {
        {bench::SlotState::Empty, std::nullopt, "", false, "unplugged"},
        {bench::SlotState::Waiting, std::nullopt, "", false, "waiting"},
        {bench::SlotState::Upgrading, std::nullopt, "2.09", false, "upgrading"},
        {bench::SlotState::Finished, bench::Outcome::Upgraded, "2.09", false, "upgraded"},
        {bench::SlotState::Finished, bench::Outcome::Read, "2.09", false, "read"},
        {bench::SlotState::Finished, bench::Outcome::Read, "", false, "no firmware"},
        {bench::SlotState::Finished, bench::Outcome::Failed, "2.09", false, "failed"},
        {bench::SlotState::Finished, bench::Outcome::Failed, "2.09", true, "stopped"},
    };
    for (const auto& c : cases) {
        bench::SlotInfo slot;
        slot.state = c.state;
        if (c.outcome) {
            slot.result.emplace();
            slot.result->outcome = *c.outcome;
            slot.result->before = c.before;
            slot.result->stopped = c.stopped;
        }
        EXPECT_EQ(station::StateWord(slot), c.word) << c.word;
    }
}

// A row keeps the block its upload reached while the versions are read
// again; a job that reached no charger counts for today only.
TEST(StationBoard, RowsKeepTheirProgressAndTodayCountsTheUnanswered) {
    std::time_t now = 1796644800;  // 2026-12-07T12:00:00Z
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    station::CSlotNames names;
    station::CStationBoard board(names, [&] { return now; });
    bench::SlotInfo slot;
    slot.port = "/dev/ttyUSB0";
    slot.state = bench::SlotState::Upgrading;
    slot.block = 50;
    slot.totalBlocks = 101;
    board.OnBenchEvent({bench::EventKind::Progress, slot, ""});
    slot.state = bench::SlotState::Checking;
    slot.block = 0;
    board.OnBenchEvent({bench::EventKind::Status, slot, ""});
    EXPECT_NE(board.RowsJson().find("\"state\":\"checking\",\"block\":50,\"blocks\":101"),
              std::string::npos)
        << board.RowsJson();
    slot.state = bench::SlotState::Finished;
    slot.result.emplace();
    slot.result->answered = false;
    slot.result->reason = "No answer.";
    board.OnBenchEvent({bench::EventKind::Finished, slot, ""});
    EXPECT_NE(board.RowsJson().find("\"reason\":\"No answer.\""), std::string::npos);
    EXPECT_EQ(board.Unanswered(), 1);
    EXPECT_EQ(board.SlotOf("/dev/ttyUSB0"), 0);
    EXPECT_EQ(board.SlotOf("/dev/ttyUSB1"), std::nullopt);
    now += 86400;
    EXPECT_EQ(board.Unanswered(), 0);
}
