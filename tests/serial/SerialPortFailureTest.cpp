#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "TestKit.h"
#include "Wait.h"
#include "platform/DebugOutput.h"
#include "serial/ErrorReport.h"
#include "serial/RequestPool.h"
#include "serial/SerialPort.h"

namespace {

using serialtest::ReadBytes;
using serialtest::WaitUntil;

double ProcessCpuMs() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

class SerialPortFailureTest : public ::testing::Test {
protected:
    testkit::CBoxRecorder m_boxes;
    testkit::CDebugRecorder m_debug;
};

TEST_F(SerialPortFailureTest, MissingDeviceFailsTheOpenWithTheCommunicationsBox) {
    CSerialPort port;
    port.SetPortName("/nonexistent/corvane-tty");
    EXPECT_FALSE(port.Open());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.GetOpenedName(), "/nonexistent/corvane-tty");
    EXPECT_EQ(m_debug.Text(), "CreateFile");
    ASSERT_EQ(m_boxes.Count(), 1U);
    EXPECT_EQ(m_boxes.Boxes()[0].text, kCommErrorText);
    EXPECT_EQ(m_boxes.Boxes()[0].caption, "ERROR");
    EXPECT_FALSE(port.WriteString("x"));
}

// A file, /dev/null or a FIFO opens like a device but takes no line
// settings: refused at once, not after a charger's worth of retries.
TEST_F(SerialPortFailureTest, DeviceThatIsNotASerialLineIsRefused) {
    testkit::CScratchDir dir;
    const std::string file = dir.Path() + "/plain";
    const std::string fifo = dir.Path() + "/fifo";
    ASSERT_EQ(::close(::open(file.c_str(), O_CREAT | O_WRONLY, 0600)), 0);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {file, std::string("/dev/null"), fifo}) {
        CSerialPort port;
        port.SetPortName(path);
        EXPECT_FALSE(port.Open()) << path;
        EXPECT_FALSE(port.IsOpen()) << path;
    }
    EXPECT_EQ(m_debug.Text(), "CreateFileCreateFileCreateFile");
    ASSERT_EQ(m_boxes.Count(), 3U);
    EXPECT_EQ(m_boxes.Boxes()[2].text, kCommErrorText);
}

TEST_F(SerialPortFailureTest, NamesThatMeanNoDeviceFailLikeAMissingOne) {
    testkit::CScratchConfig config;
    for (const char* name : {"", "COM9", "not a port"}) {
        CSerialPort port;
        port.SetPortName(name);
        EXPECT_FALSE(port.Open()) << name;
        EXPECT_FALSE(port.IsOpen());
    }
    EXPECT_EQ(m_debug.Text(), "CreateFileCreateFileCreateFile");
    EXPECT_EQ(m_boxes.Count(), 3U);
}

TEST_F(SerialPortFailureTest, SecondOpenOfAHeldDeviceFails) {
    testkit::CPtyPair pty;
    CSerialPort holder;
    holder.SetPortName(pty.SlavePath());
    ASSERT_TRUE(holder.Open());
    CSerialPort intruder;
    intruder.SetPortName(pty.SlavePath());
    EXPECT_FALSE(intruder.Open());
    EXPECT_FALSE(intruder.IsOpen());
    EXPECT_EQ(m_debug.Text(), "CreateFile");
    EXPECT_EQ(m_boxes.Count(), 1U);
    // The holder is undisturbed.
    pty.Send("h");
    EXPECT_EQ(ReadBytes(holder, 1), "h");
    holder.Close();
    EXPECT_TRUE(intruder.Open());
}

// The command that meets the lost port says what happened in its own box
// ("The adapter was disconnected ..."); a box of the port's own before it
// would be a second one about the same unplug.
TEST_F(SerialPortFailureTest, FarEndHangingUpIsLoggedOnceWithoutABoxAndLeavesTheWorkersIdle) {
    testkit::CPtyPair pty;
    CSerialPort port;
    port.SetPortName(pty.SlavePath());
    ASSERT_TRUE(port.Open());
    pty.Send("tail");
    ASSERT_TRUE(WaitUntil([&] { return port.BytesAvailable() == 4; }));
    pty.HangUp();
    ASSERT_TRUE(WaitUntil([&] { return port.IsLost(); }));
    // Bytes received before the loss stay in the ring for the command.
    EXPECT_EQ(ReadBytes(port, 4), "tail");
    EXPECT_EQ(m_debug.Text(), "GetOverlappedResult (in Reader)");
    EXPECT_EQ(m_boxes.Count(), 0U);
    // The writer leaves the lost device alone too: nothing more is said.
    EXPECT_TRUE(port.WriteString("into the void"));

    // A worker that kept polling a hung-up line would burn a processor for
    // the whole interval; idle workers use next to nothing.
    const double before = ProcessCpuMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    const double used = ProcessCpuMs() - before;
    EXPECT_LT(used, 150.0);
    EXPECT_EQ(m_boxes.Count(), 0U);
    port.Close();
    EXPECT_EQ(m_debug.Text(), "GetOverlappedResult (in Reader)");
}

TEST_F(SerialPortFailureTest, FullRequestPoolRefusesWithTheCommunicationsBox) {
    testkit::CPtyPair pty;
    CSerialPort port;
    port.SetPortName(pty.SlavePath());
    ASSERT_TRUE(port.Open());
    // Stall the writer so that nothing leaves the queue.
    std::vector<std::uint8_t> block(1 << 20, 0x55);
    ASSERT_TRUE(port.WriteBlock(block.data(), static_cast<int>(block.size())));
    const std::size_t limit = CRequestPool::PortBudget();  // more than can ever fit
    std::size_t accepted = 0;
    while (accepted < limit && port.QueueRequest(WRITE_BYTE, 0, 'q', nullptr)) {
        ++accepted;
    }
    ASSERT_LT(accepted, limit);
    // Room for a few upload blocks (six requests each), within four pages.
    EXPECT_GE(accepted, 60U);
    EXPECT_LE((accepted + 1) * sizeof(WriteRequest), CRequestPool::PortBudget());
    EXPECT_EQ(m_debug.Text(), "HeapAlloc (writer packet)");
    ASSERT_EQ(m_boxes.Count(), 1U);
    EXPECT_EQ(m_boxes.Boxes()[0].caption, "ERROR");
    port.Close();
    EXPECT_EQ(m_debug.Text(), "HeapAlloc (writer packet)");
}

// Leaves the code under test exactly `spare` more descriptors: the limit is
// set just above the lowest free ones. Undone at the end.
class CDescriptorSqueeze {
public:
    explicit CDescriptorSqueeze(int spare) {
        ::getrlimit(RLIMIT_NOFILE, &m_old);
        const int lowest = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        ::close(lowest);
        for (int fd = lowest; fd < lowest + spare; ++fd) {
            m_usable = m_usable && ::fcntl(fd, F_GETFD) == -1;
        }
        rlimit squeezed = m_old;
        squeezed.rlim_cur = static_cast<rlim_t>(lowest + spare);
        m_usable = m_usable && ::setrlimit(RLIMIT_NOFILE, &squeezed) == 0;
    }
    ~CDescriptorSqueeze() { ::setrlimit(RLIMIT_NOFILE, &m_old); }
    bool Usable() const { return m_usable; }

private:
    rlimit m_old{};
    bool m_usable = true;
};

// Room for the exit event and the device, none for the writer's own events:
// the writer cannot take requests, so the port must not claim to be open.
// Not under the undefined-behaviour sanitizer: its type checks open a pipe of
// their own and fail without descriptors; the ordinary build runs it.
#ifndef __SANITIZE_ADDRESS__
TEST_F(SerialPortFailureTest, WriterThatCannotSetUpFailsTheOpen) {
    testkit::CPtyPair pty;
    CSerialPort port;
    port.SetPortName(pty.SlavePath());
    {
        CDescriptorSqueeze squeeze(2);
        if (!squeeze.Usable()) {
            GTEST_SKIP() << "cannot limit this process's descriptors";
        }
        EXPECT_FALSE(port.Open());
    }
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(m_debug.Text(), "CreateThread (Writer)");
    ASSERT_EQ(m_boxes.Count(), 1U);
    EXPECT_EQ(m_boxes.Boxes()[0].text, kCommErrorText);
    // Nothing of the failed opening stays behind.
    EXPECT_TRUE(port.Open());
    ASSERT_TRUE(port.WriteString("ok"));
    EXPECT_EQ(pty.Receive(2, 5000), "ok");
}
#endif

// A box hook that holds the reporting thread until the test lets it go (or a
// bound passes), standing in for a user who does not answer a box.
struct HeldBox {
    std::mutex lock;
    std::condition_variable changed;
    bool entered = false;
    bool released = false;
};

TEST_F(SerialPortFailureTest, WorkerThatDoesNotEndNeverActsOnALaterOpening) {
    auto held = std::make_shared<HeldBox>();
    // The workers log into the opening thread's sink: one that does not
    // return holds the reader where it reports the loss.
    const platform::DebugSink holding = [held](std::string_view text) {
        platform::OutputProcessDebugString(text);
        std::unique_lock<std::mutex> guard(held->lock);
        held->entered = true;
        held->changed.notify_all();
        held->changed.wait_for(guard, std::chrono::seconds(20), [&] { return held->released; });
    };
    testkit::CPtyPair first;
    testkit::CPtyPair second;
    CSerialPort port;
    port.SetStopTimeoutMs(300);
    port.SetPortName(first.SlavePath());
    {
        const platform::CThreadDebugSink sink(holding);
        ASSERT_TRUE(port.Open());
    }
    first.HangUp();
    {
        std::unique_lock<std::mutex> guard(held->lock);
        ASSERT_TRUE(
            held->changed.wait_for(guard, std::chrono::seconds(10), [&] { return held->entered; }));
    }
    port.Close();
    EXPECT_EQ(m_debug.Text(),
              "GetOverlappedResult (in Reader)Reader/Status Thread didn't exit.\n\r");

    port.SetStopTimeoutMs(10000);
    port.SetPortName(second.SlavePath());
    ASSERT_TRUE(port.Open());
    second.Send("new");
    EXPECT_EQ(ReadBytes(port, 3), "new");
    {
        std::lock_guard<std::mutex> guard(held->lock);
        held->released = true;
    }
    held->changed.notify_all();
    // The old reader now runs on; the new opening must not notice.
    second.Send("more");
    EXPECT_EQ(ReadBytes(port, 4), "more");
    ASSERT_TRUE(port.WriteString("out"));
    EXPECT_EQ(second.Receive(3, 5000), "out");
    port.Close();
    EXPECT_EQ(port.BytesAvailable(), 0);
    EXPECT_EQ(m_debug.Text(),
              "GetOverlappedResult (in Reader)Reader/Status Thread didn't exit.\n\r");
}

// A writer held up past Close's wait (here in a trace that does not return)
// must not write the rest of its block when it goes on: Close has let the
// device go by then, and another program may have it.
TEST_F(SerialPortFailureTest, WriterHeldPastCloseNeverWritesAgain) {
    auto held = std::make_shared<HeldBox>();
    auto sent = std::make_shared<std::atomic<std::size_t>>(0);
    const std::vector<std::uint8_t> block(1 << 20, 0x5A);  // outlives the port
    testkit::CPtyPair pty;
    CSerialPort port;
    port.SetTraceHook([held, sent](bool isSent, const std::uint8_t*, std::size_t length) {
        if (!isSent) {
            return;
        }
        *sent += length;
        std::unique_lock<std::mutex> guard(held->lock);
        if (!held->entered) {
            held->entered = true;
            held->changed.notify_all();
            held->changed.wait_for(guard, std::chrono::seconds(20), [&] { return held->released; });
        }
    });
    port.SetStopTimeoutMs(300);
    port.SetPortName(pty.SlavePath());
    ASSERT_TRUE(port.Open());
    ASSERT_TRUE(port.WriteBlock(block.data(), static_cast<int>(block.size())));
    {
        std::unique_lock<std::mutex> guard(held->lock);
        ASSERT_TRUE(
            held->changed.wait_for(guard, std::chrono::seconds(10), [&] { return held->entered; }));
    }
    port.Close();
    EXPECT_EQ(m_debug.Text(), "Writer Thread didn't exit.\n\r");
    const std::size_t before = sent->load();
    EXPECT_LT(before, block.size());
    // The far end takes what reached it, so there is room again when the
    // writer goes on.
    pty.Receive(block.size(), 200);
    {
        std::lock_guard<std::mutex> guard(held->lock);
        held->released = true;
    }
    held->changed.notify_all();
    EXPECT_EQ(pty.Receive(1, 500), "");
    EXPECT_EQ(sent->load(), before);
    port.SetStopTimeoutMs(10000);  // the destructor waits for the writer to end
}

}  // namespace
