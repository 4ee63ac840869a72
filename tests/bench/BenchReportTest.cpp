// The lines corvane-cli bench prints for the bench's events, and its live
// table on a pseudo-terminal of 80x24 and of 200x50.
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/BenchReport.h"
#include "cli/BenchReportTable.h"

using bench::EventKind;

namespace {

bench::BenchEvent Event(EventKind kind, int block = 0, int resends = 0) {
    bench::BenchEvent event;
    event.kind = kind;
    event.slot.port = "/tmp/bench/charger-3";
    event.slot.device = "/dev/pts/7";
    event.slot.deviceId = "CV-004711";
    event.slot.block = block;
    event.slot.totalBlocks = 101;
    event.slot.resends = resends;
    return event;
}

bench::BenchEvent Finished(records::Outcome outcome) {
    bench::BenchEvent event = Event(EventKind::Finished);
    bench::RunResult r;
    r.outcome = outcome;
    r.before = "2.09";
    r.after = outcome == records::Outcome::Upgraded ? "2.10e" : "";
    r.reason = outcome == records::Outcome::Failed ? "The upload failed at block 41 of 101." : "";
    r.blocks = 41;
    r.resends = 1;
    r.seconds = 37.46;
    event.slot.result = r;
    return event;
}

}  // namespace

// Progress every 10 blocks (a resend of one already shown is not repeated),
// the last block, and the finished event's figures; status events are not
// printed.
TEST(BenchReport, JsonLinesPerEvent) {
    CBenchReport report(CBenchReport::Form::Json, stdout);
    EXPECT_EQ(report.JsonLine(Event(EventKind::Appeared)),
              "{\"event\":\"appeared\",\"port\":\"/tmp/bench/charger-3\","
              "\"device\":\"/dev/pts/7\",\"byId\":\"\"}");
    EXPECT_EQ(report.JsonLine(Event(EventKind::Started)),
              "{\"event\":\"started\",\"port\":\"/tmp/bench/charger-3\"}");
    std::vector<std::string> shown;
    for (const auto& [block, resends] :
         std::vector<std::pair<int, int>>{{9, 0}, {10, 0}, {10, 1}, {11, 1}, {20, 1}, {101, 1}}) {
        const std::string line = report.JsonLine(Event(EventKind::Progress, block, resends));
        if (!line.empty()) {
            shown.push_back(line);
        }
    }
    EXPECT_EQ(shown, (std::vector<std::string>{
                         "{\"event\":\"progress\",\"port\":\"/tmp/bench/charger-3\",\"block\":10,"
                         "\"blocks\":101,\"resends\":0}",
                         "{\"event\":\"progress\",\"port\":\"/tmp/bench/charger-3\",\"block\":20,"
                         "\"blocks\":101,\"resends\":1}",
                         "{\"event\":\"progress\",\"port\":\"/tmp/bench/charger-3\",\"block\":101,"
                         "\"blocks\":101,\"resends\":1}"}));
    EXPECT_EQ(report.JsonLine(Finished(records::Outcome::Failed)),
              "{\"event\":\"finished\",\"port\":\"/tmp/bench/charger-3\",\"outcome\":\"failed\","
              "\"reason\":\"The upload failed at block 41 of 101.\",\"deviceId\":\"CV-004711\","
              "\"before\":\"2.09\","
              "\"after\":\"\",\"blocks\":41,\"resends\":1,\"seconds\":37.5}");
    EXPECT_EQ(report.JsonLine(Event(EventKind::Status)), "");
    EXPECT_EQ(report.JsonLine(Event(EventKind::Gone)),
              "{\"event\":\"gone\",\"port\":\"/tmp/bench/charger-3\"}");
}

TEST(BenchReport, PlainLinesAndSummary) {
    CBenchReport report(CBenchReport::Form::Lines, stdout);
    EXPECT_EQ(report.PlainLine(Finished(records::Outcome::Upgraded)),
              "/tmp/bench/charger-3: upgraded 2.09 -> 2.10e in 37.5 s (41 blocks, 1 resends)");
    EXPECT_EQ(report.PlainLine(Finished(records::Outcome::Failed)),
              "/tmp/bench/charger-3: failed after 37.5 s: The upload failed at block 41 of 101.");
    std::vector<bench::SlotInfo> slots;
    for (const auto outcome :
         {records::Outcome::Upgraded, records::Outcome::Failed, records::Outcome::Upgraded}) {
        slots.push_back(Finished(outcome).slot);
    }
    slots.push_back(Event(EventKind::Gone).slot);  // an empty slot counts for nothing
    EXPECT_EQ(CBenchReport::Summary(slots), "3 chargers: 2 upgraded, 1 failed");
    // Records lost (a full disk) are said in the summary too, not only
    // beside the chargers whose records they were.
    EXPECT_EQ(CBenchReport::Summary(slots, 1),
              "3 chargers: 2 upgraded, 1 failed; 1 record could not be written");
    EXPECT_EQ(CBenchReport::Summary(slots, 2),
              "3 chargers: 2 upgraded, 1 failed; 2 records could not be written");
}

namespace {

// What a terminal of a given size shows of the bytes it is sent: printable
// characters, CR, LF, cursor up (ESC [ n A), erase below (ESC [ J) and erase
// to the end of the line (ESC [ K), also when a read ends inside one. It
// counts the lines scrolled off its top and the characters that reached its
// last column, where a real terminal would wrap.
class CScreen {
public:
    CScreen(int columns, int rows)
        : m_columns(columns), m_lines(static_cast<std::size_t>(rows), std::string()) {}

    void Feed(const std::string& more) {
        const std::string bytes = m_partial + more;
        m_partial.clear();
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const char c = bytes[i];
            std::size_t end = i + 2;
            while (end < bytes.size() && std::isdigit(static_cast<unsigned char>(bytes[end]))) {
                ++end;
            }
            if (c == '\x1b' && end >= bytes.size()) {
                m_partial = bytes.substr(i);  // the rest comes with the next read
                return;
            }
            if (c == '\x1b' && bytes[i + 1] == '[') {
                const int n = end > i + 2 ? std::stoi(bytes.substr(i + 2, end - i - 2)) : 1;
                if (bytes[end] == 'A') {
                    m_row = std::max(0, m_row - n);
                } else if (bytes[end] == 'K') {
                    std::string& line = m_lines[static_cast<std::size_t>(m_row)];
                    line.resize(std::min(line.size(), static_cast<std::size_t>(m_column)));
                } else if (bytes[end] == 'J') {
                    m_lines[static_cast<std::size_t>(m_row)].resize(
                        std::min(m_lines[static_cast<std::size_t>(m_row)].size(),
                                 static_cast<std::size_t>(m_column)));
                    for (std::size_t r = static_cast<std::size_t>(m_row) + 1; r < m_lines.size();
                         ++r) {
                        m_lines[r].clear();
                    }
                } else {
                    ADD_FAILURE() << "unexpected control sequence " << bytes.substr(i + 1, 4);
                }
                i = end;
            } else if (c == '\r') {
                m_column = 0;
            } else if (c == '\n') {
                NextLine();
            } else {
                if (m_column >= m_columns - 1) {
                    ++lastColumnHits;
                }
                std::string& line = m_lines[static_cast<std::size_t>(m_row)];
                line.resize(std::max(line.size(), static_cast<std::size_t>(m_column) + 1), ' ');
                line[static_cast<std::size_t>(m_column++)] = c;
            }
        }
    }

    // The screen's lines, down to the cursor's.
    std::vector<std::string> Lines() const { return {m_lines.begin(), m_lines.begin() + m_row}; }

    int scrolled = 0;
    int lastColumnHits = 0;

private:
    void NextLine() {
        if (++m_row == static_cast<int>(m_lines.size())) {
            m_lines.erase(m_lines.begin());
            m_lines.emplace_back();
            --m_row;
            ++scrolled;
        }
    }

    int m_columns;
    std::string m_partial;  // an escape sequence cut short by the end of a read
    std::vector<std::string> m_lines;
    int m_row = 0;
    int m_column = 0;
};

const std::string kReason =
    "The upload failed at block 41 of 101. Upgrade Process Failed. Please unplug the charger "
    "for 10 seconds then plug it back in and try again.";

// Thirty chargers on long by-id names: every sixth fails, others are
// upgraded, checking, uploading or still waiting; one holds no firmware and
// one is already current.
std::vector<bench::BenchEvent> ThirtyChargers() {
    std::vector<bench::BenchEvent> events;
    for (int i = 0; i < 30; ++i) {
        bench::BenchEvent event;
        bench::SlotInfo& slot = event.slot;
        char port[96];
        std::snprintf(port, sizeof port,
                      "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3C%02d-if00-port0", i);
        slot.slot = i;
        slot.port = port;
        slot.deviceId = "CV-0047" + std::to_string(10 + i);
        slot.state = bench::SlotState::Waiting;
        event.kind = EventKind::Appeared;
        events.push_back(event);
        if (i % 6 == 5 && i > 11) {
            continue;  // still waiting
        }
        slot.state = bench::SlotState::Reading;
        event.kind = EventKind::Started;
        events.push_back(event);
        slot.before = i == 5 ? "" : i == 11 ? "2.10e" : "2.09";
        bench::RunResult result;
        result.before = slot.before;
        result.seconds = 30 + i;
        if (i == 5 || i == 11) {  // read-only without firmware; already current
            result.outcome = i == 5 ? records::Outcome::Read : records::Outcome::Current;
            slot.state = bench::SlotState::Finished;
            slot.result = result;
            event.kind = EventKind::Finished;
            events.push_back(event);
            continue;
        }
        slot.state = bench::SlotState::Upgrading;
        slot.totalBlocks = 101;
        const int last = i % 6 == 0 ? 41 : i % 6 == 4 ? 50 : 101;
        for (slot.block = 1; slot.block <= last; ++slot.block) {
            event.kind = EventKind::Progress;
            events.push_back(event);
        }
        slot.block = 0;
        slot.state = bench::SlotState::Checking;
        event.kind = EventKind::Status;
        if (i % 6 == 0) {
            result.outcome = records::Outcome::Failed;
            result.reason = kReason;
            result.blocks = 41;
        } else if (i % 6 != 4) {
            events.push_back(event);
            if (i % 6 == 3) {
                continue;  // checking
            }
            result.outcome = records::Outcome::Upgraded;
            result.after = slot.after = "2.10e";
            result.blocks = 101;
        } else {
            continue;  // uploading
        }
        slot.state = bench::SlotState::Finished;
        slot.result = result;
        event.kind = EventKind::Finished;
        events.push_back(event);
    }
    return events;
}

// The live table of the thirty chargers as a terminal of that size shows it
// after every event; records that could not be written are told after the
// first charger has appeared.
CScreen ShowOnTerminal(int columns, int rows, const std::vector<std::string>& recordProblems = {}) {
    int master = -1;
    int slave = -1;
    winsize size{};
    size.ws_col = static_cast<unsigned short>(columns);
    size.ws_row = static_cast<unsigned short>(rows);
    EXPECT_EQ(::openpty(&master, &slave, nullptr, nullptr, &size), 0);
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    std::FILE* out = ::fdopen(slave, "w");
    CScreen screen(columns, rows);
    const auto drain = [&] {
        char buffer[4096];
        for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;) {
            screen.Feed(std::string(buffer, static_cast<std::size_t>(n)));
        }
    };
    CBenchReport report(CBenchReport::Form::Table, out);
    const auto events = ThirtyChargers();
    for (std::size_t i = 0; i < events.size(); ++i) {
        report.OnBenchEvent(events[i]);
        drain();
        for (const auto& problem : i == 0 ? recordProblems : std::vector<std::string>{}) {
            bench::BenchEvent failed = events[i];
            failed.kind = EventKind::RecordFailed;
            failed.problem = problem;
            report.OnBenchEvent(failed);
            drain();
        }
    }
    std::fclose(out);
    ::close(master);
    return screen;
}

// Lines a reason was wrapped onto, joined again.
std::string Unwrapped(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        text += (line.rfind("    ", 0) == 0 ? " " + line.substr(4) : "\n" + line);
    }
    return text + "\n";
}

bool HasLine(const std::vector<std::string>& lines, const std::vector<std::string>& words) {
    for (const auto& line : lines) {
        bool all = true;
        for (const auto& word : words) {
            all = all && (" " + line + " ").find(" " + word + " ") != std::string::npos;
        }
        if (all) {
            return true;
        }
    }
    return false;
}

}  // namespace

// At 80x24 the thirty rows cannot all fit: the table never scrolls or wraps,
// and shows failed rows with their whole reasons, busy rows (a third of the
// room) and a line counting every slot. Versions are whole and the state
// column names each outcome.
TEST(BenchReport, TableAt80x24KeepsToTheScreen) {
    const CScreen screen = ShowOnTerminal(80, 24);
    EXPECT_EQ(screen.scrolled, 0);
    EXPECT_EQ(screen.lastColumnHits, 0);
    const auto lines = screen.Lines();
    ASSERT_LE(lines.size(), 23u);
    const std::string text = Unwrapped(lines);
    const std::string closing =
        "\n30 chargers: 10 upgraded, 1 current, 1 no firmware, 5 failed, 5 upgrading, 5 checking, "
        "3 waiting; 7 more not shown\n";
    EXPECT_EQ(text.substr(text.size() - std::min(text.size(), closing.size())), closing) << text;
    for (const int failed : {0, 6, 12}) {
        const std::string port =
            "..." + std::string(failed < 10 ? "A10K3C0" : "A10K3C") + std::to_string(failed);
        EXPECT_TRUE(HasLine(lines, {port, "CV-0047" + std::to_string(10 + failed), "failed",
                                    "41/101", "2.09", "-"}))
            << text;
        EXPECT_NE(text.find("\n  " + port + ": " + kReason + "\n"), std::string::npos) << text;
    }
    // Checking keeps the upload's progress.
    EXPECT_TRUE(HasLine(lines, {"...A10K3C03", "checking", "101/101", "2.09", "-"})) << text;
    EXPECT_TRUE(HasLine(lines, {"...A10K3C04", "upgrading", "50/101", "2.09", "-"})) << text;
}

// A record that could not be written is said under the table, within the
// screen's height: the table gives way to it.
TEST(BenchReport, TableAt80x24KeepsARecordProblemOnTheScreen) {
    const std::string problem = "Cannot write the service record to /x/records.jsonl.";
    const CScreen screen = ShowOnTerminal(80, 24, {problem});
    EXPECT_EQ(screen.scrolled, 0);
    const auto lines = screen.Lines();
    ASSERT_EQ(lines.size(), 23u);
    EXPECT_EQ(lines.back(), "  " + problem);
    // Above it, the end of the counts, with one busy row fewer than without it.
    EXPECT_EQ(lines[lines.size() - 2], "    checking, 3 waiting; 8 more not shown");
}

// Many such records take at most a third of the screen (the first of them),
// so the table keeps room for the failed and busy chargers: a third of the
// lines a frame may take (all but the last), 7 at 24 rows and 8 at 25.
TEST(BenchReport, TableAt80x24GivesRecordProblemsAThirdOfTheScreen) {
    std::vector<std::string> problems;
    for (int i = 1; i <= 10; ++i) {
        problems.push_back("Cannot write record " + std::to_string(i) + ".");
    }
    const struct {
        int rows;
        std::size_t shown;
    } sizes[] = {{24, 7}, {25, 8}};
    for (const auto& size : sizes) {
        const CScreen screen = ShowOnTerminal(80, size.rows, problems);
        EXPECT_EQ(screen.scrolled, 0) << size.rows;
        const auto lines = screen.Lines();
        ASSERT_EQ(lines.size(), static_cast<std::size_t>(size.rows - 1));
        const std::vector<std::string> shown(lines.end() - static_cast<std::ptrdiff_t>(size.shown),
                                             lines.end());
        std::vector<std::string> expected(
            problems.begin(), problems.begin() + static_cast<std::ptrdiff_t>(size.shown));
        for (std::string& line : expected) {
            line = "  " + line;
        }
        EXPECT_EQ(shown, expected) << size.rows;
        const std::string& counts = lines[lines.size() - size.shown - 1];
        EXPECT_NE(counts.find("more not shown"), std::string::npos) << size.rows << ": " << counts;
    }
}

// At 200x50 every slot has its row, each outcome in its state column, and
// every reason follows.
TEST(BenchReport, TableAt200x50ShowsEveryRow) {
    const CScreen screen = ShowOnTerminal(200, 50);
    EXPECT_EQ(screen.scrolled, 0);
    EXPECT_EQ(screen.lastColumnHits, 0);
    const auto lines = screen.Lines();
    ASSERT_GT(lines.size(), 30u);
    ASSERT_LE(lines.size(), 49u);
    const std::string text = Unwrapped(lines);
    for (int i = 0; i < 30; ++i) {
        char port[96];
        std::snprintf(port, sizeof port,
                      "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3C%02d-if00-port0", i);
        EXPECT_EQ(lines[static_cast<std::size_t>(i) + 1].rfind(port, 0), 0u) << text;
        if (i % 6 == 0) {
            EXPECT_NE(text.find("\n  " + std::string(port) + ": " + kReason + "\n"),
                      std::string::npos)
                << text;
        }
    }
    EXPECT_TRUE(HasLine(lines, {"CV-004715", "no", "firmware", "-", "-"}));
    EXPECT_TRUE(HasLine(lines, {"CV-004721", "current", "2.10e", "-"}));
    EXPECT_TRUE(HasLine(lines, {"CV-004711", "upgraded", "101/101", "2.09", "2.10e"}));
}

// A by-id name too long for its column keeps what tells adapters apart, the
// serial number, alone or among others.
TEST(BenchReport, TableKeepsTheSerialOfACutByIdName) {
    bench::BenchEvent event = Event(EventKind::Started);
    event.slot.port = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3C2B-if00-port0";
    event.slot.state = bench::SlotState::Reading;
    for (const int chargers : {1, 2}) {
        std::vector<bench::SlotInfo> slots(static_cast<std::size_t>(chargers), event.slot);
        slots.back().port = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3C2C-if00-port0";
        slots.front().port = event.slot.port;
        const auto lines = CBenchReportTable(80, 24).Frame(slots, false);
        ASSERT_EQ(lines.size(), 1u + static_cast<std::size_t>(chargers));
        EXPECT_NE(lines[1].find("A10K3C2B "), std::string::npos) << lines[1];
        EXPECT_NE(lines.back().find(chargers == 1 ? "A10K3C2B " : "A10K3C2C "), std::string::npos)
            << lines.back();
    }
}

// Each version stands under its own header, whatever their lengths: the one
// read before the upgrade under BEFORE, the one after it under AFTER.
TEST(BenchReport, TablePutsEachVersionUnderItsHeader) {
    bench::BenchEvent event = Finished(records::Outcome::Upgraded);
    event.slot.state = bench::SlotState::Finished;
    event.slot.before = event.slot.result->before = "1.07b";
    event.slot.after = event.slot.result->after = "12.3.45z";
    const auto lines = CBenchReportTable(120, 24).Frame({event.slot}, false);
    ASSERT_EQ(lines.size(), 2u);
    const std::size_t before = lines[0].find("BEFORE");
    const std::size_t after = lines[0].find("AFTER");
    ASSERT_NE(before, std::string::npos) << lines[0];
    ASSERT_NE(after, std::string::npos) << lines[0];
    EXPECT_EQ(lines[1].substr(before, 6), "1.07b ") << lines[0] << "\n" << lines[1];
    EXPECT_EQ(lines[1].substr(after, 9), "12.3.45z ") << lines[0] << "\n" << lines[1];
}

// A slot with a label is named by it: "slot" follows "port" in every JSON
// event, and heads the plain lines, whose "appeared" says the port once.
TEST(BenchReport, LinesNameALabelledSlot) {
    CBenchReport json(CBenchReport::Form::Json, stdout);
    CBenchReport plain(CBenchReport::Form::Lines, stdout);
    bench::BenchEvent appeared = Event(EventKind::Appeared);
    appeared.slot.label = "Slot 1";
    EXPECT_EQ(json.JsonLine(appeared),
              "{\"event\":\"appeared\",\"port\":\"/tmp/bench/charger-3\",\"slot\":\"Slot 1\","
              "\"device\":\"/dev/pts/7\",\"byId\":\"\"}");
    EXPECT_EQ(plain.PlainLine(appeared), "Slot 1: appeared (/tmp/bench/charger-3, /dev/pts/7)");
    bench::BenchEvent finished = Finished(records::Outcome::Upgraded);
    finished.slot.label = "Slot 1";
    EXPECT_EQ(json.JsonLine(finished).rfind(
                  "{\"event\":\"finished\",\"port\":\"/tmp/bench/charger-3\",\"slot\":\"Slot 1\","
                  "\"outcome\":\"upgraded\",",
                  0),
              0u)
        << json.JsonLine(finished);
    EXPECT_EQ(plain.PlainLine(finished),
              "Slot 1: upgraded 2.09 -> 2.10e in 37.5 s (41 blocks, 1 resends)");
    appeared.slot.port = appeared.slot.device;
    EXPECT_EQ(plain.PlainLine(appeared), "Slot 1: appeared (/dev/pts/7)");
}

// With labels the first column is SLOT: a label whole, a slot without one by
// its port, and a failed slot's reason under its label; at 80 columns the
// state, versions and time stay whole beside device IDs.
TEST(BenchReport, TableShowsSlotLabelsAt80Columns) {
    bench::SlotInfo failed = Finished(records::Outcome::Failed).slot;
    failed.state = bench::SlotState::Finished;
    failed.label = "Left shelf 12";
    failed.deviceId = "VC-4017-0032-12";
    failed.before = "2.09";
    failed.block = 41;  // as the report keeps it
    bench::SlotInfo busy = Event(EventKind::Progress, 50).slot;
    busy.slot = 1;
    busy.state = bench::SlotState::Upgrading;
    busy.port = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3C2B-if00-port0";
    busy.deviceId = "VC-4017-0032-13";
    busy.before = "2.09";
    busy.seconds = 12.5;
    const auto lines = CBenchReportTable(80, 24).Frame({failed, busy}, false);
    ASSERT_EQ(lines.size(), 4u);
    for (const auto& line : lines) {
        EXPECT_LT(line.size(), 80u) << line;
    }
    EXPECT_EQ(lines[0].rfind("SLOT ", 0), 0u) << lines[0];
    EXPECT_TRUE(HasLine({lines[1]}, {"Left", "shelf", "12", "VC-4017-0032-12", "failed", "41/101",
                                     "2.09", "-", "37.5", "s"}))
        << lines[1];
    EXPECT_EQ(lines[1].rfind("Left shelf 12 ", 0), 0u) << lines[1];
    EXPECT_TRUE(HasLine({lines[2]}, {"...A10K3C2B", "upgrading", "50/101", "2.09", "12.5", "s"}))
        << lines[2];
    EXPECT_EQ(lines[3], "  Left shelf 12: The upload failed at block 41 of 101.");
    // Without a label the column is the port's, as ever.
    failed.label.clear();
    EXPECT_EQ(CBenchReportTable(80, 24).Frame({failed, busy}, false)[0].rfind("PORT ", 0), 0u);
}
