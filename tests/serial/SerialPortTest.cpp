#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "TestKit.h"
#include "Wait.h"
#include "serial/ErrorReport.h"
#include "serial/SerialPort.h"
#include "support/SettingsKey.h"

namespace {

using serialtest::ReadBytes;
using serialtest::WaitUntil;

// A block bigger than anything a pseudo-terminal buffers, so that its write
// stalls until the far end reads.
std::vector<std::uint8_t> StallingBlock() {
    std::vector<std::uint8_t> block(1 << 20);
    for (std::size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    }
    return block;
}

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_port.SetTraceHook([this](bool sent, const std::uint8_t*, std::size_t length) {
            (sent ? m_sent : m_received) += length;
        });
        m_port.SetPortName(m_pty.SlavePath());
    }

    void OpenPort() {
        ASSERT_TRUE(m_port.Open());
        ASSERT_TRUE(m_port.IsOpen());
    }

    void WaitReceived(std::size_t count) {
        ASSERT_TRUE(WaitUntil([&] { return m_received.load() >= count; }))
            << m_received.load() << " of " << count;
    }

    testkit::CBoxRecorder m_boxes;
    testkit::CDebugRecorder m_debug;
    testkit::CPtyPair m_pty;
    std::atomic<std::size_t> m_sent{0};
    std::atomic<std::size_t> m_received{0};
    CSerialPort m_port;  // last: closed before the pty and the recorders go
};

TEST_F(SerialPortTest, EveryByteValueArrivesInOrder) {
    OpenPort();
    EXPECT_EQ(m_port.ReadByte(), -1);
    EXPECT_EQ(m_port.BytesAvailable(), 0);
    std::string all;
    for (int i = 0; i < 256; ++i) {
        all.push_back(static_cast<char>(255 - i));
    }
    m_pty.Send(all);
    std::vector<int> got;
    ASSERT_TRUE(WaitUntil([&] {
        for (int b = m_port.ReadByte(); b != -1; b = m_port.ReadByte()) {
            got.push_back(b);
        }
        return got.size() >= 256;
    }));
    ASSERT_EQ(got.size(), 256U);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(got[static_cast<std::size_t>(i)], 255 - i);
    }
    EXPECT_EQ(m_port.ReadByte(), -1);
    EXPECT_EQ(m_boxes.Count(), 0U);
}

TEST_F(SerialPortTest, FullRingKeepsTheOldest1024Bytes) {
    OpenPort();
    std::string sent;
    for (int i = 0; i < 1500; ++i) {
        sent.push_back(static_cast<char>((i * 13 + i / 256) & 0xFF));
    }
    m_pty.Send(sent);
    WaitReceived(sent.size());
    EXPECT_EQ(m_port.BytesAvailable(), 1024);
    EXPECT_EQ(ReadBytes(m_port, 1024), sent.substr(0, 1024));
    EXPECT_EQ(m_port.ReadByte(), -1);
    EXPECT_EQ(m_boxes.Count(), 0U);
}

TEST_F(SerialPortTest, ClearReceivedDropsWaitingBytesOnly) {
    OpenPort();
    m_pty.Send("abc");
    WaitReceived(3);
    EXPECT_EQ(m_port.BytesAvailable(), 3);
    m_port.ClearReceived();
    EXPECT_EQ(m_port.BytesAvailable(), 0);
    EXPECT_EQ(m_port.ReadByte(), -1);
    m_pty.Send("d");
    EXPECT_EQ(ReadBytes(m_port, 1), "d");
}

TEST_F(SerialPortTest, StaleBytesFromBeforeTheOpenAreDiscarded) {
    m_pty.Send("old");
    OpenPort();
    m_pty.Send("new");
    EXPECT_EQ(ReadBytes(m_port, 3), "new");
}

TEST_F(SerialPortTest, RequestsLeaveInQueueOrderWithNothingBetween) {
    OpenPort();
    const std::uint8_t ignored[] = {'!', '!'};
    // A byte request sends its byte alone; its length and data are ignored.
    ASSERT_TRUE(m_port.QueueRequest(WRITE_BYTE, 2, 'A', ignored));
    ASSERT_TRUE(m_port.WriteBlock("hello", 5));
    ASSERT_TRUE(m_port.WriteString(""));
    ASSERT_TRUE(m_port.QueueRequest(WRITE_BYTE, 0, 'Z', nullptr));
    ASSERT_TRUE(m_port.WriteString("\r/011\r"));
    EXPECT_EQ(m_pty.Receive(13, 5000), "AhelloZ\r/011\r");
    EXPECT_EQ(m_pty.Receive(1, 100), "");
    EXPECT_EQ(m_sent.load(), 13U);
    EXPECT_EQ(m_boxes.Count(), 0U);
}

TEST_F(SerialPortTest, AbortDropsEverythingQueuedBehindIt) {
    OpenPort();
    const std::vector<std::uint8_t> block = StallingBlock();
    ASSERT_TRUE(m_port.WriteBlock(block.data(), static_cast<int>(block.size())));
    ASSERT_TRUE(m_port.QueueRequest(WRITE_ABORT, 0, 0, nullptr));
    ASSERT_TRUE(m_port.QueueRequest(WRITE_BYTE, 0, 'x', nullptr));
    ASSERT_TRUE(m_port.WriteString("dropped"));
    ASSERT_TRUE(m_port.QueueRequest(WRITE_BYTE, 0, 'y', nullptr));
    // Only now does the far end read, so the block was still being written
    // when the three requests joined the queue behind the abort.
    const std::string got = m_pty.Receive(block.size(), 5000);
    ASSERT_EQ(got.size(), block.size());
    std::size_t firstDifference = 0;
    while (firstDifference < block.size() &&
           static_cast<std::uint8_t>(got[firstDifference]) == block[firstDifference]) {
        ++firstDifference;
    }
    EXPECT_EQ(firstDifference, block.size());
    ASSERT_TRUE(WaitUntil([&] { return m_debug.Text() == "3 packets ignored.\n"; }))
        << m_debug.Text();
    EXPECT_EQ(m_pty.Receive(1, 100), "");
    ASSERT_TRUE(m_port.QueueRequest(WRITE_BYTE, 0, 'K', nullptr));
    EXPECT_EQ(m_pty.Receive(1, 5000), "K");
    EXPECT_EQ(m_boxes.Count(), 0U);
}

TEST_F(SerialPortTest, AbortWithNothingBehindItCountsZero) {
    OpenPort();
    ASSERT_TRUE(m_port.QueueRequest(WRITE_ABORT, 0, 0, nullptr));
    ASSERT_TRUE(WaitUntil([&] { return !m_debug.Text().empty(); }));
    EXPECT_EQ(m_debug.Text(), "0 packets ignored.\n");
    ASSERT_TRUE(m_port.WriteString("ok"));
    EXPECT_EQ(m_pty.Receive(2, 5000), "ok");
}

TEST_F(SerialPortTest, BadRequestIsReportedAndTheNextOneStillWritten) {
    OpenPort();
    ASSERT_TRUE(m_port.QueueRequest(3, 0, 'b', nullptr));
    ASSERT_TRUE(m_port.QueueRequest(WRITE_BLOCK, -5, 0, nullptr));
    ASSERT_TRUE(m_port.QueueRequest(WRITE_BYTE, 0, 'K', nullptr));
    EXPECT_EQ(m_pty.Receive(1, 5000), "K");
    EXPECT_EQ(m_pty.Receive(1, 100), "");
    EXPECT_EQ(m_debug.Text(), "Bad write requestBad write request");
    ASSERT_EQ(m_boxes.Count(), 2U);
    EXPECT_EQ(m_boxes.Boxes()[0].text, kCommErrorText);
    EXPECT_EQ(m_boxes.Boxes()[0].caption, "ERROR");
}

TEST_F(SerialPortTest, QueueingWhileClosedQueuesNothing) {
    EXPECT_FALSE(m_port.WriteString("x"));
    EXPECT_FALSE(m_port.QueueRequest(WRITE_BYTE, 0, 'x', nullptr));
    OpenPort();
    m_port.Close();
    EXPECT_FALSE(m_port.IsOpen());
    EXPECT_FALSE(m_port.WriteString("x"));
    EXPECT_EQ(m_boxes.Count(), 0U);
    m_port.Close();  // closing a closed port changes nothing
    EXPECT_EQ(m_debug.Text(), "");
}

TEST_F(SerialPortTest, CloseAbandonsAStalledWriteAtOnce) {
    OpenPort();
    const std::vector<std::uint8_t> block = StallingBlock();
    ASSERT_TRUE(m_port.WriteBlock(block.data(), static_cast<int>(block.size())));
    ASSERT_TRUE(WaitUntil([&] { return m_sent.load() > 0; }));
    m_port.Close();
    EXPECT_FALSE(m_port.IsOpen());
    EXPECT_LT(m_sent.load(), block.size());
    // Had the write not been abandoned, Close would have given up on the writer.
    EXPECT_EQ(m_debug.Text().find("didn't exit"), std::string::npos) << m_debug.Text();
    EXPECT_EQ(m_boxes.Count(), 0U);
}

// Threads that keep every core busy, so that the kernel's hand-over of bytes
// from one side of a pseudo-terminal to the other runs late.
class CCpuLoad {
public:
    CCpuLoad() {
        const unsigned count = std::max(2U, std::thread::hardware_concurrency()) * 2;
        for (unsigned i = 0; i < count; ++i) {
            m_threads.emplace_back([this] {
                volatile std::uint64_t spin = 0;
                while (!m_stop.load(std::memory_order_relaxed)) {
                    spin = spin + 1;
                }
            });
        }
    }
    ~CCpuLoad() {
        m_stop = true;
        for (std::thread& thread : m_threads) {
            thread.join();
        }
    }

private:
    std::atomic<bool> m_stop{false};
    std::vector<std::thread> m_threads;
};

// A cancelled upload's last word: the CANs written and drained just before
// Close must reach the far end even when the machine is busy.
TEST_F(SerialPortTest, CloseRightAfterADrainKeepsWhatWasSent) {
    CCpuLoad load;
    for (int attempt = 0; attempt < 40; ++attempt) {
        OpenPort();
        ASSERT_TRUE(m_port.WriteString("\x18\x18"));
        ASSERT_TRUE(m_port.WaitUntilWritten(2000));
        m_port.Close();
        ASSERT_EQ(m_pty.Receive(2, 2000), "\x18\x18") << "attempt " << attempt;
    }
}

TEST_F(SerialPortTest, CloseThenOpenRunsFreshWorkersAndKeepsTheRing) {
    OpenPort();
    m_pty.Send("ab");
    WaitReceived(2);
    EXPECT_EQ(ReadBytes(m_port, 1), "a");
    m_port.Close();
    OpenPort();
    // The byte left from the earlier opening is still there, before new ones.
    m_pty.Send("c");
    EXPECT_EQ(ReadBytes(m_port, 2), "bc");
    ASSERT_TRUE(m_port.WriteString("hi"));
    EXPECT_EQ(m_pty.Receive(2, 5000), "hi");
    m_port.Close();
    OpenPort();
    ASSERT_TRUE(m_port.WriteString("again"));
    EXPECT_EQ(m_pty.Receive(5, 5000), "again");
    EXPECT_EQ(m_boxes.Count(), 0U);
}

TEST_F(SerialPortTest, OpenUnderAnotherNameMovesToTheNewDevice) {
    testkit::CPtyPair other;
    OpenPort();
    m_port.SetPortName(other.SlavePath());
    EXPECT_EQ(m_port.GetOpenedName(), m_pty.SlavePath());
    OpenPort();
    EXPECT_EQ(m_port.GetOpenedName(), other.SlavePath());
    // The first device was let go: another port can take it now.
    CSerialPort second;
    second.SetPortName(m_pty.SlavePath());
    EXPECT_TRUE(second.Open());
    second.Close();
    other.Send("n");
    EXPECT_EQ(ReadBytes(m_port, 1), "n");
    ASSERT_TRUE(m_port.WriteString("w"));
    EXPECT_EQ(other.Receive(1, 5000), "w");
    EXPECT_EQ(m_boxes.Count(), 0U);
}

TEST(SerialPortNames, ComNameOpensTheDeviceNamedInTheSettings) {
    testkit::CScratchConfig config;
    testkit::CBoxRecorder boxes;
    testkit::CPtyPair pty;
    CSettingsKey key;
    ASSERT_EQ(key.OpenKey("Veltra", "Corvane"), 0);
    ASSERT_EQ(key.WriteValue("COM3", pty.SlavePath()), 0);
    CSerialPort port;
    port.SetPortName("COM3");
    ASSERT_TRUE(port.Open());
    EXPECT_EQ(port.GetOpenedName(), "COM3");
    pty.Send("3");
    EXPECT_EQ(ReadBytes(port, 1), "3");
    port.Close();
    EXPECT_EQ(boxes.Count(), 0U);
}

}  // namespace
