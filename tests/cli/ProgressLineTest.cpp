// The upload's progress on standard error: its text, and how often it is
// written to a terminal and to a log.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "CliHarness.h"
#include "cli/ProgressLine.h"

namespace {

using clitest::Contains;
using clitest::Lines;

// A FILE* whose contents the test can read back.
class CMemoryStream {
public:
    CMemoryStream() : m_file(::open_memstream(&m_buffer, &m_size)) {}
    ~CMemoryStream() {
        std::fclose(m_file);
        std::free(m_buffer);
    }
    std::FILE* File() const { return m_file; }
    std::string Text() {
        std::fflush(m_file);
        return {m_buffer, m_size};
    }

private:
    char* m_buffer = nullptr;
    std::size_t m_size = 0;
    std::FILE* m_file;
};

// The upload reports the current block on every poll, so each block number
// arrives many times over; a resend repeats a number too.
void FeedUpload(CProgressLine& line, int total) {
    line.Update(0, total, 0, 0);
    for (int block = 1; block <= total; ++block) {
        for (int poll = 0; poll < 3; ++poll) {
            line.Update(block, total, 0, static_cast<std::uint32_t>(block * 100));
        }
    }
    line.Finish();
}

TEST(ProgressLine, FormatShowsBlockPercentTimesAndResends) {
    const std::string text = CProgressLine::Format(50, 101, 2, 25000);
    EXPECT_TRUE(Contains(text, "block 50 of 101")) << text;
    EXPECT_TRUE(Contains(text, "49%")) << text;
    EXPECT_TRUE(Contains(text, "00:25 elapsed")) << text;
    // 500 ms a block so far, 51 blocks to go: 25.5 s.
    EXPECT_TRUE(Contains(text, "00:25 left")) << text;
    EXPECT_TRUE(Contains(text, "2 resends")) << text;

    const std::string slow = CProgressLine::Format(10, 101, 1, 125000);
    EXPECT_TRUE(Contains(slow, "02:05 elapsed")) << slow;
    EXPECT_TRUE(Contains(slow, "18:57 left")) << slow;  // 12.5 s x 91 = 1137.5 s
    EXPECT_TRUE(Contains(slow, "1 resend")) << slow;
    EXPECT_FALSE(Contains(slow, "1 resends")) << slow;

    const std::string start = CProgressLine::Format(0, 101, 0, 0);
    EXPECT_TRUE(Contains(start, "0%")) << start;
    EXPECT_TRUE(Contains(start, "--:-- left")) << "no estimate before the first block: " << start;
    EXPECT_TRUE(Contains(CProgressLine::Format(101, 101, 0, 10100), "100%"));
}

TEST(ProgressLine, NotATerminalWritesOnePlainLineEveryTenBlocks) {
    CMemoryStream out;
    CProgressLine line(out.File(), false);
    FeedUpload(line, 101);
    const std::string text = out.Text();
    EXPECT_FALSE(Contains(text, "\r")) << "a log is never redrawn";
    EXPECT_FALSE(Contains(text, "\033")) << "a log gets no terminal controls";
    const auto lines = Lines(text);
    // Blocks 0, 10, 20 ... 100, and the last one.
    ASSERT_EQ(lines.size(), 12u) << text;
    for (int i = 0; i <= 10; ++i) {
        EXPECT_TRUE(Contains(lines[static_cast<std::size_t>(i)],
                             "block " + std::to_string(i * 10) + " of 101 "))
            << lines[static_cast<std::size_t>(i)];
    }
    EXPECT_TRUE(Contains(lines[11], "block 101 of 101")) << lines[11];
}

TEST(ProgressLine, NotATerminalDoesNotRepeatTheLastBlock) {
    CMemoryStream out;
    CProgressLine line(out.File(), false);
    FeedUpload(line, 100);  // the last block is also a tenth
    const auto lines = Lines(out.Text());
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_TRUE(Contains(lines.back(), "block 100 of 100"));
}

TEST(ProgressLine, TerminalRedrawsOneLineInPlaceAndEndsIt) {
    CMemoryStream out;
    CProgressLine line(out.File(), true);
    line.Update(0, 101, 0, 0);
    line.Update(1, 101, 0, 100);
    line.Update(2, 101, 1, 200);
    line.Finish();
    const std::string text = out.Text();
    EXPECT_EQ(text.find('\n'), text.size() - 1) << "one line, ended once: " << text;
    const std::string lastDraw = text.substr(text.rfind('\r'));
    EXPECT_EQ(lastDraw, "\r\033[K" + CProgressLine::Format(2, 101, 1, 200) + "\n");
}

TEST(ProgressLine, FinishWithoutUpdatesWritesNothing) {
    CMemoryStream out;
    CProgressLine line(out.File(), true);
    line.Finish();
    EXPECT_EQ(out.Text(), "");
}

}  // namespace
