// The records the station's page lists and offers: the query filtered as
// history filters, today's CSV, and the day's tally on the station's own
// side (simulated records apart).
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "cli/station/StationApi.h"
#include "common/TestKit.h"

// A journal of three records today (one simulated) and one yesterday.
class StationRecords : public ::testing::Test {
protected:
    StationRecords() {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        std::ofstream(m_journal) << Line("2026-12-06T10:00:00Z", "VC-4", "upgraded", "", false)
                                 << Line("2026-12-07T08:00:00Z", "VC-1", "upgraded", "", false)
                                 << Line("2026-12-07T09:00:00Z", "VC-2", "failed",
                                         "Refused <script>x</script>", false)
                                 << Line("2026-12-07T10:00:00Z", "VC-3", "current", "", true);
        m_source.journals = [this] { return std::vector<std::string>{m_journal}; };
        m_source.now = [] { return std::int64_t{1796644800}; };  // 2026-12-07T12:00:00Z
    }

    static std::string Line(const std::string& time, const std::string& id,
                            const std::string& outcome, const std::string& reason, bool simulated) {
        return "{\"time\":\"" + time +
               "\",\"host\":\"benchpc\",\"tool\":\"bench\",\"port\":\"/dev/" + id +
               "\",\"deviceId\":\"" + id + "\",\"before\":\"2.09\",\"after\":\"2.10e\"," +
               "\"outcome\":\"" + outcome + "\",\"reason\":\"" + reason + "\"" +
               (simulated ? ",\"simulated\":true" : "") + "}\n";
    }

    station::HttpResponse Get(const std::string& path,
                              std::map<std::string, std::string> query = {}) {
        station::CSlotNames names;
        station::CStationBoard board(names, [] { return std::time_t{1796644800}; });
        station::CEventHub hub([] { return std::string("[]"); });
        station::CStationControl control;
        station::CStationApi api(board, hub, control, "token", m_source);
        return api.Handle({"GET", path, std::move(query), ""});
    }

    testkit::CScratchDir m_scratch;
    std::string m_journal = m_scratch.Path() + "/records.jsonl";
    station::RecordSource m_source;
};

TEST_F(StationRecords, TheQueryFiltersAsHistoryDoes) {
    const auto all = Get("/api/records").body;
    EXPECT_LT(all.find("VC-3"), all.find("VC-2"));  // newest first
    EXPECT_LT(all.find("VC-1"), all.find("VC-4"));
    EXPECT_EQ(all.front(), '[');
    const auto today = Get("/api/records", {{"since", "2026-12-07"}}).body;
    EXPECT_EQ(today.find("VC-4"), std::string::npos) << today;
    EXPECT_NE(today.find("VC-1"), std::string::npos) << today;
    const auto one = Get("/api/records", {{"device", "vc-2"}}).body;
    EXPECT_NE(one.find("\"reason\":\"Refused \\u003cscript\\u003ex\\u003c/script\\u003e\""),
              std::string::npos)
        << one;
    EXPECT_EQ(one.find("VC-1"), std::string::npos) << one;
    const auto two = Get("/api/records", {{"limit", "2"}}).body;
    EXPECT_EQ(two.find("VC-1"), std::string::npos) << two;
    EXPECT_NE(two.find("VC-2"), std::string::npos) << two;
    for (const auto& bad : std::vector<std::map<std::string, std::string>>{
             {{"since", "soon"}}, {{"limit", "0"}}, {{"limit", "5001"}}, {{"colour", "red"}}}) {
        EXPECT_EQ(Get("/api/records", bad).status, 400) << bad.begin()->first;
    }
}

TEST_F(StationRecords, TheCsvHoldsTodaysRecords) {
    const auto csv = Get("/api/records.csv");
    EXPECT_EQ(csv.contentType, "text/csv; charset=utf-8");
    EXPECT_EQ(std::count(csv.body.begin(), csv.body.end(), '\n'), 4);  // header and three
    EXPECT_EQ(csv.body.find("VC-4"), std::string::npos);
    EXPECT_EQ(csv.headers.at(0).second, "attachment; filename=\"records-2026-12-07.csv\"");
}

TEST_F(StationRecords, TheTallyCountsTodayOnTheStationsOwnSide) {
    EXPECT_EQ(Get("/api/today").body,
              "{\"day\":\"2026-12-07\",\"current\":0,\"failed\":1,\"read\":0,\"upgraded\":1,"
              "\"unanswered\":0,\"paused\":false}\n");
    m_source.simulated = true;
    EXPECT_EQ(Get("/api/today").body,
              "{\"day\":\"2026-12-07\",\"current\":1,\"failed\":0,\"read\":0,\"upgraded\":0,"
              "\"unanswered\":0,\"paused\":false}\n");
}
