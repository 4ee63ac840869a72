// The block upload's state table and transfer, against a receiver in memory
// and virtual time.
#include "protocol/BlockUpload.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "RecordingView.h"
#include "TestKit.h"
#include "XmodemRecord.h"
#include "protocol/UpgradeImage.h"

namespace {

const std::string kAck(1, '\x06');
const std::string kNak(1, '\x15');
const std::string kCan(1, '\x18');

// A receiver in memory behind the upload's port. It copies every request as
// it is queued, cuts the line into 133-byte blocks (the upload queues SOH as
// a request of its own) and answers each by its policy; the answer waits for
// the upload's next ReadByte. It keeps every borrowed block pointer with a
// copy of what it pointed at when queued.
class CScriptedReceiver : public IUploadPort {
public:
    // The answer to a block ("" for silence), given its number and how many
    // times that number arrived before.
    std::function<std::string(int number, int arrival)> policy = [](int, int) { return kAck; };
    std::string incoming;  // bytes waiting for the upload
    std::string line;
    std::vector<std::string> blocks;
    std::vector<std::pair<const std::uint8_t*, std::string>> borrowed;
    int requests = 0;

    int ReadByte() override {
        if (incoming.empty()) {
            return -1;
        }
        const int byte = static_cast<std::uint8_t>(incoming.front());
        incoming.erase(0, 1);
        return byte;
    }

    bool QueueRequest(int kind, int length, std::uint8_t byte, const std::uint8_t* data) override {
        ++requests;
        std::string bytes(1, static_cast<char>(byte));
        if (kind == WRITE_BLOCK) {
            bytes.assign(reinterpret_cast<const char*>(data), static_cast<std::size_t>(length));
            borrowed.emplace_back(data, bytes);
        }
        line += bytes;
        m_pending = m_pending.empty() && bytes != "\x01" ? "" : m_pending + bytes;
        if (m_pending.size() == 133) {
            const char number = m_pending[1];
            const auto arrival = std::count_if(blocks.begin(), blocks.end(),
                                               [&](const auto& b) { return b[1] == number; });
            blocks.push_back(std::exchange(m_pending, {}));
            incoming += policy(static_cast<std::uint8_t>(number), static_cast<int>(arrival));
        }
        return true;
    }

private:
    std::string m_pending;
};

std::string Block(int n) {
    return xmodem::BlockOnLine(UpgradeImage(), n, CBlockUpload::kFiller);
}

class BlockUploadTest : public ::testing::Test {
protected:
    CScriptedReceiver receiver;
    CRecordingView view;
    testkit::CFakeClock clock{1000};
    CBlockUpload upload{receiver, view, clock};

    void Step(std::initializer_list<int> bytes) {
        for (int byte : bytes) {
            upload.UploadStep(static_cast<std::uint8_t>(byte));
        }
    }
};

TEST_F(BlockUploadTest, StateTableOneByteAtATime) {
    Step({21, 24, 6, 4, 'c', 0xFF});  // only "C" starts
    EXPECT_EQ(upload.State(), UploadState::WaitForStart);
    EXPECT_EQ(receiver.requests, 0);
    Step({'C'});
    EXPECT_EQ(upload.State(), UploadState::WaitForReply);
    EXPECT_EQ(upload.RetriesLeft(), 10);
    EXPECT_EQ(receiver.requests, 6);  // SOH, n, 255 - n, the data, CRC high, CRC low
    Step({'C', 'C', 0, 4, 0x7F, 0xFF});
    EXPECT_EQ(upload.State(), UploadState::WaitForReply);
    EXPECT_EQ(receiver.blocks.size(), 1U);  // a repeated "C" restarts nothing
    Step({6, 21});                          // the NAK resends the same bytes, one retry less
    EXPECT_EQ(receiver.blocks, (std::vector<std::string>{Block(1), Block(2), Block(2)}));
    EXPECT_EQ(upload.RetriesLeft(), 9);
    Step({24});
    ASSERT_EQ(upload.State(), UploadState::Cancelled);
    const int requests = receiver.requests;
    Step({'C', 6, 21, 24});  // an ended upload ignores everything
    EXPECT_EQ(upload.State(), UploadState::Cancelled);
    EXPECT_EQ(receiver.requests, requests);
}

// Silence fails on the 201st idle poll. Each run starts afresh: block 1
// first, a full allowance of NAKs, its own count of idle polls. Bytes the
// state ignores neither count as idle polls nor restart the count.
TEST_F(BlockUploadTest, SilenceFailsOnThe201stIdlePollAndEachRunStartsAfresh) {
    EXPECT_EQ(upload.Run(), UploadState::Failed);  // no "C" at all
    EXPECT_EQ(clock.sleeps, 201);
    EXPECT_EQ(receiver.requests, 0);
    EXPECT_EQ(view.progress.size(), 2U);  // the bar shown and hidden, never moved
    receiver.policy = [](int number, int) { return number == 2 ? kNak : kAck; };
    receiver.incoming = "C";
    EXPECT_EQ(upload.Run(), UploadState::Failed);  // on the tenth NAK, without a resend
    EXPECT_EQ(receiver.blocks.size(), 11U);
    receiver.blocks.clear();
    view.progress.clear();
    receiver.policy = [](int number, int arrival) {
        return number == 2 && arrival < 9 ? kNak : kAck;
    };
    receiver.incoming = "C";
    const int before = clock.sleeps;
    EXPECT_EQ(upload.Run(), UploadState::Done);
    EXPECT_EQ(clock.sleeps, before);  // a waiting reply is taken without a sleep
    ASSERT_EQ(receiver.blocks.size(), 110U);
    EXPECT_EQ(receiver.blocks.front(), Block(1));
    // The bar: its range, then the block number as it grows, then hidden.
    const auto& calls = view.progress;
    ASSERT_GE(calls.size(), 3U);
    EXPECT_EQ(calls.front(), std::make_pair(0, 101));
    EXPECT_EQ(calls[calls.size() - 2], std::make_pair(101, 101));
    EXPECT_EQ(calls.back(), std::make_pair(0, 0));
    for (std::size_t i = 1; i + 1 < calls.size(); ++i) {
        EXPECT_EQ(calls[i].second, 101);
        EXPECT_GE(calls[i].first, std::max(calls[i - 1].first, 1));
    }
    receiver.blocks.clear();
    receiver.policy = [](int, int) { return std::string(); };
    clock.onSleep = [&](std::uint32_t) {
        if (clock.sleeps == before + 100) {
            receiver.incoming += "xyz";
        }
    };
    receiver.incoming = "C";
    EXPECT_EQ(upload.Run(), UploadState::Failed);
    EXPECT_EQ(clock.sleeps - before, 201);
    EXPECT_EQ(receiver.blocks, std::vector<std::string>{Block(1)});
}

// The writer thread reads a block's bytes after the request is queued, so
// they must stay unchanged after the upload has moved on, even once the
// upload's record is gone and another upload runs.
TEST(BlockUploadBorrowed, BlockBytesOutliveTheStepAndTheUpload) {
    CScriptedReceiver receiver;
    CRecordingView view;
    testkit::CFakeClock clock;
    receiver.policy = [](int number, int arrival) {
        return number == 101 ? kCan : number % 12 == 0 && arrival == 0 ? kNak : kAck;
    };
    receiver.incoming = "C";
    {
        CBlockUpload upload(receiver, view, clock);
        ASSERT_EQ(upload.Run(), UploadState::Cancelled);
    }
    CScriptedReceiver other;
    CBlockUpload scribbler(other, view, clock);
    other.incoming = "C";
    scribbler.Run();
    ASSERT_EQ(receiver.borrowed.size(), 109U);
    for (const auto& [data, copy] : receiver.borrowed) {
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), 128), copy);
    }
    EXPECT_EQ(receiver.borrowed.back().second, Block(101).substr(3, 128));
}

// ---- the user stops the transfer ---------------------------------------

TEST_F(BlockUploadTest, UserStopSendsTwoCansAndEndsCancelled) {
    view.cancelWhen = [this] { return receiver.blocks.size() >= 3; };
    receiver.incoming = "C";
    EXPECT_EQ(upload.Run(), UploadState::Cancelled);
    ASSERT_EQ(receiver.blocks.size(), 3U);
    EXPECT_EQ(receiver.line, Block(1) + Block(2) + Block(3) + kCan + kCan);  // and no EOT
    EXPECT_EQ(view.progress.back(), std::make_pair(0, 0));                   // the bar is hidden
}

// The stop comes during the 201st idle poll, the one after which silence
// would end the upload: it is still the user's stop.
TEST_F(BlockUploadTest, StopDuringTheLastIdlePollStillSendsTwoCans) {
    receiver.policy = [](int, int) { return std::string(); };
    view.cancelWhen = [this] { return clock.sleeps >= 201; };
    receiver.incoming = "C";
    EXPECT_EQ(upload.Run(), UploadState::Cancelled);
    EXPECT_EQ(clock.sleeps, 201);
    EXPECT_EQ(receiver.line, Block(1) + kCan + kCan);
}

}  // namespace
