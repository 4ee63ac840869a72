#include "protocol/Deadline.h"

#include <gtest/gtest.h>

#include "TestKit.h"

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

}  // namespace
