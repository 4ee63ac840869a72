#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SimTestSupport.h"
#include "sim/XmodemReceiver.h"

namespace {

using sim::BlockVerdict;
using sim::RxStep;
using simtest::Frame;

constexpr int kGapMs = 1000;
constexpr int kTimeoutMs = 10000;

std::vector<std::uint8_t> Pattern(std::size_t size, int seed) {
    std::vector<std::uint8_t> data(size);
    for (std::size_t i = 0; i < size; ++i) {
        data[i] = static_cast<std::uint8_t>(i * 31 + static_cast<std::size_t>(seed));
    }
    return data;
}

class XmodemReceiverTest : public ::testing::Test {
protected:
    // Feeds the bytes at one moment; returns the last step.
    RxStep Feed(const std::string& bytes, std::int64_t atMs = 0) {
        RxStep last;
        for (const char c : bytes) {
            last = receiver.Feed(static_cast<std::uint8_t>(c), atMs);
            if (last.kind != RxStep::Kind::None) {
                steps.push_back(last);
            }
        }
        return last;
    }

    sim::CXmodemReceiver receiver{514, kGapMs, kTimeoutMs};
    std::vector<RxStep> steps;
    std::vector<std::uint8_t> data = Pattern(128 * 3, 5);
};

TEST_F(XmodemReceiverTest, GoodBlocksAreStoredAndAcked) {
    for (std::uint8_t n = 1; n <= 3; ++n) {
        const RxStep step = Feed(Frame(n, data, (n - 1) * 128U));
        EXPECT_EQ(step.kind, RxStep::Kind::Block);
        EXPECT_EQ(step.verdict, BlockVerdict::Accepted);
        EXPECT_EQ(step.reply, simtest::kAck);
        EXPECT_EQ(step.number, n);
    }
    EXPECT_EQ(receiver.Data(), data);
    EXPECT_EQ(steps.size(), 3U);  // nothing to report inside a block
}

TEST_F(XmodemReceiverTest, WrongNumberIsNakedAndNotStored) {
    Feed(Frame(1, data));
    const RxStep step = Feed(Frame(3, data, 256));
    EXPECT_EQ(step.verdict, BlockVerdict::WrongNumber);
    EXPECT_EQ(step.reply, simtest::kNak);
    EXPECT_EQ(step.lineNumber, 3);
    EXPECT_EQ(receiver.BlocksAccepted(), 1);
    // The expected block is still taken afterwards.
    EXPECT_EQ(Feed(Frame(2, data, 128)).verdict, BlockVerdict::Accepted);
}

TEST_F(XmodemReceiverTest, WrongComplementIsNaked) {
    std::string frame = Frame(1, data);
    frame[2] = static_cast<char>(0xFF);  // should be 0xFE
    const RxStep step = Feed(frame);
    EXPECT_EQ(step.verdict, BlockVerdict::WrongComplement);
    EXPECT_EQ(step.reply, simtest::kNak);
    EXPECT_EQ(receiver.BlocksAccepted(), 0);
}

TEST_F(XmodemReceiverTest, BadCrcIsNakedWhetherDataOrCrcIsDamaged) {
    std::string damagedData = Frame(1, data);
    damagedData[60] ^= 0x10;
    std::string damagedCrc = Frame(1, data);
    damagedCrc.back() ^= 0x01;
    for (const std::string& frame : {damagedData, damagedCrc}) {
        const RxStep step = Feed(frame);
        EXPECT_EQ(step.verdict, BlockVerdict::BadCrc);
        EXPECT_EQ(step.reply, simtest::kNak);
        EXPECT_EQ(step.number, 1);
    }
    EXPECT_TRUE(receiver.Data().empty());
}

TEST_F(XmodemReceiverTest, RepeatOfTheBlockJustAcceptedIsAckedNotStoredTwice) {
    Feed(Frame(1, data));
    Feed(Frame(2, data, 128));
    const RxStep repeat = Feed(Frame(2, data, 128));
    EXPECT_EQ(repeat.verdict, BlockVerdict::Repeat);
    EXPECT_EQ(repeat.reply, simtest::kAck);
    EXPECT_EQ(repeat.number, 2);
    Feed(Frame(3, data, 256));
    EXPECT_EQ(receiver.Data(), data);
}

TEST_F(XmodemReceiverTest, OlderBlockThanTheLastIsNotARepeat) {
    Feed(Frame(1, data));
    Feed(Frame(2, data, 128));
    EXPECT_EQ(Feed(Frame(1, data)).verdict, BlockVerdict::WrongNumber);
}

TEST_F(XmodemReceiverTest, BlockCutShortByAGapIsDroppedAndNaked) {
    const std::string frame = Frame(1, data);
    Feed(frame.substr(0, 70), 100);
    EXPECT_EQ(receiver.Deadline(), 100 + kGapMs);
    EXPECT_EQ(receiver.Poll(100 + kGapMs - 1).kind, RxStep::Kind::None);
    const RxStep cut = receiver.Poll(100 + kGapMs);
    EXPECT_EQ(cut.kind, RxStep::Kind::Block);
    EXPECT_EQ(cut.verdict, BlockVerdict::CutShort);
    EXPECT_EQ(cut.reply, simtest::kNak);
    EXPECT_EQ(cut.lineNumber, 1);
    EXPECT_FALSE(receiver.InBlock());
    // The resend is judged afresh.
    EXPECT_EQ(Feed(frame, 1200).verdict, BlockVerdict::Accepted);
    EXPECT_EQ(receiver.Data().size(), 128U);
}

TEST_F(XmodemReceiverTest, SlowButSteadyBytesDoNotCutABlock) {
    const std::string frame = Frame(1, data);
    std::int64_t at = 0;
    RxStep last;
    for (const char c : frame) {
        at += kGapMs - 1;
        EXPECT_EQ(receiver.Poll(at).kind, RxStep::Kind::None);
        last = receiver.Feed(static_cast<std::uint8_t>(c), at);
    }
    EXPECT_EQ(last.verdict, BlockVerdict::Accepted);
}

TEST_F(XmodemReceiverTest, BlockNumbersWrapAfter255) {
    const std::vector<std::uint8_t> big = Pattern(128 * 258, 9);
    for (std::size_t n = 1; n <= 258; ++n) {
        const RxStep step = Feed(Frame(static_cast<std::uint8_t>(n), big, (n - 1) * 128));
        ASSERT_EQ(step.verdict, BlockVerdict::Accepted) << n;
        EXPECT_EQ(step.number, static_cast<int>(n));
    }
    EXPECT_EQ(receiver.Data(), big);
}

TEST_F(XmodemReceiverTest, BlockBeyondCapacityIsCancelled) {
    sim::CXmodemReceiver small{2, kGapMs, kTimeoutMs};
    RxStep step;
    for (std::uint8_t n = 1; n <= 3; ++n) {
        for (const char c : Frame(n, data, (n - 1) * 128U)) {
            step = small.Feed(static_cast<std::uint8_t>(c), 0);
        }
    }
    EXPECT_EQ(step.verdict, BlockVerdict::TooLarge);
    EXPECT_EQ(step.reply, simtest::kCan);
    EXPECT_EQ(small.Data().size(), 256U);
}

TEST_F(XmodemReceiverTest, ControlBytesBetweenBlocks) {
    EXPECT_EQ(Feed("/").kind, RxStep::Kind::Text);
    EXPECT_FALSE(receiver.Started());
    const RxStep eot = Feed(std::string(1, simtest::kEot));
    EXPECT_EQ(eot.kind, RxStep::Kind::Eot);
    EXPECT_EQ(eot.reply, simtest::kAck);
    const RxStep can = Feed(std::string(1, simtest::kCan));
    EXPECT_EQ(can.kind, RxStep::Kind::Cancel);
    EXPECT_EQ(can.reply, 0);
}

TEST_F(XmodemReceiverTest, SilenceInsideATransferDrawsNaksThenGivesUp) {
    EXPECT_EQ(receiver.Deadline(), -1);  // no transfer, no time-out
    Feed(Frame(1, data), 0);
    for (int i = 1; i < sim::CXmodemReceiver::kMaxTimeouts; ++i) {
        EXPECT_EQ(receiver.Poll(i * kTimeoutMs - 1).kind, RxStep::Kind::None);
        const RxStep step = receiver.Poll(i * kTimeoutMs);
        EXPECT_EQ(step.kind, RxStep::Kind::Timeout);
        EXPECT_EQ(step.reply, simtest::kNak);
    }
    const RxStep last = receiver.Poll(sim::CXmodemReceiver::kMaxTimeouts * kTimeoutMs);
    EXPECT_EQ(last.kind, RxStep::Kind::GaveUp);
    EXPECT_EQ(last.reply, simtest::kCan);
    EXPECT_FALSE(receiver.Started());
}

TEST_F(XmodemReceiverTest, RetractUndoesTheLastAcceptedBlock) {
    Feed(Frame(1, data));
    Feed(Frame(2, data, 128));
    receiver.Retract();
    EXPECT_EQ(receiver.BlocksAccepted(), 1);
    // Block 2 is now the next block again, not a repeat.
    EXPECT_EQ(Feed(Frame(2, data, 128)).verdict, BlockVerdict::Accepted);
    EXPECT_EQ(receiver.Data().size(), 256U);
}

}  // namespace
