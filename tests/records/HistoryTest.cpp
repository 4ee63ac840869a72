// Reading the service records back: the three journal shapes, damaged
// lines, merging journals by time, the filters, the summary and the CSV.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <sstream>
#include <thread>

#include "common/TestKit.h"
#include "records/HistoryCsv.h"
#include "records/HistoryReader.h"
#include "records/HistoryTally.h"
#include "records/RecordParser.h"

namespace {

using records::ServiceRecord;

std::string Journal(const std::string& time, const std::string& deviceId,
                    const std::string& outcome, const std::string& more = "") {
    return "{\"time\":\"" + time +
           "\",\"host\":\"pc1\",\"tool\":\"bench\",\"port\":\"/dev/ttyUSB0\"," +
           "\"device\":\"/dev/ttyUSB0\",\"byId\":\"usb-FTDI_A1-if00-port0\",\"deviceId\":\"" +
           deviceId + "\",\"outcome\":\"" + outcome + "\"" + more + "}";
}

// "2026-MM-DDThh:mm:ssZ" for a second of that day.
std::string TimeOn(int month, int day, int second) {
    char time[32];
    std::snprintf(time, sizeof time, "2026-%02d-%02dT%02d:%02d:%02dZ", month, day, second / 3600,
                  second / 60 % 60, second % 60);
    return time;
}

class CHistoryFiles : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::vector<std::string>& lines,
                      bool lastNewline = true) {
        const std::string path = m_dir.Path() + "/" + name;
        std::ofstream out(path, std::ios::binary);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            out << lines[i] << (i + 1 < lines.size() || lastNewline ? "\n" : "");
        }
        return path;
    }
    // The device IDs read, in the order given out.
    static std::vector<std::string> Read(records::CHistoryReader& reader) {
        std::vector<std::string> ids;
        ServiceRecord r;
        while (reader.Next(r)) {
            ids.push_back(r.deviceId);
        }
        return ids;
    }
    testkit::CScratchDir m_dir;
};

using History = CHistoryFiles;

}  // namespace

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

// Two bench PCs' journals come out as one, newest first, a record out of
// place in its own journal included; one found in both is shown once.
TEST_F(History, MergesJournalsByTimeNewestFirst) {
    const std::string shared = Journal("2026-12-07T10:00:03Z", "both", "upgraded");
    const std::string a = Write("a.jsonl", {Journal("2026-12-07T10:00:00Z", "a0", "read"),
                                            Journal("2026-12-07T10:00:04Z", "a4", "read"), shared,
                                            Journal("2026-12-07T10:00:06Z", "a6", "read")});
    const std::string b = Write(
        "b.jsonl",
        {Journal("2026-12-07T10:00:01Z", "b1", "read"), shared, "{\"time\":\"2026-12-07T10:00:0",
         "garbage", Journal("2026-12-07T10:00:05Z", "b5", "read")},
        false);
    records::CHistoryReader reader({});
    std::string error;
    ASSERT_TRUE(reader.AddFile(a, error)) << error;
    ASSERT_TRUE(reader.AddFile(b, error)) << error;
    EXPECT_FALSE(reader.AddFile(m_dir.Path() + "/absent.jsonl", error));
    EXPECT_NE(error.find("absent.jsonl: No such file or directory"), std::string::npos) << error;
    EXPECT_EQ(Read(reader), (std::vector<std::string>{"a6", "b5", "a4", "both", "b1", "a0"}));
    EXPECT_EQ(reader.DamagedLines(), 2);
    EXPECT_EQ(reader.Duplicates(), 1);
}

// Lines longer than a read block, and many more lines than the window,
// come out whole and in order.
TEST_F(History, LongJournalsReadBackWhole) {
    std::vector<std::string> lines;
    const std::string longReason(3 * records::CReverseLineReader::kBlock, 'x');
    for (int i = 0; i < 3000; ++i) {
        char time[32];
        std::snprintf(time, sizeof time, "2026-12-07T%02d:%02d:%02dZ", i / 3600, i / 60 % 60,
                      i % 60);
        lines.push_back(Journal(time, std::to_string(i), "failed",
                                i == 1500 ? ",\"reason\":\"" + longReason + "\"" : ""));
    }
    records::CHistoryReader reader({});
    std::string error;
    ASSERT_TRUE(reader.AddFile(Write("long.jsonl", lines), error));
    ServiceRecord r;
    for (int i = 2999; i >= 0; --i) {
        ASSERT_TRUE(reader.Next(r)) << i;
        ASSERT_EQ(r.deviceId, std::to_string(i));
        ASSERT_EQ(r.reason.size(), i == 1500 ? longReason.size() : 0u);
    }
    EXPECT_FALSE(reader.Next(r));
    EXPECT_EQ(reader.DamagedLines(), 0);
}

// A line longer than the reader keeps is one damaged line, however long:
// a record at its end (appended to a power cut's zeros) is still read, and
// the lines around it are whole.
TEST_F(History, OverlongLineIsOneDamagedLine) {
    const std::size_t limit = records::CReverseLineReader::kMaxLine;
    const std::string record = Journal("2026-12-07T10:00:01Z", "after-zeros", "read");
    const std::vector<std::string> withRecord = {"last", "after-zeros", "first"};
    const struct {
        std::string line;
        std::vector<std::string> ids;
        long long damaged;
    } cases[] = {
        {std::string(3 * limit, 'x'), {"last", "first"}, 1},
        {std::string(3 * limit, '\0') + record, withRecord, 1},
        {std::string(3 * limit, '{') + "garbage", {"last", "first"}, 1},
        {std::string(limit - record.size(), '\0') + record, withRecord, 0},
        {std::string(limit + 1 - record.size(), '\0') + record, withRecord, 1},
        {"{" + std::string(limit - record.size(), '\0') + record, withRecord, 1},
    };
    for (const auto& c : cases) {
        records::CHistoryReader reader({});
        std::string error;
        ASSERT_TRUE(reader.AddFile(
            Write("over.jsonl", {Journal("2026-12-07T10:00:00Z", "first", "read"), c.line,
                                 Journal("2026-12-07T10:00:02Z", "last", "read")}),
            error))
            << error;
        EXPECT_EQ(Read(reader), c.ids) << c.line.size();
        EXPECT_EQ(reader.DamagedLines(), c.damaged) << c.line.size();
    }
}

// The stop check is asked before each block: a stop ends the read of a
// zero-filled journal there, with no record and no problem reported.
TEST_F(History, StopEndsTheReadBeforeTheNextBlock) {
    const std::string path = m_dir.Path() + "/zeros.jsonl";
    std::ofstream{path};
    std::filesystem::resize_file(path, 64 * records::CReverseLineReader::kBlock);
    int asked = 0;
    records::CHistoryReader reader({}, [&asked] { return ++asked >= 3; });
    std::string error;
    ASSERT_TRUE(reader.AddFile(path, error)) << error;
    ServiceRecord r;
    EXPECT_FALSE(reader.Next(r));
    EXPECT_TRUE(reader.Stopped());
    EXPECT_EQ(asked, 3);
    EXPECT_TRUE(reader.Problems().empty());
}

// What is not a regular file is refused at once, without waiting for a
// writer of a FIFO or touching a device; a directory says so too.
TEST_F(History, RefusesWhatIsNotAJournalFile) {
    const std::string fifo = m_dir.Path() + "/journal.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::pair<std::string, const char*> cases[] = {
        {fifo, ": a FIFO, not a journal file"},
        {"/dev/null", ": a device, not a journal file"},
        {m_dir.Path(), ": Is a directory"},
    };
    for (const auto& [path, problem] : cases) {
        records::CHistoryReader reader({});
        std::string error;
        auto added = std::async(std::launch::async, [&] { return reader.AddFile(path, error); });
        if (added.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
            ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));  // lets a waiting open go on
            ADD_FAILURE() << path << " was waited for";
        }
        EXPECT_FALSE(added.get()) << path;
        EXPECT_EQ(error, path + problem);
    }
}

// A pipe (`--file /dev/stdin`, `--file <(...)`) is read to its end and
// listed newest first like a file; one too long to hold is refused, not
// listed as empty; a stop ends the wait for a writer that never closes.
TEST_F(History, PipeIsReadWholeOrRefused) {
    const auto withPipe = [](const std::string& text, bool close,
                             const std::function<void(const std::string&)>& read) {
        int ends[2];
        ASSERT_EQ(::pipe(ends), 0);
        std::thread writer([&] {
            for (std::size_t at = 0; at < text.size();) {
                const ssize_t n = ::write(ends[1], text.data() + at, text.size() - at);
                at += n > 0 ? static_cast<std::size_t>(n) : text.size();
            }
            if (close) {
                ::close(ends[1]);
            }
        });
        read("/proc/self/fd/" + std::to_string(ends[0]));
        writer.join();
        ::close(ends[0]);
        if (!close) {
            ::close(ends[1]);
        }
    };
    std::string journal;
    for (int i = 0; i < 3; ++i) {
        journal += Journal(TimeOn(12, 7, i), "P" + std::to_string(i), "read") + "\n";
    }
    // Reached through a relative link too, resolved from the link's folder.
    withPipe(journal, true, [this](const std::string& path) {
        std::filesystem::create_symlink(path, m_dir.Path() + "/fd");
        std::filesystem::create_symlink("fd", m_dir.Path() + "/stdin");
        records::CHistoryReader reader({});
        std::string error;
        ASSERT_TRUE(reader.AddFile(m_dir.Path() + "/stdin", error)) << error;
        EXPECT_EQ(Read(reader), (std::vector<std::string>{"P2", "P1", "P0"}));
    });
    withPipe(journal + std::string(3 * records::CReverseLineReader::kMaxLine, 'x'), true,
             [](const std::string& path) {
                 records::CHistoryReader reader({});
                 std::string error;
                 ASSERT_TRUE(reader.AddFile(path, error)) << error;
                 EXPECT_EQ(Read(reader), (std::vector<std::string>{"P2", "P1", "P0"}));
                 EXPECT_EQ(reader.DamagedLines(), 1);
             });
    const std::string line = Journal(TimeOn(12, 7, 0), "P", "read") + "\n";
    std::string tooLong;
    while (tooLong.size() <= records::CReverseLineReader::kMaxStream) {
        tooLong += line;
    }
    withPipe(tooLong, true, [](const std::string& path) {
        records::CHistoryReader reader({});
        std::string error;
        EXPECT_FALSE(reader.AddFile(path, error));
        EXPECT_EQ(error.find(path + ": a stream of more than 64 MB"), 0u) << error;
    });
    withPipe(journal, false, [](const std::string& path) {
        int asked = 0;
        records::CHistoryReader reader({}, [&asked] { return ++asked > 3; });
        std::string error;
        EXPECT_FALSE(reader.AddFile(path, error));  // the writer keeps its end open
        EXPECT_EQ(error, path + ": stopped");
    });
}

// Each filter on its own, then together.
TEST_F(History, FiltersByDevicePortTimeAndOutcome) {
    const std::string path =
        Write("r.jsonl",
              {Journal("2026-12-01T10:00:00Z", "VC-4017-4711", "upgraded"),
               Journal("2026-12-05T10:00:00Z", "VC-4017-0032", "failed", ",\"slot\":\"Slot 2\""),
               "{\"time\":\"2026-12-06T10:00:00Z\",\"port\":\"COM2\",\"device\":\"/dev/ttyS1\","
               "\"deviceId\":\"vc-4017-4711\",\"outcome\":\"current\"}",
               Journal("2026-12-07T10:00:00Z", "VC-4017-4711", "failed")});
    std::int64_t dec6 = 0;
    ASSERT_TRUE(records::ParseTime("2026-12-06T00:00:00Z", dec6));
    const std::pair<records::HistoryFilter, std::vector<std::string>> cases[] = {
        {{"4711", "", {}, {}, {}}, {"VC-4017-4711", "vc-4017-4711", "VC-4017-4711"}},
        {{"VC-4017-0032", "", {}, {}, {}}, {"VC-4017-0032"}},
        {{"vc-4017", "", {}, {}, {}},
         {"VC-4017-4711", "vc-4017-4711", "VC-4017-0032", "VC-4017-4711"}},
        {{"4017-00", "", {}, {}, {}}, {"VC-4017-0032"}},
        {{"", "com2", {}, {}, {}}, {"vc-4017-4711"}},
        {{"", "/dev/ttyS1", {}, {}, {}}, {"vc-4017-4711"}},
        {{"", "/dev/serial/by-id/usb-FTDI_A1-if00-port0", {}, {}, {}},
         {"VC-4017-4711", "VC-4017-0032", "VC-4017-4711"}},
        {{"", "", dec6, {}, {}}, {"VC-4017-4711", "vc-4017-4711"}},
        {{"", "", {}, {"failed", "current"}, {}}, {"VC-4017-4711", "vc-4017-4711", "VC-4017-0032"}},
        {{"4711", "", dec6, {"failed"}, {}}, {"VC-4017-4711"}},
        {{"9999", "", {}, {}, {}}, {}},
        {{"", "", {}, {}, "Slot 2"}, {"VC-4017-0032"}},
        {{"", "", {}, {}, "Slot"}, {}},  // the label exactly, not a part of it
        {{"", "", {}, {}, "slot 2"}, {}},
    };
    for (const auto& [filter, ids] : cases) {
        records::CHistoryReader reader(filter);
        std::string error;
        ASSERT_TRUE(reader.AddFile(path, error));
        EXPECT_EQ(Read(reader), ids) << filter.deviceId << " " << filter.port << " " << filter.slot;
    }
}

// A record from a PC whose clock was years behind, among those gathered in
// one file, does not end the reading of the file before what is asked for.
TEST_F(History, SinceReadsOnPastAWrongClock) {
    const std::string path =
        Write("gathered.log", {Journal("2026-12-07T10:00:00Z", "early", "read"),
                               Journal("2020-01-01T00:00:00Z", "skewed", "read"),
                               Journal("2026-12-07T11:00:00Z", "late", "read")});
    records::HistoryFilter filter;
    filter.since = 0;
    ASSERT_TRUE(records::ParseTime("2026-12-07T00:00:00Z", *filter.since));
    records::CHistoryReader reader(filter);
    std::string error;
    ASSERT_TRUE(reader.AddFile(path, error));
    EXPECT_EQ(Read(reader), (std::vector<std::string>{"late", "early"}));
}

// The backwards read leaves a journal only after a long run of records
// more than a day before --since: a busy morning just after it, and
// records of a PC with a wrong clock between current ones, are all listed.
TEST_F(History, SinceListsEveryRecordAfterIt) {
    const int many = static_cast<int>(records::CHistoryReader::kWindow) + 44;
    std::vector<std::string> burst;  // older records first, as appended
    for (int i = 0; i < many; ++i) {
        burst.push_back(Journal(TimeOn(12, 1, i), "older", "read"));
    }
    for (int i = 0; i < many; ++i) {
        burst.push_back(Journal(TimeOn(12, 7, 8 * 3600 + i), "new", "read"));
    }
    std::vector<std::string> scattered;
    for (int i = 0; i < many; ++i) {
        scattered.push_back(Journal(TimeOn(12, 7, 8 * 3600 + i), "new", "read"));
        scattered.push_back(
            "{\"time\":\"2020-01-01T00:00:00Z\",\"deviceId\":\"skewed\",\"outcome\":\"read\"}");
    }
    const std::pair<const char*, const std::vector<std::string>*> cases[] = {
        {"burst.jsonl", &burst},
        {"scattered.jsonl", &scattered},
    };
    for (const auto& [name, lines] : cases) {
        records::HistoryFilter filter;
        filter.since = 0;
        ASSERT_TRUE(records::ParseTime("2026-12-07T00:00:00Z", *filter.since));
        records::CHistoryReader reader(filter);
        std::string error;
        ASSERT_TRUE(reader.AddFile(Write(name, *lines), error)) << error;
        const std::vector<std::string> ids = Read(reader);
        EXPECT_EQ(ids.size(), static_cast<std::size_t>(many)) << name;
        EXPECT_EQ(std::count(ids.begin(), ids.end(), "new"), many) << name;
    }
}

// The same result for the same charger minutes apart is two services, not
// one record found in two journals.
TEST_F(History, SameResultAtAnotherTimeIsNoDuplicate) {
    const std::string path = Write("r.jsonl", {Journal("2026-12-07T10:00:00Z", "VC-1", "current"),
                                               Journal("2026-12-07T10:05:00Z", "VC-1", "current")});
    records::CHistoryReader reader({});
    std::string error;
    ASSERT_TRUE(reader.AddFile(path, error)) << error;
    EXPECT_EQ(Read(reader), (std::vector<std::string>{"VC-1", "VC-1"}));
    EXPECT_EQ(reader.Duplicates(), 0);
}

// In a busy second, a record found in both journals is listed once and
// every other record once, however many share the second; two records told
// apart only by where one text ends and the next begins are two.
TEST_F(History, BusySecondListsEachRecordOnce) {
    const std::string second = "2026-12-07T10:00:00Z";
    std::vector<std::string> a;
    std::vector<std::string> b;
    for (int i = 0; i < 3000; ++i) {
        a.push_back(Journal(second, "VC-" + std::to_string(i), "read"));
        if (i % 2 == 0) {
            b.push_back(a.back());
        }
    }
    a.push_back(Journal(second, "split", "read", ",\"before\":\"x\\ny\",\"after\":\"\""));
    b.push_back(Journal(second, "split", "read", ",\"before\":\"x\",\"after\":\"y\\n\""));
    records::CHistoryReader reader({});
    std::string error;
    ASSERT_TRUE(reader.AddFile(Write("a.jsonl", a), error)) << error;
    ASSERT_TRUE(reader.AddFile(Write("b.jsonl", b), error)) << error;
    std::vector<std::string> ids = Read(reader);
    EXPECT_EQ(reader.Duplicates(), 1500);
    std::vector<std::string> expected = {"split", "split"};
    for (int i = 0; i < 3000; ++i) {
        expected.push_back("VC-" + std::to_string(i));
    }
    std::sort(ids.begin(), ids.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ids, expected);
}

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
    for (std::string* text : {&r.time, &r.host, &r.tool, &r.port, &r.device, &r.byId, &r.deviceId,
                              &r.bootCode, &r.before, &r.after, &r.image.label, &r.image.crc,
                              &r.image.path, &r.outcomeText.emplace(), &r.reason}) {
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
