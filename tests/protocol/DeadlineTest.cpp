#include "protocol/Deadline.h"

#include <gtest/gtest.h>

#include "TestKit.h"

namespace {

TEST(Deadline, ExpiresAtTheEndTimeNotBeforeAndStartRearms) {
    testkit::CFakeClock clock(5000);
    Deadline deadline(clock);
    deadline.Start(2000);
    EXPECT_EQ(deadline.EndTime(), 7000U);
    clock.Advance(1999);
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

// The 32-bit millisecond clock wraps after about 49.7 days.
TEST(Deadline, BehavesAcrossTheClockWrap) {
    testkit::CFakeClock clock(0xFFFFFC00U);  // 1024 ms before the wrap
    Deadline deadline(clock);
    deadline.Start(2000);
    EXPECT_EQ(deadline.EndTime(), 2000U - 1024U);
    EXPECT_FALSE(deadline.Expired());  // an unsigned "now < end" would say expired
    clock.Advance(1024);               // wrapped, still 976 ms to go
    EXPECT_FALSE(deadline.Expired());
    clock.Advance(975);
    EXPECT_FALSE(deadline.Expired());
    clock.Advance(1);
    EXPECT_TRUE(deadline.Expired());
}

TEST(Deadline, ListeningLoopMakesTwoHundredPollsOfTenMilliseconds) {
    testkit::CFakeClock clock(0xFFFFFF00U);
    Deadline deadline(clock);
    deadline.Start(2000);
    int polls = 0;
    while (!deadline.Expired() && polls < 1000) {
        clock.SleepMs(10);
        ++polls;
    }
    EXPECT_EQ(polls, 200);
}

}  // namespace
