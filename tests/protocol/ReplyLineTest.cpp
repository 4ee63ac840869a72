// Reply lines of identification: how received bytes become versions.
#include "protocol/ReplyLine.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class ReplyLineTest : public ::testing::Test {
protected:
    CReplyLine line;
    std::string boot = "unset";
    std::string charger = "unset";
    int naks = 0;

    void Feed(const std::string& bytes) {
        for (char c : bytes) {
            if (line.Handle(static_cast<std::uint8_t>(c), boot, charger)) {
                ++naks;
            }
        }
    }
};

TEST_F(ReplyLineTest, OnlyAnUpperCaseVIsAVersionLine) {
    Feed("v2.10e build 1\r");
    EXPECT_EQ(charger, "unset");
    Feed("V\r");
    EXPECT_EQ(charger, "");
    Feed("Vx y z\r");
    EXPECT_EQ(charger, "x");
}

TEST_F(ReplyLineTest, BootInAnyCaseTakesTheSecondField) {
    Feed("Boot\r");
    EXPECT_EQ(boot, "");
    Feed("Bootstrap 4\r");
    EXPECT_EQ(boot, "4");
    Feed("bOoT   7.1   x\r");
    EXPECT_EQ(boot, "7.1");
    Feed("Boo 9\r");
    EXPECT_EQ(boot, "7.1");
    Feed(" Boot 9\r");  // the line must begin with it
    EXPECT_EQ(boot, "7.1");
}

TEST_F(ReplyLineTest, OtherLinesAndEmptyLinesChangeNothing) {
    Feed("\r\r\n\rdeviceid 1\rhello V3\r");
    EXPECT_EQ(boot, "unset");
    EXPECT_EQ(charger, "unset");
}

TEST_F(ReplyLineTest, NakIsCountedAndDoesNotBreakTheLine) {
    Feed(
        "V2.\x15"
        "09\x15 x\r\x15");
    EXPECT_EQ(naks, 3);
    EXPECT_EQ(charger, "2.09");
}

TEST_F(ReplyLineTest, NonPrintableBytesAreDropped) {
    Feed(
        std::string("V2\x00.\x7F"
                    "0\x01\xFF\n9\r",
                    11));
    EXPECT_EQ(charger, "2.09");
}

TEST_F(ReplyLineTest, LineWithoutCarriageReturnIsNotUsed) {
    Feed("V2.09\n");
    EXPECT_EQ(charger, "unset");
    EXPECT_EQ(line.Text(), "V2.09");
    line.Clear();
    Feed("\r");
    EXPECT_EQ(charger, "unset");
}

TEST_F(ReplyLineTest, FieldBeyondThe127thCharacterIsNotSeen) {
    Feed("Boot" + std::string(130, ' ') + "1.5\r");
    EXPECT_EQ(boot, "");
    // The line after it starts afresh.
    Feed("Boot 1.6\r");
    EXPECT_EQ(boot, "1.6");
}

TEST_F(ReplyLineTest, ExactlyFullLineStillCompletes) {
    const std::string text = "Boot " + std::string(122, 'b');
    ASSERT_EQ(text.size(), CReplyLine::kCapacity);
    Feed(text + "\r");
    EXPECT_EQ(boot, std::string(122, 'b'));
}

}  // namespace
