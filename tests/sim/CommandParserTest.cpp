#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "sim/CommandParser.h"

namespace {

std::vector<std::string> FeedAll(sim::CCommandParser& parser, const std::string& bytes) {
    std::vector<std::string> commands;
    for (const char c : bytes) {
        if (auto command = parser.Feed(static_cast<std::uint8_t>(c))) {
            commands.push_back(*command);
        }
    }
    return commands;
}

TEST(CommandParser, IdentificationRequestGivesItsTwoCommands) {
    sim::CCommandParser parser;
    EXPECT_EQ(FeedAll(parser, "\r/01-\r/00\r"), (std::vector<std::string>{"/01-", "/00"}));
    EXPECT_TRUE(parser.Empty());
}

TEST(CommandParser, CommandIsCompleteOnlyAtItsCarriageReturn) {
    sim::CCommandParser parser;
    EXPECT_TRUE(FeedAll(parser, "/08").empty());
    EXPECT_TRUE(FeedAll(parser, "42").empty());
    EXPECT_EQ(FeedAll(parser, "\r"), std::vector<std::string>{"/0842"});
}

TEST(CommandParser, LineFeedsAndControlBytesAreDropped) {
    sim::CCommandParser parser;
    EXPECT_EQ(FeedAll(parser,
                      "\n/0\x01"
                      "11\n\r\n\r"),
              std::vector<std::string>{"/011"});
    EXPECT_EQ(FeedAll(parser, std::string("/0\x80\xff"
                                          "0\r")),
              std::vector<std::string>{"/00"});
}

TEST(CommandParser, OverlongCommandIsCutAtCapacityAndTheNextStartsClean) {
    sim::CCommandParser parser;
    const std::string flood(sim::CCommandParser::kCapacity + 50, 'x');
    const auto commands = FeedAll(parser, flood + "\r/00\r");
    ASSERT_EQ(commands.size(), 2U);
    EXPECT_EQ(commands[0], std::string(sim::CCommandParser::kCapacity, 'x'));
    EXPECT_EQ(commands[1], "/00");
}

TEST(CommandParser, ClassifiesTheFirmwareCommandsExactly) {
    EXPECT_EQ(sim::ClassifyCommand("/00"), sim::FirmwareCommand::Identify);
    EXPECT_EQ(sim::ClassifyCommand("/01-"), sim::FirmwareCommand::StopReport);
    EXPECT_EQ(sim::ClassifyCommand("/011"), sim::FirmwareCommand::StartReport);
    EXPECT_EQ(sim::ClassifyCommand("/0842"), sim::FirmwareCommand::EnterBootLoader);
    for (const char* other : {"/0", "/000", "/01", "/0842 ", " /00", "/08421", "00"}) {
        EXPECT_EQ(sim::ClassifyCommand(other), sim::FirmwareCommand::Unknown) << other;
    }
}

}  // namespace
