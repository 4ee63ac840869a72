// The history table on a terminal: which columns a width leaves, and rows
// that never run past it.
#include <gtest/gtest.h>

#include "CliHarness.h"
#include "cli/HistoryTable.h"

namespace {

using clitest::Contains;

bench::HistoryRecord LongRecord() {
    bench::HistoryRecord r;
    r.time = 1'796'112'000;
    r.deviceId = "VC-4017-0032-WITH-A-LONG-TAIL";
    r.outcome = "failed";
    r.simulated = true;
    r.before = "2.09";
    r.after = "2.10e-beta-long";
    r.port = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10KZ3QX-if00-port0";
    r.host = "benchpc-in-the-back-room";
    r.tool = "window";
    r.reason =
        "The upload failed at block 41 of 101. Upgrade Process Failed. Please unplug the "
        "charger for 10 seconds then plug it back in and try again.";
    return r;
}

// A terminal wraps a line that fills its last column, so lines keep to one
// column less than the width. The tool, host and port go first, in that
// order, to leave the reason room.
TEST(HistoryTable, NarrowTerminalDropsTheLeastTellingColumns) {
    const struct {
        int columns;
        std::vector<const char*> shown;
        std::vector<const char*> dropped;
    } cases[] = {
        {80, {"TIME", "DEVICE ID", "OUTCOME", "VERSIONS", "REASON"}, {"PORT", "HOST", "TOOL"}},
        {96, {"TIME", "DEVICE ID", "OUTCOME", "VERSIONS", "PORT", "REASON"}, {"HOST", "TOOL"}},
        {120, {"TIME", "DEVICE ID", "OUTCOME", "VERSIONS", "PORT", "HOST", "TOOL", "REASON"}, {}},
    };
    const bench::HistoryRecord record = LongRecord();
    for (const auto& c : cases) {
        const CHistoryTable table(c.columns);
        const std::string header = table.Header();
        const std::string row = table.Row(record);
        for (const char* title : c.shown) {
            EXPECT_TRUE(Contains(header, title)) << c.columns << ": " << header;
        }
        for (const char* title : c.dropped) {
            EXPECT_FALSE(Contains(header, title)) << c.columns << ": " << header;
        }
        EXPECT_EQ(Contains(row, "-if00-port0"), Contains(header, "PORT"))
            << c.columns << ": " << row;
        EXPECT_EQ(Contains(row, "window"), Contains(header, "TOOL")) << c.columns << ": " << row;
        for (const std::string& line : {header, row}) {
            ASSERT_EQ(line.back(), '\n');
            EXPECT_LT(line.size() - 1, static_cast<std::size_t>(c.columns))
                << c.columns << ": " << line;
        }
        EXPECT_EQ(row.size(), static_cast<std::size_t>(c.columns)) << c.columns << ": " << row;
    }
}

}  // namespace
