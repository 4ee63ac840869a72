// Reading journals back: merging several by time, long and damaged lines,
// stops, pipes and what is not a file, the filters and --since.
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

#include "RecordLines.h"
#include "common/TestKit.h"
#include "records/HistoryCsv.h"
#include "records/HistoryReader.h"
#include "records/HistoryTally.h"
#include "records/RecordParser.h"

namespace {

using records::ServiceRecord;
using recordtest::Journal;

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

// The journal's first line is read however short it is: a stray byte
// there is one damaged line, not silently the file's start.
TEST_F(History, AShortFirstLineIsStillALine) {
    for (const std::string first : {"x", "xy"}) {
        records::CHistoryReader reader({});
        std::string error;
        ASSERT_TRUE(reader.AddFile(
            Write("short.jsonl", {first, Journal("2026-12-07T10:00:00Z", "A", "read")}), error));
        EXPECT_EQ(Read(reader), std::vector<std::string>{"A"});
        EXPECT_EQ(reader.DamagedLines(), 1) << first;
    }
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
