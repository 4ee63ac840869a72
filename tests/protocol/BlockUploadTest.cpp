// The block upload's state table and transfer, against a receiver in memory
// and virtual time.
#include "protocol/BlockUpload.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "RecordingView.h"
#include "ScriptedReceiver.h"
#include "TestKit.h"
#include "XmodemRecord.h"
#include "protocol/UpgradeImage.h"

namespace {

const std::string kAck(1, '\x06');
const std::string kNak(1, '\x15');
const std::string kCan(1, '\x18');

std::string AckAll(const ReceivedBlock&) {
    return kAck;
}

class BlockUploadTest : public ::testing::Test {
protected:
    CScriptedReceiver receiver;
    CRecordingView view;
    testkit::CFakeClock clock{1000};
    CBlockUpload upload{receiver, view, clock};

    // Runs a transfer whose receiver says "C" first and answers by policy.
    UploadState RunWith(CScriptedReceiver::Policy policy) {
        receiver.policy = std::move(policy);
        receiver.Push("C");
        return upload.Run();
    }
};

// ---- one step at a time ------------------------------------------------

TEST_F(BlockUploadTest, StartByteSendsBlockOneAsSixRequests) {
    upload.UploadStep('C');
    EXPECT_EQ(upload.State(), UploadState::WaitForReply);
    EXPECT_EQ(upload.BlockNumber(), 1);
    EXPECT_EQ(upload.RetriesLeft(), 10);
    EXPECT_EQ(receiver.RequestCount(), 6);
    ASSERT_EQ(receiver.Borrowed().size(), 1U);
    EXPECT_EQ(receiver.Borrowed()[0].copy.size(), 128U);
    // Block 1 is the image header: its length and CRC reach the receiver first.
    EXPECT_EQ(receiver.Line(), xmodem::BlockOnLine(UpgradeImage(), 1, CBlockUpload::kFiller));
    EXPECT_EQ(static_cast<std::uint8_t>(receiver.Line()[3]), 0x31);
    EXPECT_EQ(static_cast<std::uint8_t>(receiver.Line()[4]), 0x8A);
}

TEST_F(BlockUploadTest, WhileWaitingForStartOnlyCStarts) {
    for (int byte : std::initializer_list<int>{21, 24, 6, 4, 'c', 0xFF}) {
        upload.UploadStep(static_cast<std::uint8_t>(byte));
        EXPECT_EQ(upload.State(), UploadState::WaitForStart) << byte;
        EXPECT_EQ(upload.RetriesLeft(), 10);
    }
    EXPECT_EQ(receiver.RequestCount(), 0);
    EXPECT_EQ(upload.BlockNumber(), 0);
}

TEST_F(BlockUploadTest, WhileAwaitingReplyOtherBytesAreIgnored) {
    upload.UploadStep('C');
    for (int byte : std::initializer_list<int>{'C', 'C', 0, 4, 0x7F, 0xFF}) {
        upload.UploadStep(static_cast<std::uint8_t>(byte));
    }
    EXPECT_EQ(upload.State(), UploadState::WaitForReply);
    EXPECT_EQ(receiver.Blocks().size(), 1U);  // a repeated "C" restarts nothing
    upload.UploadStep(6);
    ASSERT_EQ(receiver.Blocks().size(), 2U);
    EXPECT_EQ(receiver.Blocks()[1].number, 2);
}

TEST_F(BlockUploadTest, NakResendsTheSameBytesWithoutRecomputing) {
    upload.UploadStep('C');
    upload.UploadStep(6);
    upload.UploadStep(21);
    ASSERT_EQ(receiver.Blocks().size(), 3U);
    EXPECT_EQ(receiver.Blocks()[2].number, 2);
    EXPECT_EQ(receiver.Blocks()[2].data, receiver.Blocks()[1].data);
    EXPECT_EQ(receiver.Blocks()[2].crc, receiver.Blocks()[1].crc);
    EXPECT_EQ(upload.RetriesLeft(), 9);
    EXPECT_EQ(upload.State(), UploadState::WaitForReply);
}

TEST_F(BlockUploadTest, EndedStatesIgnoreEverything) {
    upload.UploadStep('C');
    upload.UploadStep(24);
    ASSERT_EQ(upload.State(), UploadState::Cancelled);
    const int requests = receiver.RequestCount();
    for (int byte : std::initializer_list<int>{'C', 6, 21, 24}) {
        upload.UploadStep(static_cast<std::uint8_t>(byte));
    }
    EXPECT_EQ(upload.State(), UploadState::Cancelled);
    EXPECT_EQ(receiver.RequestCount(), requests);
}

// ---- whole transfers -----------------------------------------------------

TEST_F(BlockUploadTest, ProgressShowsTheRangeFollowsTheBlockAndHidesAtTheEnd) {
    RunWith(AckAll);
    const auto calls = view.ProgressCalls();
    ASSERT_GE(calls.size(), 3U);
    EXPECT_EQ(calls.front(), std::make_pair(0, 101));
    EXPECT_EQ(calls[calls.size() - 2], std::make_pair(101, 101));
    EXPECT_EQ(calls.back(), std::make_pair(0, 0));
    int last = 0;
    for (std::size_t i = 1; i + 1 < calls.size(); ++i) {
        EXPECT_EQ(calls[i].second, 101);
        EXPECT_GE(calls[i].first, last);
        EXPECT_NE(calls[i].first, 0);
        last = calls[i].first;
    }
    EXPECT_EQ(view.Events().back(), "uploadEnded:Done");
}

TEST_F(BlockUploadTest, LastBlockCarriesTenImageBytesAndItsAckQueuesEot) {
    RunWith(AckAll);
    ASSERT_EQ(receiver.Blocks().size(), 101U);
    const ReceivedBlock& last = receiver.Blocks().back();
    EXPECT_EQ(last.number, 101);
    EXPECT_EQ(last.complement, 154);
    const auto image = UpgradeImage();
    const std::string tail(reinterpret_cast<const char*>(image.data()) + 12800, 10);
    EXPECT_EQ(last.data.substr(0, 10), tail);
    EXPECT_EQ(last.crc, xmodem::Crc(reinterpret_cast<const std::uint8_t*>(last.data.data()), 128));
    const std::string& line = receiver.Line();
    EXPECT_EQ(line.substr(line.size() - 134),
              xmodem::BlockOnLine(image, 101, CBlockUpload::kFiller) + "\x04");
}

TEST_F(BlockUploadTest, RepeatedStartAndStrayNaksNeverFallBackToChecksumBlocks) {
    receiver.Push(kNak + kNak);  // NAK asks for checksum blocks: ignored
    const auto state = RunWith(
        [](const ReceivedBlock& b) { return b.number == 7 && b.arrival == 0 ? "C" + kAck : kAck; });
    EXPECT_EQ(state, UploadState::Done);
    EXPECT_EQ(receiver.SendsOf(7), 1);
    EXPECT_EQ(receiver.Blocks().size(), 101U);
    EXPECT_EQ(receiver.Blocks()[0].data.size(), 128U);
    EXPECT_EQ(receiver.Line().size(), 101U * 133U + 1U);  // CRC blocks of 133 bytes throughout
}

// ---- silence ---------------------------------------------------------------

TEST_F(BlockUploadTest, WaitForTheFirstStartIsBoundedTheSameWay) {
    EXPECT_EQ(upload.Run(), UploadState::Failed);
    EXPECT_EQ(clock.sleeps, 201);
    EXPECT_EQ(receiver.RequestCount(), 0);
    // No block number yet: the bar is shown and hidden, never moved.
    EXPECT_EQ(view.ProgressCalls().size(), 2U);
}

TEST_F(BlockUploadTest, IgnoredBytesNeitherCountAsIdleNorResetTheCount) {
    receiver.policy = [](const ReceivedBlock&) { return std::string(); };
    clock.onSleep = [this](std::uint32_t) {
        if (clock.sleeps == 100) {
            receiver.Push("xyz");
        }
    };
    receiver.Push("C");
    EXPECT_EQ(upload.Run(), UploadState::Failed);
    EXPECT_EQ(clock.sleeps, 201);
}

TEST_F(BlockUploadTest, ABlockSentResetsTheSilenceCount) {
    // Each block is answered after 150 idle polls: never 201 in a row.
    receiver.policy = [](const ReceivedBlock&) { return std::string(); };
    clock.onSleep = [this](std::uint32_t) {
        if (clock.sleeps % 150 == 0) {
            receiver.Push(kAck);
        }
    };
    receiver.Push("C");
    EXPECT_EQ(upload.Run(), UploadState::Done);
    EXPECT_EQ(clock.sleeps, 101 * 150);
}

TEST_F(BlockUploadTest, SecondUploadSilenceLimitCountsFromItsOwnStart) {
    receiver.policy = [](const ReceivedBlock& b) { return b.number < 40 ? kAck : std::string(); };
    receiver.Push("C");
    ASSERT_EQ(upload.Run(), UploadState::Failed);
    const int firstSleeps = clock.sleeps;
    EXPECT_EQ(upload.Run(), UploadState::Failed);
    EXPECT_EQ(clock.sleeps - firstSleeps, 201);
    EXPECT_EQ(upload.BlockNumber(), 0);
}

TEST_F(BlockUploadTest, StartByteAlreadyWaitingStartsWithoutASleep) {
    receiver.policy = [this](const ReceivedBlock& b) {
        EXPECT_EQ(clock.sleeps, 0) << "block " << b.number;
        return kCan;
    };
    receiver.Push("C");
    upload.Run();
    EXPECT_EQ(receiver.Blocks().size(), 1U);
}

// ---- borrowed bytes ------------------------------------------------------------

// The writer thread reads a block's bytes after the request is queued. Even a
// receiver that answers before the bytes have left (here: at once, while the
// request is still "in flight") must not see them change afterwards.
TEST_F(BlockUploadTest, BorrowedBlockBytesStayUnchangedAfterTheUploadMovesOn) {
    RunWith(
        [](const ReceivedBlock& b) { return b.number % 12 == 0 && b.arrival == 0 ? kNak : kAck; });
    ASSERT_EQ(upload.State(), UploadState::Done);
    ASSERT_EQ(receiver.Borrowed().size(), 109U);
    for (const auto& borrowed : receiver.Borrowed()) {
        const std::string now(reinterpret_cast<const char*>(borrowed.data), 128);
        EXPECT_EQ(now, borrowed.copy);
    }
}

TEST(BlockUploadLifetime, BorrowedBytesOutliveTheUploadRecord) {
    CScriptedReceiver receiver;
    CRecordingView view;
    testkit::CFakeClock clock;
    receiver.policy = [](const ReceivedBlock& b) { return b.number == 101 ? kCan : kAck; };
    receiver.Push("C");
    {
        CBlockUpload upload(receiver, view, clock);
        ASSERT_EQ(upload.Run(), UploadState::Cancelled);
    }
    // The record is gone; a writer still sending its last block reads these.
    CScriptedReceiver other;
    CBlockUpload scribbler(other, view, clock);
    other.Push("C");
    other.policy = AckAll;
    scribbler.Run();
    const auto image = UpgradeImage();
    for (const auto& borrowed : receiver.Borrowed()) {
        const std::string now(reinterpret_cast<const char*>(borrowed.data), 128);
        EXPECT_EQ(now, borrowed.copy);
    }
    EXPECT_EQ(receiver.Borrowed().back().copy.substr(0, 10),
              std::string(reinterpret_cast<const char*>(image.data()) + 12800, 10));
}

// ---- the user stops the transfer ---------------------------------------

TEST_F(BlockUploadTest, UserStopSendsTwoCansAndEndsCancelled) {
    view.cancelWhen = [this] { return receiver.Blocks().size() >= 3; };
    EXPECT_EQ(RunWith(AckAll), UploadState::Cancelled);
    ASSERT_EQ(receiver.Blocks().size(), 3U);
    std::string expected;
    for (int block = 1; block <= 3; ++block) {
        expected += xmodem::BlockOnLine(UpgradeImage(), block, CBlockUpload::kFiller);
    }
    EXPECT_EQ(receiver.Line(), expected + kCan + kCan);            // and no EOT
    EXPECT_EQ(view.ProgressCalls().back(), std::make_pair(0, 0));  // the bar is hidden
}

}  // namespace
