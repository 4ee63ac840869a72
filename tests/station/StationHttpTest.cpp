// The station's HTTP server against a bench of simulated chargers in this
// process, spoken to over real loopback sockets: control needs the token,
// requests are bounded, idle connections cannot crowd out a new client,
// and the page's readers, slow or gone, never hold the bench up.
#include <gtest/gtest.h>

#include <regex>

#include "HttpClient.h"
#include "StationRig.h"
#include "common/TestKit.h"

using stationtest::BearerHeader;
using stationtest::CConnection;
using stationtest::CStationRig;
using stationtest::HttpReply;
using stationtest::Request;

namespace {

constexpr int kBoundMs = 60000;
constexpr const char* kPaced = "";             // as on a 38400-baud line
constexpr const char* kQuick = "--no-pacing";  // the test's chargers need no line time

std::string StopPath(const std::string& port) {
    return "/api/slots/" + port + "/stop";
}

// Waits until the charger at port is sending blocks.
bool Uploading(CStationRig& rig, const std::string& port) {
    return rig.Events().WaitFor(
        [&](const std::vector<bench::BenchEvent>& events) {
            for (const auto& event : events) {
                if (event.slot.port == port && event.kind == bench::EventKind::Progress) {
                    return true;
                }
            }
            return false;
        },
        kBoundMs);
}

struct Refused {
    const char* name;
    std::string authorization;  // the header line, "" for none
};

}  // namespace

// Two chargers upload. Every way of asking without the token is refused
// and stops nothing; the token stops the other charger's job, and only it.
TEST(StationControl, OnlyTheTokenStopsAJob) {
    CStationRig rig;
    const std::string kept = rig.AddCharger(kPaced);
    const std::string stopped = rig.AddCharger(kPaced);
    rig.Start();
    ASSERT_TRUE(Uploading(rig, kept));
    const std::string token = CStationRig::kToken;
    const Refused refused[] = {
        {"no header", ""},
        {"another token", BearerHeader(std::string(64, 'b'))},
        {"the token cut short", BearerHeader(token.substr(0, 63))},
        {"the token and more", BearerHeader(token + "a")},
        {"an empty token", "Authorization: Bearer \r\n"},
        {"another scheme", "Authorization: Basic " + token + "\r\n"},
        {"the token alone", "Authorization: " + token + "\r\n"},
    };
    for (const auto& attempt : refused) {
        for (const std::string& path : {StopPath(kept), std::string("/api/stop")}) {
            const HttpReply reply = Request(rig.Port(), "POST", path, attempt.authorization);
            EXPECT_EQ(reply.status, 401) << attempt.name << " " << path;
            EXPECT_EQ(reply.Header("www-authenticate"), "Bearer realm=\"corvane station\"");
        }
    }
    const HttpReply ok = Request(rig.Port(), "POST", StopPath(stopped), BearerHeader(token));
    EXPECT_EQ(ok.status, 202) << ok.body;
    ASSERT_TRUE(rig.WaitIdle(kBoundMs));
    EXPECT_EQ(rig.requestsCarried, 1);
    for (const auto& slot : rig.Slots()) {
        ASSERT_TRUE(slot.result) << slot.port;
        EXPECT_EQ(slot.result->stopped, slot.port == stopped) << slot.port;
        EXPECT_EQ(slot.result->outcome == bench::Outcome::Upgraded, slot.port == kept);
    }
}

TEST(StationControl, AnUnknownSlotIsNotFoundEvenWithTheToken) {
    CStationRig rig;
    rig.AddCharger(kQuick);
    rig.Start();
    const HttpReply reply =
        Request(rig.Port(), "POST", StopPath("/dev/ttyUSB9"), BearerHeader(CStationRig::kToken));
    EXPECT_EQ(reply.status, 404);
    EXPECT_EQ(reply.body, "No such slot.\n");
}

// Every answer forbids other origins' scripts, sniffing and framing; the
// API's answers are never cached.
TEST(StationHttp, EveryAnswerCarriesItsGuards) {
    CStationRig rig;
    rig.Start();
    struct Case {
        const char* method;
        const char* path;
        int status;
        const char* cache;
    };
    const Case cases[] = {
        {"GET", "/", 200, "no-cache"},
        {"GET", "/station.js", 200, "no-cache"},
        {"GET", "/station.css", 200, "no-cache"},
        {"GET", "/api/slots", 200, "no-store"},
        {"GET", "/api/today", 200, "no-store"},
        {"GET", "/api/records", 200, "no-store"},
        {"GET", "/nothing", 404, "no-store"},
        {"GET", "/api/stop", 405, "no-store"},
        {"POST", "/api/slots", 405, "no-store"},
        {"DELETE", "/", 405, "no-store"},
    };
    for (const auto& c : cases) {
        const HttpReply reply = Request(rig.Port(), c.method, c.path);
        EXPECT_EQ(reply.status, c.status) << c.method << " " << c.path;
        EXPECT_EQ(reply.Header("content-security-policy"), "default-src 'self'") << c.path;
        EXPECT_EQ(reply.Header("x-content-type-options"), "nosniff") << c.path;
        EXPECT_EQ(reply.Header("cache-control"), c.cache) << c.path;
        EXPECT_EQ(reply.Header("set-cookie"), "") << c.path;
        EXPECT_LT(reply.body.size(), c.status == 200 ? 100000u : 80u) << c.path;
    }
    EXPECT_EQ(Request(rig.Port(), "GET", "/api/stop").Header("allow"), "POST");
    EXPECT_EQ(Request(rig.Port(), "POST", "/").Header("allow"), "GET, HEAD");
}

// A body over the limit is refused before it is read, whether it is
// announced or sent in chunks; headers past the request limit never reach
// the handler.
TEST(StationHttp, OversizedRequestsAreRefused) {
    CStationRig rig;
    rig.Start();
    CConnection announced(rig.Port());
    announced.Send("POST /api/stop HTTP/1.1\r\nHost: x\r\nContent-Length: 100000000\r\n\r\n");
    EXPECT_EQ(stationtest::Parse(announced.ReadUntil("\r\n\r\n", 5000)).status, 413);

    CConnection chunked(rig.Port());
    chunked.Send("POST /api/stop HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n");
    for (int i = 0; i < 4; ++i) {
        chunked.Send("400\r\n" + std::string(1024, 'x') + "\r\n");
    }
    chunked.Send("0\r\n\r\n");
    EXPECT_EQ(stationtest::Parse(chunked.ReadUntil("\r\n\r\n", 5000)).status, 413);

    const HttpReply big = Request(rig.Port(), "GET", "/api/slots",
                                  "X-Filler: " + std::string(64 * 1024, 'x') + "\r\n");
    EXPECT_TRUE(big.status == 413 || big.status == 431) << big.status;
    EXPECT_EQ(rig.requestsCarried, 0);

    // A body of exactly the limit, announced or chunked, reaches the handler
    // (which refuses it for want of the token).
    const std::string body(1024, 'x');
    CConnection announcedAtLimit(rig.Port());
    announcedAtLimit.Send("POST /api/stop HTTP/1.1\r\nHost: x\r\nContent-Length: 1024\r\n\r\n" +
                          body);
    EXPECT_EQ(stationtest::Parse(announcedAtLimit.ReadUntil("\r\n\r\n", 5000)).status, 401);
    CConnection chunkedAtLimit(rig.Port());
    chunkedAtLimit.Send(
        "POST /api/stop HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n400\r\n" + body +
        "\r\n0\r\n\r\n");
    EXPECT_EQ(stationtest::Parse(chunkedAtLimit.ReadUntil("\r\n\r\n", 5000)).status, 401);
}

// Idle connections from one address stop at its share: the next one from
// there is closed at once without a byte, while another address is served.
// The debug log says why, in the library's words, and nothing of the
// library's goes past it.
TEST(StationHttp, OneAddressGetsOnlyItsShareOfConnections) {
    testkit::CDebugRecorder debug;
    station::ServerLimits limits;
    limits.perAddress = 16;
    CStationRig rig(limits);
    rig.Start();
    std::vector<std::unique_ptr<CConnection>> idle;
    for (int i = 0; i < 16; ++i) {
        idle.push_back(std::make_unique<CConnection>(rig.Port(), "127.0.1.1"));
        idle.back()->Send("GET / HTTP/1.1\r\n");  // and never the rest
    }
    EXPECT_EQ(Request(rig.Port(), "GET", "/api/slots").status, 200);
    CConnection seventeenth(rig.Port(), "127.0.1.1");
    seventeenth.Send("GET /api/slots HTTP/1.1\r\nHost: x\r\n\r\n");
    std::string answer;
    EXPECT_TRUE(seventeenth.ClosedWithin(5000, &answer));
    EXPECT_EQ(answer, "");
    for (const auto& connection : idle) {
        EXPECT_FALSE(connection->ClosedWithin(0));
    }
    EXPECT_EQ(debug.Text(),
              "station http: Server reached connection limit. Closing inbound "
              "connection.\n");
}

// Idle connections from many addresses fill the server to its limit; a new
// client then waits in the listen queue, and is served as soon as the idle
// ones reach their timeout, not left waiting on them for good.
TEST(StationHttp, IdleConnectionsAtTheLimitGiveWayAfterTheirTimeout) {
    station::ServerLimits limits;
    limits.connections = 64;
    limits.perAddress = 16;
    limits.idleSeconds = 2;
    CStationRig rig(limits);
    rig.Start();
    std::vector<std::unique_ptr<CConnection>> idle;
    for (int i = 0; i < 64; ++i) {
        const std::string from = "127.0.1." + std::to_string(1 + i / 16);
        idle.push_back(std::make_unique<CConnection>(rig.Port(), from));
        idle.back()->Send("GET / HTTP/1.1\r\n");
    }
    CConnection late(rig.Port(), "127.0.2.1");
    late.Send("GET /api/slots HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(stationtest::Parse(late.ReadUntil("\r\n\r\n", 10000)).status, 200);
    for (const auto& connection : idle) {
        EXPECT_TRUE(connection->ClosedWithin(5000));
    }
}

TEST(StationHttp, AnIdleConnectionIsClosedAfterItsTimeout) {
    station::ServerLimits limits;
    limits.idleSeconds = 1;
    CStationRig rig(limits);
    rig.Start();
    CConnection idle(rig.Port());
    idle.Send("GET / HTTP/1.1\r\n");
    EXPECT_TRUE(idle.ClosedWithin(5000));
}
