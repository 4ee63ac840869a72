// What the history makes of records: --since's dates and spans, the
// summary's counts, the CSV and the versions column.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "records/HistoryCsv.h"
#include "records/HistoryFilter.h"
#include "records/HistoryTally.h"

using records::ServiceRecord;

TEST(RecordReadBack, SinceTakesDatesAndSpans) {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    const std::int64_t now = 1'800'000'000;
    const std::pair<const char*, std::int64_t> good[] = {
        {"7d", now - 7 * 86400},
        {"12h", now - 12 * 3600},
        {"30m", now - 1800},
        {"2w", now - 14 * 86400},
        {"2026-12-01", 1'796'079'600},
        {"2026-12-01T08:00Z", 1'796'112'000},
        {"2026-12-01 08:00", 1'796'108'400},
        {"2026-12-01T08:00:00+01:00", 1'796'108'400},
        // Around February, where the day count of the year turns.
        {"2026-01-31T00:00Z", 1'769'817'600},
        {"2026-02-15T00:00Z", 1'771'113'600},
        {"2026-03-01T00:00Z", 1'772'323'200},
        {"2024-02-29T00:00Z", 1'709'164'800},
        {"2024-03-01T00:00Z", 1'709'251'200},
        {"2026-02-15", 1'771'110'000},
        // The last day of each kind of month, and February 29 of a 400th year.
        {"2000-02-29T00:00Z", 951'782'400},
        {"2025-02-28T00:00Z", 1'740'700'800},
        {"2026-04-30T00:00Z", 1'777'507'200},
        {"2026-12-31T23:59Z", 1'798'761'540},
    };
    for (const auto& [text, expected] : good) {
        std::int64_t since = 0;
        EXPECT_TRUE(records::ParseSince(text, now, since)) << text;
        EXPECT_EQ(since, expected) << text;
    }
    // Dates that do not exist are refused, not rolled over into the next month.
    for (const char* bad :
         {"7x", "d", "-3d", "yesterday", "2026-13-01", "2026-12-01T25:00", "", "2026-02-30",
          "2026-04-31", "2026-06-31", "2026-09-31", "2026-11-31", "2025-02-29", "1900-02-29",
          "2026-12-32", "2026-12-01T24:00", "2026-12-01T23:60", "2026-02-29T00:00Z"}) {
        std::int64_t since = 0;
        EXPECT_FALSE(records::ParseSince(bad, now, since)) << bad;
    }
    unsetenv("TZ");
    tzset();
}

// Simulated records are listed but not counted; failures by reason.
TEST(RecordReadBack, SummaryCountsOutcomesAndCommonFailures) {
    records::CHistoryTally tally;
    const std::pair<const char*, const char*> records[] = {
        {"upgraded", ""},         {"failed", "No answer."}, {"failed", "Cut at block 4."},
        {"failed", "No answer."}, {"current", ""},          {"failed", ""},
    };
    for (const auto& [outcome, reason] : records) {
        ServiceRecord r;
        r.outcomeText = outcome;
        r.reason = reason;
        tally.Add(r);
    }
    ServiceRecord simulated;
    simulated.outcomeText = "upgraded";
    simulated.simulated = true;
    tally.Add(simulated);
    tally.SetDamagedLines(1);
    EXPECT_EQ(tally.Summary(),
              "6 records: 1 upgraded, 1 current, 0 read, 4 failed; most common failures: "
              "\"No answer.\" (2), \"Cut at block 4.\" (1), \"no reason recorded\" (1); "
              "1 simulated record (*) not counted; 1 damaged line skipped.");
}

// A failure reason or an outcome from a gathered journal cannot reach the
// terminal's controls through the summary.
TEST(RecordReadBack, SummaryShowsControlCharactersAsEscapes) {
    records::CHistoryTally tally;
    ServiceRecord r;
    r.outcomeText = "failed";
    r.reason = "\x1b[2J\x1b[31mred\nX";
    tally.Add(r);
    r.outcomeText = "up\xc2\x9b";
    tally.Add(r);
    EXPECT_EQ(tally.Summary(),
              "2 records: 0 upgraded, 0 current, 0 read, 1 failed, 1 up\\x9b; most common "
              "failures: \"\\x1b[2J\\x1b[31mred\\x0aX\" (1).");
}

// Every text of a record, whichever field it is in, reaches its cell with
// its control characters as escapes.
TEST(RecordReadBack, CsvCellsHoldNoControlCharacters) {
    ServiceRecord r;
    r.outcomeText.emplace();
    for (std::string* text : {&r.time, &r.host, &r.tool, &r.port, &r.device, &r.byId, &r.deviceId,
                              &r.bootCode, &r.before, &r.after, &r.image.label, &r.image.crc,
                              &r.image.path, &*r.outcomeText, &r.reason}) {
        *text = "a\x1b\xc2\x9b";
    }
    const std::string cell = "a\\x1b\\x9b,";
    std::string row;
    for (int i = 0; i < 11; ++i) {
        row += cell;
    }
    EXPECT_EQ(records::CsvRow(r), row + "0," + cell + cell + "0,0,0.0," + cell + cell + "no,\r\n");
}

// Quoted where a spreadsheet needs it; a device ID that looks like a
// formula stays text.
TEST(RecordReadBack, CsvRowsMatchTheHeader) {
    ServiceRecord r;
    r.time = "2026-12-07T20:12:40Z";
    r.deviceId = "=HYPERLINK(\"x\")";
    r.reason = "No answer, twice.\nUnplug it.";
    r.before = "-1";
    r.seconds = 41.26;
    r.outcomeText = "failed";
    r.simulated = true;
    EXPECT_EQ(records::CsvRow(r),
              "2026-12-07T20:12:40Z,,,,,,\"'=HYPERLINK(\"\"x\"\")\",,-1,,,0,,,0,0,41.3,failed,"
              "\"No answer, twice.\nUnplug it.\",yes,\r\n");
    const auto count = [](const std::string& text) {
        return std::count(text.begin(), text.end(), ',');
    };
    ServiceRecord plain;
    EXPECT_EQ(count(records::CsvHeader()), count(records::CsvRow(plain)));
}

// Each value under its own header, whatever order the row is built in.
TEST(RecordReadBack, CsvFieldsSitUnderTheirHeaders) {
    ServiceRecord r;
    r.time = "2026-12-07T20:12:40Z";
    r.host = "pc1";
    r.tool = "bench";
    r.port = "COM3";
    r.device = "/dev/ttyS2";
    r.byId = "usb-FTDI_A1-if00-port0";
    r.deviceId = "VC-4017-0032";
    r.bootCode = "1.3";
    r.before = "2.09";
    r.after = "2.10e";
    r.image.label = "2.11a";
    r.image.size = 12810;
    r.image.crc = "20C5";
    r.image.path = "/srv/a.bin";
    r.blocks = 101;
    r.resends = 7;
    r.seconds = 41.26;
    r.outcomeText = "failed";
    r.reason = "No answer.";
    r.slot = "Slot 1";
    const auto split = [](std::string line) {
        EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
        line.resize(line.size() - 2);
        std::vector<std::string> cells;
        std::stringstream stream(line);
        for (std::string cell; std::getline(stream, cell, ',');) {
            cells.push_back(cell);
        }
        return cells;
    };
    const std::vector<std::string> header = split(records::CsvHeader());
    const std::vector<std::string> row = split(records::CsvRow(r));
    ASSERT_EQ(header.size(), row.size());
    std::map<std::string, std::string> byName;
    for (std::size_t i = 0; i < header.size(); ++i) {
        byName[header[i]] = row[i];
    }
    EXPECT_EQ(byName, (std::map<std::string, std::string>{
                          {"time", "2026-12-07T20:12:40Z"},
                          {"host", "pc1"},
                          {"tool", "bench"},
                          {"port", "COM3"},
                          {"device", "/dev/ttyS2"},
                          {"byId", "usb-FTDI_A1-if00-port0"},
                          {"deviceId", "VC-4017-0032"},
                          {"bootCode", "1.3"},
                          {"before", "2.09"},
                          {"after", "2.10e"},
                          {"imageLabel", "2.11a"},
                          {"imageSize", "12810"},
                          {"imageCrc", "20C5"},
                          {"imagePath", "/srv/a.bin"},
                          {"blocks", "101"},
                          {"resends", "7"},
                          {"seconds", "41.3"},
                          {"outcome", "failed"},
                          {"reason", "No answer."},
                          {"simulated", "no"},
                          {"slot", "Slot 1"},
                      }));
}

// A field is quoted when any one of comma, quote or line break is in it:
// a spreadsheet would otherwise split the row there. One that starts as a
// formula does, also after a tab or CR a spreadsheet skips, is kept text.
TEST(RecordReadBack, CsvQuotesEachSeparatorOnItsOwn) {
    const std::pair<const char*, const char*> cases[] = {
        {"No answer.", "No answer."},
        {"\t=1+1", "'\t=1+1"},
        {"\r=1+1", "\"'\r=1+1\""},
        {"=1+1", "'=1+1"},
        {"+A1", "'+A1"},
        {"-A1", "'-A1"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"-1.5", "-1.5"},
        {"a\t=1", "a\t=1"},
        {"No answer, twice.", "\"No answer, twice.\""},
        {"No answer.\nUnplug it.", "\"No answer.\nUnplug it.\""},
        {"No answer.\rUnplug it.", "\"No answer.\rUnplug it.\""},
        {"Say \"why\".", "\"Say \"\"why\"\".\""},
    };
    for (const auto& [reason, field] : cases) {
        ServiceRecord r;
        r.outcomeText = "failed";
        r.reason = reason;
        EXPECT_EQ(records::CsvRow(r),
                  ",,,,,,,,,,,0,,,0,0,0.0,failed," + std::string(field) + ",no,\r\n")
            << reason;
    }
}

// The versions column: before > after only when the upgrade changed them.
TEST(RecordReadBack, VersionsTextShowsAChangeOnly) {
    const struct {
        const char* before;
        const char* after;
        const char* text;
    } cases[] = {
        {"2.09", "2.09", "2.09"},
        {"2.09", "2.10e", "2.09 > 2.10e"},
        {"", "2.10e", "none > 2.10e"},
        {"2.09", "", "2.09"},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        ServiceRecord r;
        r.before = c.before;
        r.after = c.after;
        EXPECT_EQ(records::VersionsText(r), c.text) << c.before << " " << c.after;
    }
}
