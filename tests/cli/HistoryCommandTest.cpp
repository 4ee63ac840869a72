// corvane-cli history over journals in the scratch state folder: the table
// with its summary, the filters on the command line, CSV and JSON lines, and
// what is not a journal or never ends.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QJsonDocument>
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "CliHarness.h"

namespace clitest {
namespace {

using HistoryCommand = CCliTest;

class CHistoryJournals : public CCliTest {
protected:
    CHistoryJournals() {
        std::filesystem::create_directories(m_state + "/corvane");
        std::ofstream(m_state + "/corvane/records.jsonl")
            << Record("2026-12-07T09:00:00Z", "VC-4017-4711", "failed", "No answer.", false)
            << "{\"time\":\"2026-12-07T09:0\n"
            << Record("2026-12-07T11:00:00Z", "VC-4017-0032", "upgraded", "", true);
        std::ofstream(m_state + "/corvane/upgrade.log")
            << "2026-12-07T10:00:00+0000 port=\"COM2\" device=\"/dev/ttyUSB0\" image=\"2.10e\" "
               "bytes=12810 crc=1D0F file=- before=2.09 after=2.10e blocks=101 resends=0 "
               "outcome=\"Upgrade Successful\"\n";
    }
    static std::string Record(const std::string& time, const std::string& id,
                              const std::string& outcome, const std::string& reason,
                              bool simulated) {
        return "{\"time\":\"" + time + "\",\"host\":\"pc1\",\"tool\":\"cli\",\"port\":\"COM1\"," +
               "\"deviceId\":\"" + id + "\",\"before\":\"2.09\",\"after\":\"2.10e\"," +
               "\"outcome\":\"" + outcome + "\",\"reason\":\"" + reason + "\"" +
               (simulated ? ",\"simulated\":true" : "") + "}\n";
    }
};

using HistoryJournals = CHistoryJournals;

// Newest first across the journal and the old session log, the simulated
// upgrade marked and not counted, the damaged line counted.
TEST_F(HistoryJournals, TableListsNewestFirstThenTheSummary) {
    const CliResult r = RunCli({"history"});
    ASSERT_EQ(r.code, 0) << r;
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 5u) << r;
    EXPECT_TRUE(Contains(lines[0], "DEVICE ID")) << r;
    EXPECT_TRUE(Contains(lines[1], "VC-4017-0032") && Contains(lines[1], "upgraded*")) << r;
    EXPECT_TRUE(Contains(lines[2], "COM2") && Contains(lines[2], "2.09 > 2.10e")) << r;
    EXPECT_TRUE(Contains(lines[3], "VC-4017-4711") && Contains(lines[3], "No answer.")) << r;
    EXPECT_EQ(lines[4],
              "2 records: 1 upgraded, 0 current, 0 read, 1 failed; most common failures: "
              "\"No answer.\" (1); 1 simulated record (*) not counted; 1 damaged line skipped.");
}

// The filters reach the reader; CSV and JSON carry only the rows, and the
// damaged line is still told on standard error.
TEST_F(HistoryJournals, FiltersAndTheOtherForms) {
    const CliResult csv = RunCli({"history", "--device", "4711", "--csv"});
    ASSERT_EQ(csv.code, 0) << csv;
    const std::vector<std::string> rows = Lines(csv.out);
    ASSERT_EQ(rows.size(), 2u) << csv;
    EXPECT_EQ(rows[0].rfind("time,host,tool,port,", 0), 0u) << csv;
    EXPECT_TRUE(Contains(rows[1], ",VC-4017-4711,") && Contains(rows[1], ",No answer.,no")) << csv;
    EXPECT_TRUE(Contains(csv.err, "1 damaged line(s) skipped")) << csv;

    const CliResult json =
        RunCli({"history", "--json", "--since", "2026-12-07T09:30Z", "--outcome", "upgraded"});
    ASSERT_EQ(json.code, 0) << json;
    const std::vector<std::string> objects = Lines(json.out);
    ASSERT_EQ(objects.size(), 2u) << json;
    EXPECT_EQ(QJsonDocument::fromJson(objects[0].c_str()).object()["simulated"].toBool(), true);
    EXPECT_EQ(QJsonDocument::fromJson(objects[1].c_str()).object()["port"].toString(), "COM2");

    const CliResult port = RunCli({"history", "--port", "com2", "--file",
                                   m_state + "/corvane/upgrade.log", "--file", "absent.jsonl"});
    EXPECT_EQ(port.code, 5) << port;
    EXPECT_TRUE(Contains(port.err, "absent.jsonl: No such file or directory")) << port;
    EXPECT_EQ(Lines(port.out).size(), 3u) << port;
}

// A reader that stops reading (`history | head -1`) ends the listing
// quietly; output that cannot be written for any other reason (a full disk)
// fails the run and says why.
TEST_F(HistoryJournals, ClosedPipeEndsTheListingQuietly) {
    const struct {
        const char* output;
        std::function<void()> asUser;  // makes standard output so
        int code;
    } cases[] = {
        {"a closed pipe",
         [] {
             int ends[2];
             if (::pipe(ends) == 0) {
                 ::close(ends[0]);
                 ::dup2(ends[1], STDOUT_FILENO);
             }
         },
         0},
        {"a full disk", [] { ::dup2(::open("/dev/full", O_WRONLY), STDOUT_FILENO); }, 5},
    };
    for (const auto& c : cases) {
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"history"}, std::vector<std::string>{"history", "--csv"},
              std::vector<std::string>{"history", "--json"}}) {
            const CliResult r = RunCli(args, 30000, c.asUser);
            const std::string form = args.back();
            EXPECT_EQ(r.code, c.code) << c.output << " " << form << " " << r;
            EXPECT_EQ(Contains(r.err, "cannot write to standard output: No space left on device"),
                      c.code == 5)
                << c.output << " " << form << " " << r;
            EXPECT_FALSE(Contains(r.err, "Broken pipe")) << c.output << " " << form << " " << r;
        }
    }
}

// --port after the command, or before it as for every command, keeps that
// port's records only.
TEST_F(HistoryCommand, PortListsThatPortOnly) {
    std::filesystem::create_directories(m_state + "/corvane");
    std::ofstream out(RecordsPath());
    const std::pair<const char*, const char*> records[] = {
        {"A1", "\"port\":\"COM1\",\"device\":\"/dev/ttyS0\""},
        {"B", "\"port\":\"COM2\",\"device\":\"/dev/ttyS1\""},
        {"C", "\"port\":\"/dev/ttyUSB0\",\"device\":\"/dev/ttyUSB0\""},
        {"A2", "\"port\":\"COM1\",\"device\":\"/dev/ttyUSB1\""},
        {"D", "\"port\":\"COM4\",\"device\":\"/dev/ttyS3\""},
    };
    int minute = 0;
    for (const auto& [id, port] : records) {
        out << "{\"time\":\"2026-12-07T09:0" << minute++ << ":00Z\",\"deviceId\":\"" << id << "\","
            << port << ",\"outcome\":\"read\"}\n";
    }
    out.close();
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"history", "--json", "--port", "COM1"},
          std::vector<std::string>{"--port", "COM1", "history", "--json"}}) {
        const CliResult r = RunCli(args);
        ASSERT_EQ(r.code, 0) << r;
        std::vector<std::string> ids;
        for (const std::string& line : Lines(r.out)) {
            ids.push_back(QJsonDocument::fromJson(line.c_str())
                              .object()["deviceId"]
                              .toString()
                              .toStdString());
        }
        EXPECT_EQ(ids, (std::vector<std::string>{"A2", "A1"})) << r;
    }
}

// --slot keeps the records of the slot with that label, exactly; the table
// and CSV show it, and --json writes it back.
TEST_F(HistoryCommand, SlotListsThatSlotOnly) {
    std::filesystem::create_directories(m_state + "/corvane");
    std::ofstream out(RecordsPath());
    const std::pair<const char*, const char*> records[] = {{"A", ",\"slot\":\"Slot 1\""},
                                                           {"B", ",\"slot\":\"Slot 10\""},
                                                           {"C", ""},
                                                           {"D", ",\"slot\":\"Slot 1\""}};
    int minute = 0;
    for (const auto& [id, slot] : records) {
        out << "{\"time\":\"2026-12-07T09:0" << minute++ << ":00Z\",\"deviceId\":\"" << id
            << "\",\"port\":\"/dev/ttyUSB0\",\"outcome\":\"read\"" << slot << "}\n";
    }
    out.close();
    const CliResult json = RunCli({"history", "--json", "--slot", "Slot 1"});
    ASSERT_EQ(json.code, 0) << json;
    std::vector<std::string> ids;
    for (const std::string& line : Lines(json.out)) {
        const QJsonObject object = QJsonDocument::fromJson(line.c_str()).object();
        ids.push_back(object["deviceId"].toString().toStdString());
        EXPECT_EQ(object["slot"].toString(), "Slot 1") << line;
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"D", "A"})) << json;

    const CliResult table = RunCli({"history", "--slot", "Slot 10"});
    ASSERT_EQ(table.code, 0) << table;
    const std::vector<std::string> lines = Lines(table.out);
    ASSERT_EQ(lines.size(), 3u) << table;
    EXPECT_TRUE(Contains(lines[0], " SLOT ")) << table;
    EXPECT_TRUE(Contains(lines[1], " B ") && Contains(lines[1], " Slot 10 ")) << table;

    const CliResult csv = RunCli({"history", "--csv"});
    ASSERT_EQ(csv.code, 0) << csv;
    const std::vector<std::string> rows = Lines(csv.out);
    ASSERT_EQ(rows.size(), 5u) << csv;
    EXPECT_EQ(rows[0].substr(rows[0].size() - 16), ",simulated,slot\r") << csv;
    EXPECT_EQ(rows[2].substr(rows[2].size() - 5), ",no,\r") << csv;  // C, without one
    EXPECT_EQ(rows[3].substr(rows[3].size() - 12), ",no,Slot 10\r") << csv;
}

// No journal yet is no error.
TEST_F(HistoryCommand, NoJournalYetSaysSo) {
    const CliResult r = RunCli({"history"});
    EXPECT_EQ(r.code, 0) << r;
    EXPECT_TRUE(Contains(r.err, "No records yet")) << r;
    EXPECT_TRUE(Contains(r.out, "0 records")) << r;
}

// Bytes the process has read so far (/proc/PID/io), -1 when unknown.
long long BytesRead(qint64 pid) {
    std::ifstream io("/proc/" + std::to_string(pid) + "/io");
    std::string key;
    long long value = -1;
    while (io >> key >> value) {
        if (key == "rchar:") {
            return value;
        }
    }
    return -1;
}

// A huge journal of zeros, as a power cut can leave, is read until a signal
// and no further; the listing ends as other commands end on that signal.
TEST_F(HistoryCommand, SignalStopsTheReadOfAHugeJournal) {
    const std::string huge = m_work + "/zeros.jsonl";
    std::ofstream{huge};
    std::filesystem::resize_file(huge, 1ULL << 40);  // 1 TiB of holes
    const std::pair<int, int> stops[] = {{SIGINT, 130}, {SIGTERM, 143}};
    for (const auto& [number, code] : stops) {
        CChild cli;
        StartCli(cli, {"history", "--file", huge});
        ASSERT_TRUE(cli.WaitFor([&] { return BytesRead(cli.processId()) > (64 << 20); }, 10000))
            << cli.out << cli.err;
        ASSERT_EQ(::kill(static_cast<pid_t>(cli.processId()), number), 0);
        // Reading it all would take many minutes; the bound keeps a failure short.
        EXPECT_EQ(cli.Finish(5000), code) << cli.err;
        EXPECT_FALSE(Contains(cli.out, "records")) << cli.out;
    }
}

// A FIFO named as a journal is refused at once, with the others listed.
TEST_F(HistoryJournals, FifoIsRefusedWithoutWaiting) {
    const std::string fifo = m_work + "/records.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const CliResult r =
        RunCli({"history", "--file", fifo, "--file", m_state + "/corvane/records.jsonl"}, 10000);
    EXPECT_EQ(r.code, 5) << r;
    EXPECT_TRUE(Contains(r.err, "cannot read " + fifo + ": a FIFO, not a journal file")) << r;
    EXPECT_EQ(Lines(r.out).size(), 4u) << r;
}

// A date that does not exist is a mistyped one: refused as a usage error,
// not taken for a day of the next month.
TEST_F(HistoryCommand, SinceRefusesADayThatDoesNotExist) {
    for (const char* since : {"2026-02-30", "2025-02-29", "2026-04-31T08:00"}) {
        const CliResult r = RunCli({"history", "--since", since});
        EXPECT_EQ(r.code, 2) << r;
        EXPECT_TRUE(Contains(r.err, std::string("'") + since + "' is neither a date")) << r;
    }
}

// A journal piped in (`ssh benchpc2 cat records.jsonl | corvane-cli history
// --file /dev/stdin`) is listed as the file would be, newest first.
TEST_F(HistoryJournals, JournalPipedInIsListed) {
    std::ifstream in(m_state + "/corvane/records.jsonl");
    const std::string journal((std::istreambuf_iterator<char>(in)), {});
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    // Small enough for the pipe's buffer: written whole before the command runs.
    ASSERT_EQ(::write(ends[1], journal.data(), journal.size()),
              static_cast<ssize_t>(journal.size()));
    ::close(ends[1]);
    const CliResult r =
        RunCli({"history", "--json", "--file", "/dev/stdin"}, 10000, [&] { ::dup2(ends[0], 0); });
    ::close(ends[0]);
    EXPECT_EQ(r.code, 0) << r;
    std::vector<std::string> ids;
    for (const std::string& line : Lines(r.out)) {
        ids.push_back(
            QJsonDocument::fromJson(line.c_str()).object()["deviceId"].toString().toStdString());
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"VC-4017-0032", "VC-4017-4711"})) << r;
    EXPECT_TRUE(Contains(r.err, "1 damaged line(s) skipped")) << r;
}

}  // namespace
}  // namespace clitest
