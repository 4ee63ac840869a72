// The upload's progress on standard error: its text, and how often it is
// written to a terminal and to a log.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <regex>

#include "CliHarness.h"
#include "cli/ProgressLine.h"

namespace {

using clitest::Contains;

// What a progress line wrote, to a terminal or not, while feed ran.
std::string Written(bool terminal, const std::function<void(CProgressLine&)>& feed) {
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* file = ::open_memstream(&buffer, &size);
    CProgressLine line(file, terminal);
    feed(line);
    std::fclose(file);
    const std::string text(buffer, size);
    std::free(buffer);
    return text;
}

TEST(ProgressLine, ShowsBlockPercentTimesAndResendsRedrawnInPlaceOnATerminal) {
    const std::pair<std::string, std::string> cases[] = {
        // 500 ms a block so far, 51 blocks to go: 25.5 s.
        {CProgressLine::Format(50, 101, 2, 25000),
         "block 50 of 101 +49% +00:25 elapsed +00:25 left +2 resends"},
        // 12.5 s a block, 91 to go: 1137.5 s.
        {CProgressLine::Format(10, 101, 1, 125000),
         "block 10 of 101 +9% +02:05 elapsed +18:57 left +1 resend"},
        // No estimate before the first block.
        {CProgressLine::Format(0, 101, 0, 0),
         "block 0 of 101 +0% +00:00 elapsed +--:-- left +0 resends"},
        {CProgressLine::Format(101, 101, 0, 10100), "block 101 of 101 +100% .* 0 resends"}};
    for (const auto& [text, shape] : cases) {
        EXPECT_TRUE(std::regex_match(text, std::regex(shape))) << text;
    }

    // A terminal gets one line, redrawn in place and ended once.
    const std::string text = Written(true, [](CProgressLine& line) {
        line.Update(0, 101, 0, 0);
        line.Update(1, 101, 0, 100);
        line.Update(2, 101, 1, 200);
        line.Finish();
    });
    EXPECT_EQ(text.find('\n'), text.size() - 1) << "one line, ended once: " << text;
    EXPECT_EQ(text.substr(text.rfind('\r')),
              "\r\033[K" + CProgressLine::Format(2, 101, 1, 200) + "\n");
    EXPECT_EQ(Written(true, [](CProgressLine& line) { line.Finish(); }), "") << "nothing to end";
}

}  // namespace
