// What the bench writes down: the service record line of a result, the
// record journal's file and system-log lines and its failures, and message
// boxes turned into one line.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>

#include "bench/BenchJournal.h"
#include "bench/FailureReason.h"
#include "common/TestKit.h"
#include "platform/DebugOutput.h"
#include "records/RecordParser.h"
#include "serial/ErrorReport.h"

namespace {

bench::SlotInfo Slot() {
    bench::SlotInfo slot;
    slot.port = "/dev/serial/by-id/usb-FTDI_A1-if00-port0";
    slot.device = "/dev/ttyUSB0";
    slot.byIdName = "usb-FTDI_A1-if00-port0";
    return slot;
}

bench::RunResult Failed() {
    bench::RunResult r;
    r.outcome = records::Outcome::Failed;
    r.reason = "The upload failed at block 41 of 101. Say \"why\".";
    r.bootCode = "1.3";
    r.before = "2.09";
    r.identification = {"Boot 1.3", "V2.09 Veltra charger"};
    r.deviceId = "VC-4017-0032";
    r.blocks = 41;
    r.resends = 2;
    r.seconds = 37.46;
    r.image = {"2.10e", "/srv/images/2.10e.bin", 12810, "20C5"};
    return r;
}

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        lines.push_back(line);
    }
    return lines;
}

// "2026-12-07T20:12:40Z": digits where they belong, the rest as shown.
bool IsUtcTime(const std::string& text) {
    const std::string shape = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != shape.size()) {
        return false;
    }
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (shape[i] == 'd' ? !digit : text[i] != shape[i]) {
            return false;
        }
    }
    return true;
}

// Sets TZ for the test's time and puts the old zone back after it.
class CZone {
public:
    explicit CZone(const char* zone) {
        const char* old = std::getenv("TZ");
        m_old = old ? std::optional<std::string>(old) : std::nullopt;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~CZone() {
        if (m_old) {
            ::setenv("TZ", m_old->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }
    CZone(const CZone&) = delete;
    CZone& operator=(const CZone&) = delete;

private:
    std::optional<std::string> m_old;
};

// A datagram socket in the place of the system log's, named to the program
// by $CORVANE_LOG_SOCKET while alive.
class CLogSocket {
public:
    explicit CLogSocket(const std::string& path) {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        m_bound = ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::setenv("CORVANE_LOG_SOCKET", path.c_str(), 1);
    }
    ~CLogSocket() {
        ::unsetenv("CORVANE_LOG_SOCKET");
        ::close(m_fd);
    }
    CLogSocket(const CLogSocket&) = delete;
    CLogSocket& operator=(const CLogSocket&) = delete;
    bool Bound() const { return m_bound; }
    // The next datagram, or "" when none came within two seconds.
    std::string Receive() const {
        pollfd ready{m_fd, POLLIN, 0};
        if (::poll(&ready, 1, 2000) != 1) {
            return {};
        }
        char buffer[65536];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
    }

private:
    int m_fd = -1;
    bool m_bound = false;
};

// "<14>Dec  7 20:12:40 corvane[4242]: " -> "<14>corvane[4242]: ", the time
// left out (it is the local time of sending).
std::string WithoutTime(const std::string& datagram) {
    const std::size_t close = datagram.find('>');
    return close == std::string::npos || datagram.size() < close + 17
               ? datagram
               : datagram.substr(0, close + 1) + datagram.substr(close + 17);
}

class CSystemLogRecorder : public records::ISystemLog {
public:
    void Write(bool failed, const std::string& line) override {
        lines.push_back((failed ? "warning " : "info ") + line);
    }
    std::vector<std::string> lines;
};

}  // namespace

TEST(BenchRecord, LineNamesChargerVersionsFiguresAndImage) {
    records::ServiceRecord record = bench::BenchServiceRecord(Slot(), Failed(), false);
    record.time = "2026-12-07T16:00:00Z";
    record.host = "benchpc";
    EXPECT_EQ(records::ServiceRecordLine(record),
              "{\"time\":\"2026-12-07T16:00:00Z\",\"host\":\"benchpc\",\"tool\":\"bench\","
              "\"port\":\"/dev/serial/by-id/usb-FTDI_A1-if00-port0\",\"device\":\"/dev/ttyUSB0\","
              "\"byId\":\"usb-FTDI_A1-if00-port0\",\"deviceId\":\"VC-4017-0032\","
              "\"bootCode\":\"1.3\",\"before\":\"2.09\",\"after\":\"\","
              "\"image\":{\"label\":\"2.10e\",\"size\":12810,\"crc\":\"20C5\","
              "\"path\":\"/srv/images/2.10e.bin\"},\"blocks\":41,\"resends\":2,\"seconds\":37.5,"
              "\"outcome\":\"failed\","
              "\"reason\":\"The upload failed at block 41 of 101. Say \\\"why\\\".\","
              "\"identification\":[\"Boot 1.3\",\"V2.09 Veltra charger\"]}");

    // A reason only when it failed; "simulated" only on simulated runs.
    bench::RunResult ok = Failed();
    ok.outcome = records::Outcome::Read;
    const std::string simulated =
        records::ServiceRecordLine(bench::BenchServiceRecord(Slot(), ok, true));
    EXPECT_NE(simulated.find("\"outcome\":\"read\",\"reason\":\"\","), std::string::npos);
    EXPECT_EQ(simulated.substr(simulated.size() - 18), ",\"simulated\":true}");
    // The slot's label last, where a slot has one.
    bench::SlotInfo labelled = Slot();
    labelled.label = "Left shelf 2";
    const std::string slotted =
        records::ServiceRecordLine(bench::BenchServiceRecord(labelled, ok, true));
    EXPECT_EQ(slotted.substr(slotted.size() - 40),
              ",\"simulated\":true,\"slot\":\"Left shelf 2\"}");
}

// One line appended per result, the same one to the system log, a failure
// as a warning; each line stamped with the time and host.
TEST(BenchRecord, JournalAppendsToFileAndSystemLog) {
    testkit::CScratchDir dir;
    const std::string path = dir.Path() + "/state/corvane/records.jsonl";
    CSystemLogRecorder systemLog;
    bench::CBenchJournal journal(path, systemLog);
    bench::RunResult ok = Failed();
    ok.outcome = records::Outcome::Upgraded;
    std::string problem;
    EXPECT_TRUE(journal.Record(Slot(), Failed(), problem)) << problem;
    EXPECT_TRUE(journal.Record(Slot(), ok, problem)) << problem;

    const std::vector<std::string> lines = Lines(path);
    ASSERT_EQ(lines.size(), 2U);
    ASSERT_EQ(systemLog.lines.size(), 2U);
    EXPECT_EQ(systemLog.lines[0], "warning " + lines[0]);
    EXPECT_EQ(systemLog.lines[1], "info " + lines[1]);
    // {"time":"2026-12-07T20:12:40Z","host":"...","tool":"bench",...
    const std::string head = "{\"time\":\"";
    ASSERT_EQ(lines[0].rfind(head, 0), 0U) << lines[0];
    EXPECT_TRUE(IsUtcTime(lines[0].substr(head.size(), 20))) << lines[0];
    EXPECT_EQ(lines[0]
                  .substr(head.size() + 20)
                  .rfind("\",\"host\":\"" + records::HostName() + "\",\"tool\":\"bench\",", 0),
              0U)
        << lines[0];
}

// The system log's lines go to the log socket named by $CORVANE_LOG_SOCKET
// in the form syslog(3) sends, with the ident "corvane" and a failure as a
// warning, so a bench PC's own rsyslog can listen where it likes.
TEST(BenchRecord, SystemLogLinesGoToTheNamedLogSocket) {
    testkit::CScratchDir dir;
    const CLogSocket log(dir.Path() + "/log");
    ASSERT_TRUE(log.Bound());
    records::CSyslog systemLog;
    const std::string pid = std::to_string(::getpid());
    systemLog.Write(true, "{\"outcome\":\"failed\"}");
    EXPECT_EQ(WithoutTime(log.Receive()), "<12>corvane[" + pid + "]: {\"outcome\":\"failed\"}");
    systemLog.Write(false, "{\"outcome\":\"read\"}");
    const std::string datagram = log.Receive();
    EXPECT_EQ(WithoutTime(datagram), "<14>corvane[" + pid + "]: {\"outcome\":\"read\"}");
    // "<14>Dec  7 20:12:40 ": the month's name, the day padded to two places.
    ASSERT_GE(datagram.size(), 20U);
    const std::tm parts = [] {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        ::localtime_r(&now, &local);
        return local;
    }();
    char day[8];
    std::strftime(day, sizeof day, "%b %e", &parts);  // the test runs in the C locale
    EXPECT_EQ(datagram.substr(4, 6), day) << datagram;
    EXPECT_EQ(datagram[13], ':') << datagram;
    EXPECT_EQ(datagram[19], ' ') << datagram;
}

// Debug texts go to the system log under an ident of their own, never as
// "corvane", which a service centre gathers as records; the line end the
// caller supplies is the log's own business.
TEST(BenchRecord, DebugTextsHaveTheirOwnIdent) {
    testkit::CScratchDir dir;
    const CLogSocket log(dir.Path() + "/log");
    ASSERT_TRUE(log.Bound());
    const platform::DebugSink old = platform::SetDebugSink({});  // the system log
    platform::OutputProcessDebugString("WriteFile (in Writer)\n\r");
    platform::SetDebugSink(old);
    EXPECT_EQ(WithoutTime(log.Receive()),
              "<15>corvane-debug[" + std::to_string(::getpid()) + "]: WriteFile (in Writer)");
}

// Benches in several zones write one kind of time: the stamp is UTC, and a
// time read back with an offset is given out in UTC too.
TEST(BenchRecord, TimeIsUtcWhateverTheZone) {
    const CZone zone("Asia/Kolkata");  // +05:30, no daylight saving
    testkit::CScratchDir dir;
    const std::string path = dir.Path() + "/records.jsonl";
    CSystemLogRecorder systemLog;
    records::CRecordJournal journal(path, systemLog);
    std::string problem;
    const std::int64_t first = std::time(nullptr);
    ASSERT_TRUE(journal.Append(bench::BenchServiceRecord(Slot(), Failed(), false), problem))
        << problem;
    const std::int64_t last = std::time(nullptr);
    const std::vector<std::string> lines = Lines(path);
    ASSERT_EQ(lines.size(), 1U);
    const std::string head = "{\"time\":\"";
    const std::string stamp = lines[0].substr(head.size(), 20);
    ASSERT_TRUE(IsUtcTime(stamp)) << lines[0];
    std::int64_t written = 0;
    ASSERT_TRUE(records::ParseTime(stamp, written)) << stamp;
    EXPECT_GE(written, first) << stamp;
    EXPECT_LE(written, last) << stamp;

    records::CRecordParser parser;
    records::ServiceRecord r;
    ASSERT_TRUE(
        parser.Parse("{\"time\":\"2026-12-08T01:42:40+05:30\",\"outcome\":\"read\"}", r).record);
    EXPECT_EQ(r.time, "2026-12-07T20:12:40Z");
}

// A record path that is no regular file fails at once with its reason (a
// FIFO without a reader would block the open, one with a reader would
// swallow the lines); the line still reaches the system log.
TEST(BenchRecord, PathThatIsNoRegularFileFailsAtOnce) {
    testkit::CScratchDir dir;
    const std::string fifo = dir.Path() + "/records.jsonl";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    CSystemLogRecorder systemLog;
    std::string problem;
    std::ofstream(dir.Path() + "/file") << "x";
    for (const std::string& path :
         {fifo, dir.Path(), std::string("/dev/null"), dir.Path() + "/file/records.jsonl"}) {
        records::CRecordJournal journal(path, systemLog);
        EXPECT_FALSE(journal.Append(bench::BenchServiceRecord(Slot(), Failed(), false), problem));
        EXPECT_EQ(problem.rfind("Could not write the service record " + path + ": ", 0), 0U)
            << problem;
    }
    char byte = 0;
    EXPECT_LE(::read(reader, &byte, 1), 0);  // nothing went into the FIFO
    ::close(reader);
    // Without a reader the open itself would block but for O_NONBLOCK.
    records::CRecordJournal noReader(fifo, systemLog);
    EXPECT_FALSE(noReader.Append(bench::BenchServiceRecord(Slot(), Failed(), false), problem));
    EXPECT_EQ(systemLog.lines.size(), 5U);
}

// A line cut short (a full disk, here a file-size limit) is cut back out of
// the file; and whatever the file ends with, the next line starts a line.
TEST(BenchRecord, ShortWriteIsCutBackAndTheNextLineStartsAfresh) {
    testkit::CScratchDir dir;
    const std::string path = dir.Path() + "/records.jsonl";
    std::ofstream(path) << "{\"time\":\"cut short by a power cut";
    const auto before = std::filesystem::file_size(path);
    CSystemLogRecorder systemLog;
    records::CRecordJournal journal(path, systemLog);
    std::string problem;
    {
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = before + 40;  // room for a part of the line only
        ::setrlimit(RLIMIT_FSIZE, &small);
        const bool written =
            journal.Append(bench::BenchServiceRecord(Slot(), Failed(), false), problem);
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        EXPECT_FALSE(written);
    }
    EXPECT_EQ(problem, "Could not write the service record " + path +
                           ": short write, the disk may be full.");
    EXPECT_EQ(std::filesystem::file_size(path), before);

    ASSERT_TRUE(journal.Append(bench::BenchServiceRecord(Slot(), Failed(), false), problem))
        << problem;
    ASSERT_TRUE(journal.Append(bench::BenchServiceRecord(Slot(), Failed(), false), problem))
        << problem;
    const std::vector<std::string> lines = Lines(path);
    ASSERT_EQ(lines.size(), 3U) << lines[0];
    EXPECT_EQ(lines[0], "{\"time\":\"cut short by a power cut");
    EXPECT_EQ(lines[1].rfind("{\"time\":\"20", 0), 0U) << lines[1];
    EXPECT_EQ(lines[2].rfind("{\"time\":\"20", 0), 0U) << lines[2];
}

// Window boxes become one line: a capital after words gets a full stop, a
// line broken mid-sentence is joined with a space.
TEST(BenchRecord, BoxTextsBecomeOneLine) {
    EXPECT_EQ(bench::BoxTextAsLine("Upgrade Process Failed\nPlease unplug the charger for 10 "
                                   "seconds\nthen plug it back in and try again."),
              "Upgrade Process Failed. Please unplug the charger for 10 seconds then plug it back "
              "in and try again.");
    EXPECT_EQ(bench::BoxTextAsLine(kCommErrorText),
              "Communications Error! Verify the cable is connected properly and the correct "
              "communications port has been selected. If communications errors continue please "
              "unplug the charger for 10 seconds and then plug it back in and try again. If "
              "that fails please contact support.");
}

// Where an upload ended says what went wrong: before the first block was
// asked for, or at a block.
TEST(BenchRecord, FailedUploadIsPlacedAtItsBlock) {
    const struct {
        int block;
        UploadState end;
        const char* reason;
    } cases[] = {
        {0, UploadState::Failed, "The boot loader never asked for the first block."},
        {1, UploadState::Failed, "The upload failed at block 1 of 101."},
        {1, UploadState::Cancelled, "The charger cancelled the upload at block 1 of 101."},
    };
    for (const auto& c : cases) {
        bench::FailureFacts facts;
        facts.uploadEnd = c.end;
        facts.block = c.block;
        facts.totalBlocks = 101;
        EXPECT_EQ(bench::FailureReason(facts), c.reason) << c.block;
    }
}
