// The wait before a last word is followed by Close, in virtual time: the
// device's own queue counts, not only the writer's.
#include <gtest/gtest.h>

#include "TestKit.h"
#include "serial/OutputDrain.h"

namespace {

struct Line {
    testkit::CFakeClock clock;
    std::uint32_t writerDoneAt = 0;  // the writer's queue empties here
    std::uint32_t deviceDoneAt = 0;  // and the device has sent it all here
    int deviceAskedEarly = 0;

    DrainProbes Probes() {
        return {[this] { return clock.NowMs() >= writerDoneAt; },
                [this] {
                    deviceAskedEarly += clock.NowMs() < writerDoneAt ? 1 : 0;
                    return clock.NowMs() >= deviceDoneAt ? 0 : 2;
                }};
    }
};

TEST(OutputDrain, WaitsForTheDeviceAfterTheWriter) {
    Line line;
    line.writerDoneAt = 10;
    line.deviceDoneAt = 40;
    EXPECT_TRUE(DrainOutput(line.Probes(), line.clock, 1000));
    EXPECT_GE(line.clock.NowMs(), 40U);
    EXPECT_LT(line.clock.NowMs(), 45U);
    EXPECT_EQ(line.deviceAskedEarly, 0);
}

TEST(OutputDrain, GivesUpAtTheBoundOnALineThatNeverEmpties) {
    Line line;
    line.deviceDoneAt = 1u << 30;  // held by flow control, say
    EXPECT_FALSE(DrainOutput(line.Probes(), line.clock, 1000));
    EXPECT_GE(line.clock.NowMs(), 1000U);
    EXPECT_LT(line.clock.NowMs(), 1005U);
}

}  // namespace
