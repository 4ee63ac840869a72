#include "serial/SerialPortReader.h"

#include <poll.h>

#include <chrono>
#include <thread>

#include "serial/ErrorReport.h"

namespace {

constexpr int kSliceMs = 500;
// After a failed wait, which returns at once, the reader pauses this long so
// that a wait that keeps failing cannot become a busy loop.
constexpr auto kFailurePause = std::chrono::milliseconds(100);
constexpr short kLineDown = POLLHUP | POLLERR | POLLNVAL;

const char* const kReadFailed = "GetOverlappedResult (in Reader)";

}  // namespace

CSerialPortReader::CSerialPortReader(std::shared_ptr<CPortLink> link)
    : m_pLink(std::move(link)), m_buffer{} {}

void CSerialPortReader::Run() {
    CPortLink& link = *m_pLink;
    bool waitFailing = false;
    for (;;) {
        platform::WaitItem items[2];
        items[0].event = &link.ExitEvent();
        int count = 1;
        if (link.IsOpen() && !link.IsLost()) {
            items[1].fd = link.Device().Fd();
            items[1].events = POLLIN;
            count = 2;
        }
        const int ready = platform::WaitForAny(items, count, kSliceMs);
        if (ready == 0) {
            return;
        }
        if (ready == platform::kWaitFailed) {
            // One report for a run of failures, not one per pass.
            if (!waitFailing) {
                ReportCommError("WaitForMultipleObjects(Reader handles)");
            }
            waitFailing = true;
            std::this_thread::sleep_for(kFailurePause);
            continue;
        }
        waitFailing = false;
        if (ready == 1) {
            ReadAvailable(items[1].revents);
        }
    }
}

void CSerialPortReader::ReadAvailable(short revents) {
    CPortLink& link = *m_pLink;
    const long got = link.Device().Read(m_buffer, sizeof m_buffer);
    if (got > 0) {
        link.Trace(false, m_buffer, static_cast<std::size_t>(got));
        link.Deliver(m_buffer, static_cast<std::uint32_t>(got));
        return;
    }
    // Nothing more to read: a line that is down has been drained.
    if (got < 0 || (revents & kLineDown) != 0) {
        link.ReportLost(kReadFailed);
    }
}
