// The station's live side against simulated chargers: rows and events carry
// a charger's text as JSON text, never as markup; readers that stop reading
// or go away hold no job up; a reader left behind is brought back with a
// snapshot; a paused station starts no job.
#include <gtest/gtest.h>

#include "HttpClient.h"
#include "StationRig.h"

using stationtest::CConnection;
using stationtest::CStationRig;
using stationtest::HttpReply;
using stationtest::Request;

namespace {

constexpr int kBoundMs = 60000;
const std::string kEvents = "GET /api/events HTTP/1.1\r\nHost: x\r\n\r\n";

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

// A device ID with markup is text in every answer: the row's JSON carries it
// escaped, so no page that reads it can take it for an element.
TEST(StationStream, MarkupInADeviceIdArrivesAsEscapedText) {
    CStationRig rig;
    rig.AddCharger("--no-pacing --device-id <b>X</b>&amp;");
    rig.Options().mode = bench::Mode::ReadOnly;
    rig.StartServer();
    CConnection events(rig.Port());
    ASSERT_TRUE(events.Send(kEvents));
    rig.StartBench();
    ASSERT_TRUE(rig.WaitIdle(kBoundMs));
    const std::string escaped = R"("deviceId":"\u003cb\u003eX\u003c/b\u003e\u0026amp;")";
    const std::string stream = events.ReadUntil("event: slot\ndata: {\"event\":\"finished\"", 5000);
    EXPECT_TRUE(Has(stream, escaped)) << stream;
    const HttpReply slots = Request(rig.Port(), "GET", "/api/slots");
    EXPECT_EQ(slots.Header("content-type"), "application/json");
    EXPECT_TRUE(Has(slots.body, escaped)) << slots.body;
    for (const std::string& text : {stream, slots.body}) {
        EXPECT_FALSE(Has(text, "<")) << text;
        EXPECT_FALSE(Has(text, "&")) << text;
    }
}

// Every event of a job reaches an open stream in order as a whole row.
TEST(StationStream, AJobsEventsArriveAsRows) {
    CStationRig rig;
    const std::string port = rig.AddCharger("--no-pacing");
    rig.StartServer();
    CConnection events(rig.Port());
    ASSERT_TRUE(events.Send(kEvents));
    ASSERT_TRUE(Has(events.ReadUntil(": corvane station\n\n", 5000), "200 OK"));
    rig.StartBench();
    ASSERT_TRUE(rig.WaitIdle(kBoundMs));
    const std::string stream = events.ReadUntil("\"state\":\"upgraded\"", 5000);
    const std::string row = "\"slot\":\"" + port + "\",\"port\":\"" + port + "\"";
    std::size_t at = 0;
    for (const char* kind : {"appeared", "started", "progress", "finished"}) {
        at = stream.find("event: slot\ndata: {\"event\":\"" + std::string(kind) + "\"," + row, at);
        EXPECT_NE(at, std::string::npos) << kind << " in " << stream;
    }
    EXPECT_TRUE(Has(stream, "\"block\":101,\"blocks\":101,\"before\":\"2.09\",\"after\":\"2.10e\""))
        << stream;
}

// Five readers that never read (small buffers) and one that hangs up: the
// bench still serves every charger.
TEST(StationStream, ReadersThatStallOrLeaveDoNotHoldTheBenchUp) {
    CStationRig rig;
    for (int i = 0; i < 4; ++i) {
        rig.AddCharger("--no-pacing");
    }
    rig.StartServer();
    std::vector<std::unique_ptr<CConnection>> stalled;
    for (int i = 0; i < 5; ++i) {
        stalled.push_back(std::make_unique<CConnection>(rig.Port(), "127.0.0.1", 1024));
        ASSERT_TRUE(stalled.back()->Send(kEvents));
    }
    CConnection gone(rig.Port());
    gone.Send(kEvents);
    gone.Close();
    rig.StartBench();
    ASSERT_TRUE(rig.WaitIdle(kBoundMs));
    for (const auto& slot : rig.Slots()) {
        ASSERT_TRUE(slot.result);
        EXPECT_EQ(slot.result->outcome, bench::Outcome::Upgraded) << slot.port;
    }
    // Whether its reader was resynced or kept up, a stalled stream read now
    // ends with every charger as it stands.
    for (const auto& port : rig.Ports()) {
        const std::string row =
            "\"port\":\"" + port + "\",\"deviceId\":\"VC-4017-0032\"," + "\"state\":\"upgraded\"";
        EXPECT_TRUE(Has(stalled.front()->ReadUntil(row, 5000), row)) << port;
    }
}

// Stopping the server with a stream asleep ends it at once for its reader.
TEST(StationStream, StoppingTheServerEndsAnIdleStream) {
    CStationRig rig;
    rig.Start();
    CConnection events(rig.Port());
    ASSERT_TRUE(events.Send(kEvents));
    ASSERT_TRUE(Has(events.ReadUntil(": corvane station\n\n", 5000), "text/event-stream"));
    rig.server.Stop();
    EXPECT_TRUE(events.ClosedWithin(5000));
}

// A heartbeat reaches a quiet stream as a comment, so a reader that went
// away is noticed.
TEST(StationStream, AHeartbeatReachesAQuietStream) {
    CStationRig rig;
    rig.Start();
    CConnection events(rig.Port());
    ASSERT_TRUE(events.Send(kEvents));
    ASSERT_TRUE(Has(events.ReadUntil(": corvane station\n\n", 5000), "200"));
    rig.hub.Heartbeat();
    EXPECT_TRUE(Has(events.ReadUntil(": keep-alive\n\n", 5000), ": keep-alive\n\n"));
}

// The hub on its own, with the server's side played by the test: a reader
// asleep is woken once per publish (one that never slept is not: the server
// would resume a connection it never suspended), one left behind the ring
// gets a snapshot, and an ended reader, or any once the hub closed, says End.
TEST(StationHub, ReadersAreWokenResyncedAndEnded) {
    station::CEventHub hub([] { return std::string("[\"now\"]"); }, 4);
    auto stream = hub.Subscribe();
    int wakes = 0;
    int suspends = 0;
    stream->Attach([&] { ++wakes; });
    auto awake = hub.Subscribe();
    int awakeWakes = 0;
    awake->Attach([&] { ++awakeWakes; });
    const auto suspend = [&] { ++suspends; };
    std::string out;
    using Pull = station::IEventStream::Pull;
    ASSERT_EQ(stream->Next(out, suspend), Pull::Data);  // the greeting
    out.clear();
    EXPECT_EQ(stream->Next(out, suspend), Pull::Wait);
    EXPECT_EQ(suspends, 1);
    hub.Publish("slot", "{\"a\":1}");
    hub.Publish("slot", "{\"a\":2}");
    EXPECT_EQ(wakes, 1);
    EXPECT_EQ(awakeWakes, 0);
    ASSERT_EQ(stream->Next(out, suspend), Pull::Data);
    EXPECT_EQ(out,
              "id: 1\nevent: slot\ndata: {\"a\":1}\n\nid: 2\nevent: slot\ndata: {\"a\":2}\n\n");
    for (int i = 3; i <= 9; ++i) {
        hub.Publish("slot", "{}");
    }
    out.clear();
    ASSERT_EQ(stream->Next(out, suspend), Pull::Data);
    EXPECT_EQ(out, "id: 9\nevent: snapshot\ndata: [\"now\"]\n\n");
    EXPECT_EQ(hub.Resyncs(), 1u);
    hub.Publish("station", "{}");
    out.clear();
    ASSERT_EQ(stream->Next(out, suspend), Pull::Data);
    EXPECT_EQ(out, "id: 10\nevent: station\ndata: {}\n\n");
    out.clear();
    EXPECT_EQ(stream->Next(out, suspend), Pull::Wait);
    stream->End();
    EXPECT_EQ(wakes, 2);
    EXPECT_EQ(stream->Next(out, suspend), Pull::End);
    EXPECT_EQ(hub.Readers(), 2u);
    stream.reset();
    EXPECT_EQ(hub.Readers(), 1u);

    // Closing the hub wakes a reader asleep, which then ends, as does one
    // that subscribes after.
    Pull pulled = Pull::Data;
    for (int pull = 0; pull < 5 && pulled == Pull::Data; ++pull) {
        out.clear();
        pulled = awake->Next(out, suspend);  // the greeting, a snapshot, then asleep
    }
    ASSERT_EQ(pulled, Pull::Wait);
    hub.Close();
    EXPECT_EQ(awakeWakes, 1);
    EXPECT_EQ(awake->Next(out, suspend), Pull::End);
    EXPECT_EQ(hub.Subscribe()->Next(out, suspend), Pull::End);
}
