// The history table on a terminal: which columns a width leaves, and rows
// that never run past it.
#include <gtest/gtest.h>
#include <locale.h>

#include "CliHarness.h"
#include "cli/HistoryTable.h"
#include "records/SafeText.h"

namespace {

using clitest::Contains;

records::ServiceRecord LongRecord() {
    records::ServiceRecord r;
    r.when = 1'796'112'000;
    r.deviceId = "VC-4017-0032-WITH-A-LONG-TAIL";
    r.outcomeText = "failed";
    r.simulated = true;
    r.before = "2.09";
    r.after = "2.10e-beta-long";
    r.port = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10KZ3QX-if00-port0";
    r.host = "benchpc-in-the-back-room";
    r.tool = "window";
    r.slot = "Left shelf 12";
    r.reason =
        "The upload failed at block 41 of 101. Upgrade Process Failed. Please unplug the "
        "charger for 10 seconds then plug it back in and try again.";
    return r;
}

// A terminal wraps a line that fills its last column, so lines keep to one
// column less than the width. The slot, tool, host and port go first, in
// that order, to leave the reason room.
TEST(HistoryTable, NarrowTerminalDropsTheLeastTellingColumns) {
    const struct {
        int columns;
        std::vector<const char*> shown;
        std::vector<const char*> dropped;
    } cases[] = {
        {80,
         {"TIME", "DEVICE ID", "OUTCOME", "VERSIONS", "REASON"},
         {"SLOT", "PORT", "HOST", "TOOL"}},
        {96,
         {"TIME", "DEVICE ID", "OUTCOME", "VERSIONS", "PORT", "REASON"},
         {"SLOT", "HOST", "TOOL"}},
        {120,
         {"TIME", "DEVICE ID", "OUTCOME", "VERSIONS", "PORT", "HOST", "TOOL", "REASON"},
         {"SLOT"}},
        {140,
         {"TIME", "DEVICE ID", "OUTCOME", "VERSIONS", "SLOT", "PORT", "HOST", "TOOL", "REASON"},
         {}},
    };
    const records::ServiceRecord record = LongRecord();
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
        EXPECT_EQ(Contains(row, " ~ shelf 12 "), Contains(header, "SLOT"))
            << c.columns << ": " << row;
        for (const std::string& line : {header, row}) {
            ASSERT_EQ(line.back(), '\n');
            EXPECT_LT(line.size() - 1, static_cast<std::size_t>(c.columns))
                << c.columns << ": " << line;
        }
        EXPECT_EQ(row.size(), static_cast<std::size_t>(c.columns)) << c.columns << ": " << row;
    }
}

// A terminal shows code points, some of them two columns wide (East Asian)
// and some none (combining marks): values are cut between whole characters
// and padded to the columns they take, so the next column stays in line.
TEST(HistoryTable, ValuesAreCutAndPaddedByTheColumnsTheyTake) {
    const std::string e = "e\xcc\x81";  // e and a combining acute accent
    std::string e14;
    for (int i = 0; i < 14; ++i) {
        e14 += e;
    }
    const struct {
        std::string deviceId;
        std::string port;
        std::string reason;
        std::string deviceCell;  // with the padding and the two spaces after it
        std::string portCell;
        std::string reasonCell;
    } cases[] = {
        {"VC-Ö-0032", "COM1", "r", "VC-Ö-0032       ", "COM1              ", "r"},
        {"ÄÄÄÄÄÄÄÄÄÄÄÄÄÄÄÄ", "COM1", "r", "ÄÄÄÄÄÄÄÄÄÄÄÄÄ~  ", "COM1              ", "r"},
        {"中中中中中中中中", "COM1", "r", "中中中中中中~   ", "COM1              ", "r"},
        {"😀😀😀😀😀😀😀😀", "COM1", "r", "😀😀😀😀😀😀~   ", "COM1              ", "r"},
        {e14, "COM1", "r", e14 + "  ", "COM1              ", "r"},
        {e14 + "e", "COM1", "r", e14.substr(0, 13 * e.size()) + "~  ", "COM1              ", "r"},
        {"X\x1b]0;OWNED\x07", "COM1", "r", "X\\x1b]0;OWNED~  ", "COM1              ", "r"},
        {"VC-1", "/dev/serial/by-id/usb-中中中中中中中中", "r", "VC-1            ",
         "~中中中中中中中   ", "r"},
        {"VC-1", "/dev/ttyUSB-Ö0", "r", "VC-1            ", "/dev/ttyUSB-Ö0    ", "r"},
        {"VC-1", "/dev/serial/by-id/usb-Ö_Z3QX-if00-port0", "r", "VC-1            ",
         "~Z3QX-if00-port0  ", "r"},
        {"VC-1", "/dev/serial/by-id/usb-中ABCDEFGHIJKLM", "r", "VC-1            ",
         "~中ABCDEFGHIJKLM  ", "r"},
        {"VC-1", "COM1", "Ünplug the charger for 10 seconds", "VC-1            ",
         "COM1              ", "Ünplug the charger f~"},
    };
    const CHistoryTable table(120);
    for (const auto& c : cases) {
        records::ServiceRecord r;
        r.deviceId = c.deviceId;
        r.outcomeText = "read";
        r.before = "2.09";
        r.port = c.port;
        r.host = "pc1";
        r.tool = "cli";
        r.reason = c.reason;
        const std::string row = table.Row(r);
        ASSERT_GT(row.size(), 18u) << row;
        EXPECT_EQ(row.substr(18), c.deviceCell + "read       2.09           " + c.portCell +
                                      "pc1         cli     " + c.reasonCell + "\n");
    }
}

// The widths come from the C.UTF-8 tables for a while only: the thread's
// locale is the same after a row as before it.
TEST(HistoryTable, RowLeavesTheThreadsLocale) {
    const locale_t before = ::uselocale(locale_t{});
    records::ServiceRecord r;
    r.deviceId = "中";
    const std::string row = CHistoryTable(120).Row(r);
    EXPECT_EQ(::uselocale(locale_t{}), before) << row;
}

}  // namespace

namespace {

const std::string kBad = "\xef\xbf\xbd";  // U+FFFD

// What a terminal would obey shows as an escape; a CSV cell keeps tab and
// line breaks, which it holds quoted. Bytes that are not well-formed UTF-8
// (overlong forms, surrogates, past U+10FFFF, cut short) become U+FFFD each.
TEST(SafeText, ControlsShowAsEscapesAndBadBytesAsReplacements) {
    using namespace std::string_literals;
    const struct {
        std::string text;
        std::string shown;
        const char* cell;  // null: as shown
    } cases[] = {
        {"VC-4017-0032 Ä中😀", "VC-4017-0032 Ä中😀", nullptr},
        {"X\x1b]0;OWNED\x07", "X\\x1b]0;OWNED\\x07", nullptr},
        {"A\0B"s, "A\\x00B", nullptr},
        {"\x1f \x7e\x7f", "\\x1f ~\\x7f", nullptr},
        {"a\tb\r\nc", "a\\x09b\\x0d\\x0ac", "a\tb\r\nc"},
        {"\xc2\x80\xc2\x85\xc2\x9b\xc2\x9f\xc2\xa0\xdf\xbf", "\\x80\\x85\\x9b\\x9f\xc2\xa0\xdf\xbf",
         nullptr},
        {"\xd8\x9b\xd8\x9c\xd8\x9d", "\xd8\x9b\\u061c\xd8\x9d", nullptr},
        {"\xe2\x80\x8d\xe2\x80\x8e\xe2\x80\x8f\xe2\x80\x90",
         "\xe2\x80\x8d\\u200e\\u200f\xe2\x80\x90", nullptr},
        {"\xe2\x80\xa7\xe2\x80\xa8\xe2\x80\xae\xe2\x80\xaf",
         "\xe2\x80\xa7\\u2028\\u202e\xe2\x80\xaf", nullptr},
        {"\xe2\x81\xa5\xe2\x81\xa6\xe2\x81\xa9\xe2\x81\xaa",
         "\xe2\x81\xa5\\u2066\\u2069\xe2\x81\xaa", nullptr},
        {"\x9b\x80\x80\x80|\xc0\x80|\xc1\xbf|\xf5\x80\x80\x80",
         kBad + kBad + kBad + kBad + "|" + kBad + kBad + "|" + kBad + kBad + "|" + kBad + kBad +
             kBad + kBad,
         nullptr},
        {"\xc2\x7f|\xc2\xc0|\xc2", kBad + "\\x7f|" + kBad + kBad + "|" + kBad, nullptr},
        {"\xe0\x9f\xbf|\xe0\xa0\x80|\xef\xbf\xbd", kBad + kBad + kBad + "|\xe0\xa0\x80|" + kBad,
         nullptr},
        {"\xed\x9f\xbf|\xed\xa0\x80", "\xed\x9f\xbf|" + kBad + kBad + kBad, nullptr},
        {"\xe2\x82\x41|\xe2\x82\xc0|\xe2\x82",
         kBad + kBad + "A|" + kBad + kBad + kBad + "|" + kBad + kBad, nullptr},
        {"\xf0\x8f\xbf\xbf|\xf0\x90\x80\x80", kBad + kBad + kBad + kBad + "|\xf0\x90\x80\x80",
         nullptr},
        {"\xf4\x8f\xbf\xbf|\xf4\x90\x80\x80", "\xf4\x8f\xbf\xbf|" + kBad + kBad + kBad + kBad,
         nullptr},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(records::ShownText(c.text), c.shown) << c.text;
        EXPECT_EQ(records::CellText(c.text), c.cell != nullptr ? c.cell : c.shown) << c.text;
    }
}

// Text that is printable ASCII throughout shows and goes into a cell as it
// is; any other byte, or one excluded, is found wherever it stands in a
// step of eight bytes or in the rest after the last step.
TEST(SafeText, PrintableAsciiIsToldByEveryByte) {
    for (int byte = 0; byte < 256; ++byte) {
        const char c = static_cast<char>(byte);
        const bool printable = byte >= 0x20 && byte < 0x7F;
        for (std::size_t at = 0; at < 19; ++at) {
            std::string text(19, 'a');
            text[at] = c;
            EXPECT_EQ(records::IsPrintableAscii(text), printable) << byte << " at " << at;
            EXPECT_EQ(records::IsPrintableAscii(text, ",\""), printable && c != ',' && c != '"')
                << byte << " at " << at;
        }
    }
}

// The code point and its length; a sequence cut short by the end of the
// text is no code point, whatever bytes follow it in memory.
TEST(SafeText, Utf8AtDecodesOneCodePoint) {
    const struct {
        std::string_view text;
        char32_t value;
        std::size_t size;
    } cases[] = {
        {"\x7f", 0x7F, 1},
        {"\xdf\xbf", 0x7FF, 2},
        {"\xe0\xa0\x80", 0x800, 3},
        {"\xf0\x90\x80\x80", 0x10000, 4},
        {"\xf0\x9f\x98\x80", 0x1F600, 4},
        {"\xf4\x8f\xbf\xbf", 0x10FFFF, 4},
        {std::string_view("\xc2\x85", 1), 0xFFFD, 1},
        {std::string_view("\xe2\x80\xae", 2), 0xFFFD, 1},
    };
    for (const auto& c : cases) {
        const records::CodePoint point = records::Utf8At(c.text, 0);
        EXPECT_EQ(point.value, c.value) << c.text;
        EXPECT_EQ(point.size, c.size) << c.text;
    }
}

}  // namespace
