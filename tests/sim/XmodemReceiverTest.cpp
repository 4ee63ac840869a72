// The boot loader's block receiver: each block's verdict and reply, what is
// stored, the inter-byte gap, the transfer time-out and the control bytes.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
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

    sim::CXmodemReceiver receiver{2, kGapMs, kTimeoutMs};             // room for two blocks
    std::vector<std::uint8_t> data = simtest::TestImage("1.0", 256);  // three blocks
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

// Only a byte that fails to come within the gap cuts the block short.
TEST_F(XmodemReceiverTest, GapCutsABlockShortButSteadyBytesDoNot) {
    const std::string frame = Frame(1, data);
    std::int64_t at = 0;
    for (const char c : frame.substr(0, 70)) {
        at += kGapMs - 1;
        EXPECT_EQ(receiver.Poll(at).kind, RxStep::Kind::None);
        receiver.Feed(static_cast<std::uint8_t>(c), at);
    }
    const RxStep cut = receiver.Poll(at + kGapMs);
    EXPECT_EQ(std::tie(cut.kind, cut.verdict, cut.reply, cut.lineNumber),
              std::make_tuple(RxStep::Kind::Block, BlockVerdict::CutShort, kNak, 1));
    EXPECT_FALSE(receiver.InBlock());
    EXPECT_EQ(Feed(frame, at + kGapMs).verdict, BlockVerdict::Accepted);  // the resend, afresh
}

TEST_F(XmodemReceiverTest, ControlBytesBetweenBlocks) {
    const RxStep text = Feed("/"), eot = Feed(std::string(1, simtest::kEot));
    EXPECT_FALSE(receiver.Started());
    const RxStep can = Feed(std::string(1, kCan));
    using Kind = RxStep::Kind;
    EXPECT_EQ(std::make_tuple(text.kind, eot.kind, eot.reply, can.kind, can.reply),
              std::make_tuple(Kind::Text, Kind::Eot, kAck, Kind::Cancel, 0));
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
