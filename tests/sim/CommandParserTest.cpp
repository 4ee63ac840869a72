// The firmware's command parser: a command ends at its CR, line feeds and
// control bytes are dropped, an overlong command is cut at the capacity, and
// only the four firmware commands are recognised, exactly.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/CommandParser.h"

namespace {

using Commands = std::vector<std::string>;

TEST(CommandParser, SplitsTheByteStreamIntoCommands) {
    constexpr std::size_t kCapacity = sim::CCommandParser::kCapacity;
    const struct {
        std::string bytes;
        Commands expected;
    } steps[] = {
        // One parser throughout: a command is only complete at its CR.
        {"/08", {}},
        {"42", {}},
        {"\r", {"/0842"}},
        {"\r/01-\r/00\r", {"/01-", "/00"}},
        {"\n/0\00111\n\r\n\r", {"/011"}},  // line feeds and control bytes are dropped
        {"/0\200\3770\r", {"/00"}},
        {std::string(kCapacity + 50, 'x') + "\r/00\r", {std::string(kCapacity, 'x'), "/00"}},
    };
    sim::CCommandParser parser;
    for (const auto& step : steps) {
        Commands commands;
        for (const char c : step.bytes) {
            if (auto command = parser.Feed(static_cast<std::uint8_t>(c))) {
                commands.push_back(*command);
            }
        }
        EXPECT_EQ(commands, step.expected) << step.bytes;
    }
    EXPECT_TRUE(parser.Empty());
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
