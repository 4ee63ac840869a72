#include "serial/SerialPortWriter.h"

#include <poll.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <thread>

#include "platform/DebugOutput.h"
#include "serial/ErrorReport.h"
#include "serial/RequestPool.h"

namespace {

constexpr int kSliceMs = 500;
// After a failed wait, which returns at once, the writer pauses this long so
// that a wait that keeps failing cannot become a busy loop.
constexpr auto kFailurePause = std::chrono::milliseconds(100);
constexpr short kLineDown = POLLHUP | POLLERR | POLLNVAL;

const char* const kWriteFailed = "WriteFile (in Writer)";

bool IsSoundBlock(const WriteRequest& request) {
    return request.length >= 0 && (request.length == 0 || request.data != nullptr);
}

}  // namespace

CSerialPortWriter::CSerialPortWriter(std::shared_ptr<CPortLink> link) : m_pLink(std::move(link)) {}

void CSerialPortWriter::Run(std::promise<bool>& ready) {
    CPortLink& link = *m_pLink;
    CWriteQueue& queue = link.Queue();
    bool started = false;
    try {
        started = queue.Start(CRequestPool::PortBudget());
    } catch (const std::exception&) {
        started = false;  // no memory for the pool: Open hears it and fails
    }
    ready.set_value(started);
    if (!started) {
        queue.Stop();
        return;
    }
    for (;;) {
        platform::WaitItem items[2];
        items[0].event = &link.ExitEvent();
        items[1].event = queue.WriterEvent();
        const int woken = platform::WaitForAny(items, 2, kSliceMs);
        if (woken == 0) {
            break;
        }
        if (woken == 1 && link.IsOpen()) {
            DispatchRequests();
        } else if (woken == platform::kWaitFailed) {
            std::this_thread::sleep_for(kFailurePause);
        }
    }
    queue.Stop();
}

void CSerialPortWriter::DispatchRequests() {
    CWriteQueue& queue = m_pLink->Queue();
    // Once Close has signalled the exit event no further request starts.
    while (!m_bAbandoned && !m_pLink->ExitEvent().TryWait()) {
        WriteRequest* request = queue.First();
        if (request == nullptr) {
            return;
        }
        // The request stays linked (and its byte valid) while it is carried out.
        if (request->kind == WRITE_ABORT) {
            AbortRequests(request);
        } else {
            CarryOut(*request);
        }
        queue.Unlink(request);
    }
}

void CSerialPortWriter::CarryOut(const WriteRequest& request) {
    if (request.kind == WRITE_BYTE) {
        WritePort(&request.byte, 1);
    } else if (request.kind == WRITE_BLOCK && IsSoundBlock(request)) {
        WritePort(request.data, static_cast<std::size_t>(request.length));
    } else {
        // Includes a block with a negative length or no bytes to send.
        ReportCommError("Bad write request");
    }
}

void CSerialPortWriter::AbortRequests(WriteRequest* abort) {
    CWriteQueue& queue = m_pLink->Queue();
    bool releaseFailed = false;
    const int dropped = queue.DropBehind(abort, releaseFailed);
    char text[48];
    std::snprintf(text, sizeof text, "%d packets ignored.\n", dropped);
    platform::OutputDebugString(text);
    if (releaseFailed) {
        ReportCommError("HeapFree (Writer heap)");
    }
    if (!queue.TransferComplete()->Set()) {
        ReportCommError("SetEvent (transfer complete event)");
    }
}

void CSerialPortWriter::WritePort(const std::uint8_t* data, std::size_t count) {
    CPortLink& link = *m_pLink;
    std::size_t done = 0;
    bool lineDown = false;
    while (done < count && !link.IsLost()) {
        // Looked at before every write, the rest of a partial one included: a
        // writer held up past Close's wait (by a slow trace, say) must not
        // write to a device that Close has already let go.
        if (link.ExitEvent().TryWait()) {
            m_bAbandoned = true;
            return;
        }
        const long put = link.Device().Write(data + done, count - done);
        if (put > 0) {
            link.Trace(true, data + done, static_cast<std::size_t>(put));
            done += static_cast<std::size_t>(put);
            lineDown = false;
            continue;
        }
        // A failed write, or a line that reported itself down and still takes
        // nothing, is a device that went away.
        if (put < 0 || lineDown) {
            link.ReportLost(kWriteFailed);
            return;
        }
        if (!WaitForRoom(lineDown)) {
            return;
        }
    }
}

// Waits until the device takes bytes again; false when the write must be
// given up (the exit event, or a wait that failed).
bool CSerialPortWriter::WaitForRoom(bool& lineDown) {
    CPortLink& link = *m_pLink;
    for (;;) {
        platform::WaitItem items[2];
        items[0].event = &link.ExitEvent();
        items[1].fd = link.Device().Fd();
        items[1].events = POLLOUT;
        const int ready = platform::WaitForAny(items, 2, kSliceMs);
        if (ready == 0) {
            m_bAbandoned = true;
            return false;
        }
        if (ready == 1) {
            lineDown = (items[1].revents & kLineDown) != 0;
            return true;
        }
        if (ready == platform::kWaitFailed) {
            ReportCommError("WaitForMultipleObjects (WriterGeneric)");
            return false;
        }
    }
}
