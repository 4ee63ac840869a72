// One journal line read into a record: the older journal shapes, damaged
// lines, and what a record read back keeps of its line.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>

#include "RecordLines.h"
#include "records/HistoryCsv.h"
#include "records/HistoryFilter.h"
#include "records/RecordParser.h"

using records::ServiceRecord;
using recordtest::Journal;

// bench.jsonl names no host, tool or device ID; upgrade.log is key=value
// with local time and the window's verdict text. All read as one record.
TEST(RecordReadBack, ReadsTheOlderJournals) {
    records::CRecordParser parser;
    ServiceRecord r;
    const std::string benchLine =
        "{\"time\":\"2026-12-06T10:00:00Z\",\"port\":\"/dev/ttyUSB3\",\"device\":\"/dev/ttyUSB3\","
        "\"byId\":\"\",\"identification\":[\"deviceid VC-OLD-1 \",\"Boot 1.3\"],"
        "\"bootCode\":\"1.3\",\"before\":\"2.09\",\"after\":\"\",\"blocks\":41,\"resends\":2,"
        "\"seconds\":37.5,\"outcome\":\"failed\",\"reason\":\"No answer.\","
        "\"image\":{\"label\":\"2.10e\",\"size\":12810,\"crc\":\"20C5\",\"path\":\"/srv/a.bin\"}}";
    ASSERT_TRUE(parser.Parse(benchLine, r).record);
    EXPECT_EQ(std::tie(r.time, r.tool, r.deviceId, r.outcomeText, r.reason, r.image.path),
              std::make_tuple("2026-12-06T10:00:00Z", "bench", "VC-OLD-1", "failed", "No answer.",
                              "/srv/a.bin"));
    EXPECT_EQ(std::tie(r.blocks, r.resends, r.image.size), std::make_tuple(41, 2, 12810));

    const std::string upgradeLine =
        "2024-05-01T09:30:00+0200 port=\"COM2\" device=\"/dev/ttyUSB0\" image=\"2.10e\" "
        "bytes=12810 crc=1D0F file=\"/srv/\\\"q\\\".bin\" before=2.09 after=- blocks=101 "
        "resends=4 outcome=\"Upgrade Process Failed\"";
    ASSERT_TRUE(parser.Parse(upgradeLine, r).record);
    EXPECT_EQ(std::tie(r.time, r.port, r.image.path, r.before, r.after, r.outcomeText, r.reason),
              std::make_tuple("2024-05-01T07:30:00Z", "COM2", "/srv/\"q\".bin", "2.09", "",
                              "failed", "Upgrade Process Failed"));
    EXPECT_FALSE(r.simulated);

    // The first session log had no image fields; "simulated" was the port.
    ASSERT_TRUE(parser
                    .Parse("2024-05-01T09:30:00+0200 port=\"simulated\" device=\"/dev/pts/4\" "
                           "before=2.09 after=2.10e blocks=101 resends=0 "
                           "outcome=\"Upgrade Successful\"",
                           r)
                    .record);
    EXPECT_EQ(std::tie(r.outcomeText, r.after, r.image.label, r.reason),
              std::make_tuple("upgraded", "2.10e", "", ""));
    EXPECT_TRUE(r.simulated);
}

// A line cut short is skipped and counted; a record appended to its stump
// is kept; a system log's prefix is no damage; bytes that are not UTF-8
// in an old line do not cost the record.
TEST(RecordReadBack, DamagedLinesAreCountedAndWhatFollowsKept) {
    const std::string whole = Journal("2026-12-07T20:00:00Z", "A", "read");
    const struct {
        std::string line;
        bool record;
        bool damaged;
    } cases[] = {
        {whole.substr(0, 60), false, true},
        {whole.substr(0, 60) + whole, true, true},
        {std::string(12, '\0') + whole, true, false},
        {"Dec  7 20:00:00 pc1 corvane[411]: " + whole, true, false},
        {"2024-05-01 garbage", false, true},
        {"{\"host\":\"pc1\"}", false, true},
        {"   \t", false, false},
        {Journal("2026-12-07T20:00:00Z", "B\xff", "read"), true, false},
    };
    records::CRecordParser parser;
    for (const auto& c : cases) {
        ServiceRecord r;
        const records::LineResult result = parser.Parse(c.line, r);
        EXPECT_EQ(result.record, c.record) << c.line;
        EXPECT_EQ(result.damaged, c.damaged) << c.line;
    }
    ServiceRecord r;
    parser.Parse(cases[7].line, r);
    EXPECT_EQ(r.deviceId, "B\xef\xbf\xbd");
}

// A record as --json writes it back: its counts and time as they were read.
// Numbers no count holds, and times that could not be written back in the
// journal's own form, damage the line instead.
TEST(RecordReadBack, FieldsAreWrittenBackAsReadOrTheLineIsDamaged) {
    const std::string at = "{\"time\":\"2026-12-06T10:00:00Z\"";
    const struct {
        std::string line;
        const char* written;  // a part of the line written back; null: damaged
    } cases[] = {
        {at + ",\"image\":{\"size\":1e110}}", nullptr},
        {at + ",\"blocks\":1e19}", nullptr},
        {at + ",\"resends\":1e19}", nullptr},
        {at + ",\"blocks\":-9223372036854775808,\"resends\":4.0}", "\"resends\":4,"},
        {at + ",\"blocks\":3000000000,\"resends\":-3000000000}",
         "\"blocks\":3000000000,\"resends\":-3000000000,"},
        {"{\"time\":\"1000-01-01T00:00:00Z\"}", "{\"time\":\"1000-01-01T00:00:00Z\","},
        {"{\"time\":\"9999-12-31T23:59:59Z\"}", "{\"time\":\"9999-12-31T23:59:59Z\","},
        {"{\"time\":\"0999-12-31T23:59:59Z\"}", nullptr},
        {"{\"time\":\"1000-01-01T00:30+01:00\"}", nullptr},
        {"{\"time\":\"9999-12-31T23:30-01:00\"}", nullptr},
        // Another zone is written back in UTC, across a day in another
        // century; a zone of hours alone has no minutes.
        {"{\"time\":\"2100-03-01T00:30:00+01:00\"}", "{\"time\":\"2100-02-28T23:30:00Z\","},
        {"{\"time\":\"2026-12-07T00:30:00+01\"}", "{\"time\":\"2026-12-06T23:30:00Z\","},
        {"{\"time\":\"2026-12-07T00:30:00+01:3\"}", nullptr},
        {"{\"time\":\"2026-12-07T00:30:00.250+01:00\"}", "{\"time\":\"2026-12-06T23:30:00Z\","},
        {"2024-05-01T09:30:00+0200 port=\"COM2\" blocks=101 outcome=\"Upgrade Successful\"",
         "\"tool\":\"\""},
        {"2024-05-01T09:30:00+0200 port=COM\xff"
         "2 before=\xe1",
         "\"port\":\"COM\xef\xbf\xbd"
         "2\""},
        // The outcome and reason as the journal has them, even where the
        // journal writer would not write them so; none stays none.
        {at + ",\"outcome\":\"exploded\",\"reason\":\"Boom.\"}",
         "\"seconds\":0.0,\"outcome\":\"exploded\",\"reason\":\"Boom.\","},
        {at + ",\"outcome\":\"upgraded\",\"reason\":\"odd\"}",
         "\"outcome\":\"upgraded\",\"reason\":\"odd\","},
        {at + ",\"outcome\":\"\"}", "\"seconds\":0.0,\"outcome\":\"\",\"reason\":\"\","},
        {at + "}", "\"seconds\":0.0,\"reason\":\"\","},
        // A slot's label comes last; a line without one has none.
        {at + ",\"slot\":\"Slot 1\",\"simulated\":true}",
         "\"identification\":[],\"simulated\":true,\"slot\":\"Slot 1\"}"},
        {at + ",\"identification\":[]}", "\"identification\":[]}"},
    };
    records::CRecordParser parser;
    for (const auto& c : cases) {
        ServiceRecord r;
        const records::LineResult result = parser.Parse(c.line, r);
        EXPECT_EQ(result.record, c.written != nullptr) << c.line;
        EXPECT_EQ(result.damaged, c.written == nullptr) << c.line;
        if (result.record && c.written != nullptr) {
            const std::string json = records::ServiceRecordLine(r);
            EXPECT_NE(json.find(c.written), std::string::npos) << json;
            ServiceRecord again;
            EXPECT_TRUE(parser.Parse(json, again).record) << json;
            EXPECT_EQ(std::tie(again.when, again.tool, again.port, again.before, again.blocks,
                               again.resends, again.outcomeText, again.reason, again.slot),
                      std::tie(r.when, r.tool, r.port, r.before, r.blocks, r.resends, r.outcomeText,
                               r.reason, r.slot))
                << json;
        }
    }
    std::int64_t since = 0;
    EXPECT_FALSE(records::ParseSince("0999-12-31", 1'800'000'000, since));
}

// Only the object that ends a line can be a whole record, whatever record
// starts stand before it (stumps of cut lines) or inside it (in a nested
// object or a quoted text).
TEST(RecordReadBack, RecordThatEndsTheLineIsReadWhateverStartsItHolds) {
    const std::string at = "{\"time\":\"2026-12-07T20:00:00Z\"";
    const struct {
        std::string line;
        const char* deviceId;
        bool damaged;
    } cases[] = {
        {"{\"time\":\"2026-12-0{\"time\":\"20" + at +
             ",\"image\":{\"time\":\"x\"},\"deviceId\":\"A\"}",
         "A", true},
        {at + ",\"identification\":[{\"time\":1}],\"deviceId\":\"B\"}", "B", false},
        {at + ",\"reason\":\"x\\\\\\\"{\\\"time\\\":{\\\\\",\"deviceId\":\"C\"}  ", "C", false},
        {"{\"time\":\"x\\\\\"}" + at + ",\"deviceId\":\"D\"}", "D", true},
        // Braces inside the record's own texts, one after an escaped quote,
        // and white space after it: the record is still found behind a stump.
        {"{\"time\":\"2026" + at + ",\"reason\":\"}{\",\"deviceId\":\"E\"} \r", "E", true},
        {"{\"time\":\"2026" + at + ",\"reason\":\"q\\\"}{\",\"deviceId\":\"F\"}", "F", true},
    };
    records::CRecordParser parser;
    for (const auto& c : cases) {
        ServiceRecord r;
        const records::LineResult result = parser.Parse(c.line, r);
        EXPECT_TRUE(result.record) << c.line;
        EXPECT_EQ(result.damaged, c.damaged) << c.line;
        EXPECT_EQ(r.deviceId, c.deviceId) << c.line;
    }
}

// A record without counts reads them as none, not as a count of its own.
TEST(RecordReadBack, MissingCountsReadAsZero) {
    records::CRecordParser parser;
    ServiceRecord r;
    r.blocks = r.resends = 7;
    ASSERT_TRUE(parser.Parse("{\"time\":\"2026-12-07T20:00:00Z\",\"deviceId\":\"H\"}", r).record);
    EXPECT_EQ(r.blocks, 0);
    EXPECT_EQ(r.resends, 0);
}

// A line read into a record that held another one keeps nothing of it, in
// either shape of journal.
TEST(RecordReadBack, LineReadIntoAUsedRecordKeepsNothingOfIt) {
    const std::string full = Journal(
        "2026-12-07T20:00:00Z", "FULL", "failed",
        ",\"bootCode\":\"1.3\",\"before\":\"2.09\",\"after\":\"2.10e\",\"image\":{\"label\":"
        "\"2.10e\",\"size\":12810,\"crc\":\"20C5\",\"path\":\"/srv/a.bin\"},\"blocks\":41,"
        "\"resends\":2,\"seconds\":37.5,\"reason\":\"No answer.\",\"identification\":"
        "[\"deviceid FULL\",\"Boot 1.3\"],\"simulated\":true");
    records::CRecordParser parser;
    for (const char* line :
         {"{\"time\":\"2026-12-07T20:00:01Z\"}", "2024-05-01T09:30:00+0200 port=\"COM2\""}) {
        ServiceRecord used;
        ASSERT_TRUE(parser.Parse(full, used).record);
        ASSERT_TRUE(parser.Parse(line, used).record) << line;
        ServiceRecord fresh;
        ASSERT_TRUE(parser.Parse(line, fresh).record) << line;
        EXPECT_TRUE(used == fresh) << line;
    }
}
