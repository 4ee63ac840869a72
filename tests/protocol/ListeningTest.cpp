// How identification listens: the deadline of its window and how received
// bytes become versions.
#include <gtest/gtest.h>

#include <string>

#include "TestKit.h"
#include "protocol/Deadline.h"
#include "protocol/ReplyLine.h"

namespace {

// The 32-bit millisecond clock wraps after about 49.7 days: a deadline ends
// exactly at its end time on either side of the wrap, and Start rearms it.
TEST(Deadline, ExpiresAtItsEndAcrossTheClockWrapAndRearms) {
    testkit::CFakeClock clock(0xFFFFFC00U);  // 1024 ms before the wrap
    Deadline deadline(clock);
    deadline.Start(2000);
    EXPECT_EQ(deadline.EndTime(), 2000U - 1024U);
    EXPECT_FALSE(deadline.Expired());  // an unsigned "now < end" would say expired
    clock.Advance(1024);               // 0: wrapped, still 976 ms to go
    EXPECT_FALSE(deadline.Expired());
    clock.Advance(975);
    EXPECT_FALSE(deadline.Expired());
    EXPECT_FALSE(deadline.ExpiredFlag());
    clock.Advance(1);
    EXPECT_TRUE(deadline.Expired());
    EXPECT_TRUE(deadline.ExpiredFlag());
    deadline.Start(10);
    EXPECT_FALSE(deadline.ExpiredFlag());
    EXPECT_FALSE(deadline.Expired());
    deadline.Start(0);
    EXPECT_TRUE(deadline.Expired());
}

struct ReplyCase {
    std::string bytes;
    std::string boot;  // "unset" when no line may touch it
    std::string charger;
    int naks = 0;
};

TEST(ReplyLine, BytesBecomeVersions) {
    const std::string longBoot = "Boot" + std::string(130, ' ') + "1.5\r";
    const ReplyCase cases[] = {
        {"V\rv2.10e build 1\r", "unset", ""},  // only an upper-case V
        {"Vx y z\r", "unset", "x"},
        {"Boot\r", "", "unset"},  // "Boot" in any case, the second field
        {"Bootstrap 4\r", "4", "unset"},
        {"bOoT   7.1   x\r", "7.1", "unset"},
        {"Boo 9\r Boot 9\r", "unset", "unset"},  // the line must begin with it
        {"\r\r\n\rdeviceid 1\rhello V3\r", "unset", "unset"},
        {"V2.\x15"
         "09\x15 x\r\x15",
         "unset", "2.09", 3},  // NAKs are counted and do not break the line
        {std::string("V2\x00.\x7F"
                     "0\x01\xFF\n9\r",
                     11),
         "unset", "2.09"},              // non-printable bytes are dropped
        {"V2.09\n", "unset", "unset"},  // no carriage return, no line
        {longBoot, "", "unset"},        // a field beyond the 127th character is not seen
        {longBoot + "Boot 1.6\r", "1.6", "unset"},  // and the next line starts afresh
        {"Boot " + std::string(122, 'b') + "\r", std::string(122, 'b'), "unset"},  // exactly full
    };
    for (const auto& c : cases) {
        CReplyLine line;
        std::string boot = "unset";
        std::string charger = "unset";
        int naks = 0;
        for (char byte : c.bytes) {
            naks += line.Handle(static_cast<std::uint8_t>(byte), boot, charger) ? 1 : 0;
        }
        EXPECT_EQ(boot, c.boot) << c.bytes;
        EXPECT_EQ(charger, c.charger) << c.bytes;
        EXPECT_EQ(naks, c.naks) << c.bytes;
    }
}

}  // namespace
