// The boot loader's block receiver: each block's verdict and reply, what is
// stored, the inter-byte gap, the transfer time-out and the control bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SimTestSupport.h"
#include "sim/XmodemReceiver.h"

namespace {

using sim::BlockVerdict;
using sim::RxStep;
using simtest::Frame;
using simtest::kAck;
using simtest::kCan;
using simtest::kNak;

constexpr int kGapMs = 1000;
constexpr int kTimeoutMs = 10000;

std::vector<std::uint8_t> Pattern() {
    std::vector<std::uint8_t> data(3 * 128);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i * 31 + 5);
    }
    return data;
}

class XmodemReceiverTest : public ::testing::Test {
protected:
    // Feeds the bytes at one moment; returns the last step and counts the
    // steps that report something.
    RxStep Feed(const std::string& bytes, std::int64_t atMs = 0) {
        RxStep last;
        for (const char c : bytes) {
            last = receiver.Feed(static_cast<std::uint8_t>(c), atMs);
            reports += last.kind != RxStep::Kind::None ? 1 : 0;
        }
        return last;
    }

    sim::CXmodemReceiver receiver{2, kGapMs, kTimeoutMs};  // room for two blocks
    std::vector<std::uint8_t> data = Pattern();
    int reports = 0;
};

TEST_F(XmodemReceiverTest, VerdictReplyAndStorageOfEachBlock) {
    auto damaged = [this](std::size_t at, int mask) {
        std::string frame = Frame(1, data);
        frame[at] = static_cast<char>(frame[at] ^ mask);
        return frame;
    };
    using V = BlockVerdict;
    const struct {
        const char* name;
        std::size_t acceptedFirst;  // blocks 1.. taken before the one judged
        std::string frame;
        BlockVerdict verdict;
        char reply;
        int number;  // the block's count in the transfer; 0 when none
    } cases[] = {
        {"good", 0, Frame(1, data), V::Accepted, kAck, 1},
        {"next good", 1, Frame(2, data), V::Accepted, kAck, 2},
        {"skips a number", 1, Frame(3, data), V::WrongNumber, kNak, 0},
        {"complement", 0, damaged(2, 0x01), V::WrongComplement, kNak, 0},
        {"data damaged", 0, damaged(60, 0x10), V::BadCrc, kNak, 1},
        {"crc damaged", 0, damaged(131, 0x01), V::BadCrc, kNak, 1},
        {"repeat of the last", 2, Frame(2, data), V::Repeat, kAck, 2},
        {"older than the last", 2, Frame(1, data), V::WrongNumber, kNak, 0},
        {"beyond capacity", 2, Frame(3, data), V::TooLarge, kCan, 3},
    };
    for (const auto& c : cases) {
        receiver.Reset();
        reports = 0;
        for (std::size_t n = 1; n <= c.acceptedFirst; ++n) {
            ASSERT_EQ(Feed(Frame(n, data)).verdict, V::Accepted) << c.name;
        }
        const RxStep step = Feed(c.frame);
        EXPECT_EQ(step.kind, RxStep::Kind::Block) << c.name;
        EXPECT_EQ(step.verdict, c.verdict) << c.name;
        EXPECT_EQ(step.reply, c.reply) << c.name;
        EXPECT_EQ(step.number, c.number) << c.name;
        EXPECT_EQ(step.lineNumber, static_cast<std::uint8_t>(c.frame[1])) << c.name;
        EXPECT_EQ(reports, static_cast<int>(c.acceptedFirst) + 1) << c.name;  // none mid-block
        const std::size_t kept = c.acceptedFirst + (c.verdict == V::Accepted ? 1 : 0);
        EXPECT_EQ(receiver.Data(), std::vector(data.begin(), data.begin() + kept * 128)) << c.name;
        if (kept < 2) {  // a refused block leaves the expected one still welcome
            EXPECT_EQ(Feed(Frame(kept + 1, data)).verdict, V::Accepted) << c.name;
        }
    }
}

TEST_F(XmodemReceiverTest, BlockCutShortByAGapIsDroppedButSteadyBytesAreNot) {
    const std::string frame = Frame(1, data);
    Feed(frame.substr(0, 70), 100);
    EXPECT_EQ(receiver.Deadline(), 100 + kGapMs);
    EXPECT_EQ(receiver.Poll(100 + kGapMs - 1).kind, RxStep::Kind::None);
    const RxStep cut = receiver.Poll(100 + kGapMs);
    EXPECT_EQ(cut.kind, RxStep::Kind::Block);
    EXPECT_EQ(cut.verdict, BlockVerdict::CutShort);
    EXPECT_EQ(cut.reply, kNak);
    EXPECT_EQ(cut.lineNumber, 1);
    EXPECT_FALSE(receiver.InBlock());
    // The resend is judged afresh, its bytes each just inside the gap.
    std::int64_t at = 100 + kGapMs;
    RxStep last;
    for (const char c : frame) {
        at += kGapMs - 1;
        EXPECT_EQ(receiver.Poll(at).kind, RxStep::Kind::None);
        last = receiver.Feed(static_cast<std::uint8_t>(c), at);
    }
    EXPECT_EQ(last.verdict, BlockVerdict::Accepted);
    EXPECT_EQ(receiver.Data().size(), 128U);
}

TEST_F(XmodemReceiverTest, ControlBytesBetweenBlocks) {
    EXPECT_EQ(Feed("/").kind, RxStep::Kind::Text);
    EXPECT_FALSE(receiver.Started());
    const RxStep eot = Feed(std::string(1, simtest::kEot));
    EXPECT_EQ(eot.kind, RxStep::Kind::Eot);
    EXPECT_EQ(eot.reply, kAck);
    const RxStep can = Feed(std::string(1, kCan));
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
        EXPECT_EQ(step.reply, kNak);
    }
    const RxStep last = receiver.Poll(sim::CXmodemReceiver::kMaxTimeouts * kTimeoutMs);
    EXPECT_EQ(last.kind, RxStep::Kind::GaveUp);
    EXPECT_EQ(last.reply, kCan);
    EXPECT_FALSE(receiver.Started());
}

}  // namespace
