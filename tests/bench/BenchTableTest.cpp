// The bench's live table on a pseudo-terminal of 80x24 and of 200x50.
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

#include "BenchEvents.h"
#include "TermScreen.h"
#include "cli/BenchReport.h"
#include "cli/BenchReportTable.h"

using bench::EventKind;
using benchtest::CScreen;
using benchtest::Event;
using benchtest::Finished;

namespace {

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
