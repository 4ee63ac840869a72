#include <gtest/gtest.h>

#include "sim/OutputSchedule.h"

namespace {

TEST(OutputSchedule, UnpacedChunksLeaveWhenDueInQueueOrder) {
    sim::COutputSchedule schedule(false, 260);
    schedule.Add(5000, "ab");
    schedule.Add(1000, "c");  // queued later: never overtakes "ab"
    EXPECT_EQ(schedule.NextDueUs(), 5000);
    EXPECT_EQ(schedule.TakeDue(4999), "");
    EXPECT_EQ(schedule.TakeDue(5000), "abc");
    EXPECT_TRUE(schedule.Empty());
    EXPECT_EQ(schedule.NextDueUs(), -1);
}

TEST(OutputSchedule, PacedBytesLeaveOneByteTimeApart) {
    sim::COutputSchedule schedule(true, 260);
    schedule.Add(0, "0123456789");
    EXPECT_EQ(schedule.TakeDue(0), "0");
    EXPECT_EQ(schedule.NextDueUs(), 260);
    EXPECT_EQ(schedule.TakeDue(259), "");
    EXPECT_EQ(schedule.TakeDue(1000), "123");  // at 260, 520 and 780
    EXPECT_EQ(schedule.TakeDue(1040), "4");
    EXPECT_EQ(schedule.TakeDue(100000), "56789");
}

TEST(OutputSchedule, PacingCarriesAcrossChunksButAnIdleLineStartsAtOnce) {
    sim::COutputSchedule schedule(true, 260);
    schedule.Add(0, "ab");
    schedule.Add(0, "c");
    EXPECT_EQ(schedule.TakeDue(300), "ab");
    EXPECT_EQ(schedule.NextDueUs(), 520);
    EXPECT_EQ(schedule.TakeDue(520), "c");
    schedule.Add(50000, "d");
    EXPECT_EQ(schedule.NextDueUs(), 50000);
    EXPECT_EQ(schedule.TakeDue(50000), "d");
}

}  // namespace
