// How identification listens: the deadline of its window and how received
// bytes become versions.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "TestKit.h"
#include "protocol/Deadline.h"
#include "protocol/DeviceIdLine.h"
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

// The charger's name is the first word after "deviceid"; anything else, or a
// word that is not plain text, names no charger.
TEST(DeviceIdLine, FirstWordAfterTheKeyword) {
    const std::pair<std::string, std::string> cases[] = {
        {"deviceid VC-4017-0032", "VC-4017-0032"},
        {"deviceid VC-4017-0032 -----------------------------", "VC-4017-0032"},  // padded
        {"  DeviceID\t\t VC-7  ", "VC-7"},
        {"deviceid=VC-8", "VC-8"},
        {"deviceid: VC-9", "VC-9"},
        {"deviceid", ""},
        {"deviceid   ", ""},
        {"deviceidentity VC-1", ""},
        {"device id VC-1", ""},
        {"Boot 1.02", ""},
        {"V2.09 deviceid VC-1", ""},
        {"deviceid VC-\xE9\x31", ""},      // Latin-1, not UTF-8
        {"deviceid VC-\xE0\x80\xAF", ""},  // an overlong sequence
        {"deviceid \x01VC", ""},
    };
    for (const auto& [line, id] : cases) {
        EXPECT_EQ(DeviceIdOf(line), id) << line;
    }
    EXPECT_EQ(DeviceIdFrom({"Boot 1.02", "deviceid", "deviceid VC-2", "deviceid VC-3"}), "VC-2");
    EXPECT_EQ(DeviceIdFrom({"Boot 1.02", "V2.09 Veltra charger"}), "");
}

}  // namespace
