#include "serial/SerialPort.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>

#include "platform/Clock.h"
#include "platform/DebugOutput.h"
#include "platform/LastError.h"
#include "platform/MessageBox.h"
#include "serial/ErrorReport.h"
#include "serial/OutputDrain.h"
#include "serial/PortDiagnosis.h"
#include "serial/PortLink.h"
#include "serial/PortName.h"
#include "serial/ReceiveRing.h"
#include "serial/SerialPortReader.h"
#include "serial/SerialPortWriter.h"

namespace {

constexpr std::uint32_t kReceiveRingSize = 1024;

bool IsReady(const std::future<void>& done, std::chrono::steady_clock::time_point deadline) {
    return done.valid() && done.wait_until(deadline) == std::future_status::ready;
}

// True when the writer said, within waitMs, that its queue takes requests. A
// writer that ended without saying so (an exception) broke its promise.
bool WriterReady(std::future<bool>& ready, int waitMs) {
    if (ready.wait_for(std::chrono::milliseconds(waitMs)) != std::future_status::ready) {
        return false;
    }
    try {
        return ready.get();
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

CSerialPort::CSerialPort() : m_pReceive(std::make_shared<CReceiveRing>(kReceiveRingSize)) {}

CSerialPort::~CSerialPort() {
    Close();
    ReapStuckWorkers(m_stopTimeoutMs);
    for (Worker& worker : m_stuckWorkers) {
        worker.thread.detach();
    }
}

void CSerialPort::SetPortName(const std::string& name) {
    m_strPortName = name;
}

const std::string& CSerialPort::GetPortName() const {
    return m_strPortName;
}

const std::string& CSerialPort::GetOpenedName() const {
    return m_strOpenedName;
}

bool CSerialPort::IsOpen() const {
    return m_bOpen;
}

bool CSerialPort::IsLost() const {
    return m_bOpen && m_pLink && m_pLink->IsLost();
}

void CSerialPort::SetTraceHook(TraceHook hook) {
    m_traceHook = std::move(hook);
}

bool CSerialPort::Open() {
    if (m_bOpen && m_strPortName != m_strOpenedName) {
        Close();
    }
    if (m_bOpen) {
        return true;  // never a second pair of workers
    }
    ReapStuckWorkers(0);
    m_strOpenedName = m_strPortName;
    auto link = std::make_shared<CPortLink>(m_pReceive, m_traceHook);
    if (!link->ExitEvent().Valid()) {
        // Workers that could not be told to end must not start.
        ReportError("CreateEvent (Thread exit event)");
        return false;
    }
    const std::string path =
        m_strDeviceOverride.empty() ? ResolvePortName(m_strPortName) : m_strDeviceOverride;
    if (path.empty()) {
        platform::SetLastError(ENOENT);
    }
    if (path.empty() || !link->Device().Open(path)) {
        ReportOpenFailure(path);
        return false;
    }
    if (!ConfigureDevice(link->Device())) {
        link->Device().Close();
        platform::SetLastError(EIO);  // the reason, whatever the closing said
        ReportOpenFailure(path);
        return false;
    }
    m_pLink = std::move(link);
    m_pLink->SetOpen();
    m_bOpen = true;
    if (!StartWorkers()) {
        Close();  // stops whatever worker did start and lets the device go
        return false;
    }
    return true;
}

void CSerialPort::ReportOpenFailure(const std::string& path) const {
    if (!m_bOpenCauseShown) {
        ReportCommError("CreateFile");
        return;
    }
    // The diagnosis opens the device again; the failed open's own code stays.
    const std::uint32_t code = platform::GetLastError();
    const std::string cause = DescribeOpenFailure(m_strPortName, path);
    platform::SetLastError(code);
    ReportCommError("CreateFile", cause);
}

// Everything after the device opened is reported and passed over: the port
// is open with whatever settings the device accepted. One failure is not: a
// tty that answers even the reading of its settings with EIO has no line
// behind it (a ttyS number the machine has no UART for, an adapter on its
// way out), so false, and the opening fails with that error.
bool CSerialPort::ConfigureDevice(platform::CSerialDevice& device) {
    if (!device.SaveSettings()) {
        if (platform::GetLastError() == EIO) {
            return false;
        }
        ReportCommError("GetCommTimeouts");
    }
    if (!device.ReadState()) {
        ReportCommError("GetCommState");
    }
    if (!device.ApplyLineSettings(m_lineSettings)) {
        ReportCommError("SetCommState");
    }
    if (!device.ApplyReadTimeouts()) {
        ReportCommError("SetCommTimeouts");
    }
    // A real port receives nothing while it is closed: what the device
    // buffered before this opening must not reach the next command.
    device.DiscardInput();
    if (!device.SetDtr(true)) {
        ReportCommError("EscapeCommFunction (SETDTR)");
    }
    return true;
}

bool CSerialPort::StartWorkers() {
    auto ready = std::make_shared<std::promise<bool>>();
    std::future<bool> writerReady = ready->get_future();
    std::shared_ptr<CPortLink> link = m_pLink;
    m_writerThread = StartWorker(
        [link, ready] {
            CSerialPortWriter writer(link);
            writer.Run(*ready);
        },
        "CreateThread (Writer)");
    if (!m_writerThread.thread.joinable()) {
        return false;  // reported by StartWorker
    }
    // A caller may queue as soon as Open returns, so wait until the writer
    // has set up its queue. A writer that found it cannot, or that failed
    // before saying so, leaves a port that could send nothing.
    if (!WriterReady(writerReady, m_stopTimeoutMs)) {
        ReportCommError("CreateThread (Writer)");
        return false;
    }
    m_readerThread = StartWorker(
        [link] {
            CSerialPortReader reader(link);
            reader.Run();
        },
        "CreateThread (Reader)");
    return m_readerThread.thread.joinable();
}

CSerialPort::Worker CSerialPort::StartWorker(std::function<void()> body, const char* failure) {
    Worker worker;
    try {
        // The workers report into whatever the opening thread reports into (a
        // bench run's own result text and tagged debugger output).
        std::packaged_task<void()> task([body = std::move(body),
                                         boxes = platform::ThreadMessageBoxHook(),
                                         sink = platform::ThreadDebugSink()] {
            platform::CThreadMessageBoxes boxScope(boxes);
            platform::CThreadDebugSink debugScope(sink);
            body();
        });
        worker.done = task.get_future();
        worker.thread = std::thread(std::move(task));
    } catch (const std::system_error& error) {
        platform::SetLastError(static_cast<std::uint32_t>(error.code().value()));
        worker.done = {};
        ReportCommError(failure);
    } catch (const std::exception&) {
        platform::SetLastError(ENOMEM);
        worker.done = {};
        ReportCommError(failure);
    }
    return worker;
}

void CSerialPort::Close() {
    if (!m_bOpen) {
        return;
    }
    m_bOpen = false;
    m_pLink->Shut();
    const bool workersEnded = StopThreads();
    platform::CSerialDevice& device = m_pLink->Device();
    device.SetDtr(false);
    device.RestoreSettings();
    PurgeUnsent(device);
    device.Release();
    // A worker that is still running may yet use the descriptor: its own
    // share of the link closes it when that worker is done.
    if (workersEnded) {
        device.Close();
    }
    m_pLink.reset();
}

// Input not taken is always dropped. Output is purged only while the device
// still holds bytes it has not sent (a transfer abandoned on the way): a
// purge discards bytes the device has handed on but the far end has not yet
// taken, such as a cancelled upload's CANs drained just before on a
// pseudo-terminal, which counts them as sent at once.
void CSerialPort::PurgeUnsent(platform::CSerialDevice& device) {
    device.DiscardInput();
    if (device.OutputPending() > 0) {
        device.Purge();
    }
}

bool CSerialPort::StopThreads() {
    m_pLink->ExitEvent().Set();
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(m_stopTimeoutMs);
    const bool readerEnded = !m_readerThread.done.valid() || IsReady(m_readerThread.done, deadline);
    const bool writerEnded = !m_writerThread.done.valid() || IsReady(m_writerThread.done, deadline);
    if (!readerEnded) {
        platform::OutputDebugString("Reader/Status Thread didn't exit.\n\r");
    }
    if (!writerEnded) {
        platform::OutputDebugString("Writer Thread didn't exit.\n\r");
    }
    // The exit event of this opening stays signalled: a later opening has its own.
    JoinOrKeep(m_readerThread, readerEnded);
    JoinOrKeep(m_writerThread, writerEnded);
    return readerEnded && writerEnded;
}

void CSerialPort::JoinOrKeep(Worker& worker, bool ended) {
    if (!worker.thread.joinable()) {
        worker = Worker{};
        return;
    }
    if (ended) {
        worker.thread.join();
        worker = Worker{};
    } else {
        m_stuckWorkers.push_back(std::move(worker));
        worker = Worker{};
    }
}

// Joins the workers given up on earlier that have ended by now, waiting at
// most waitMs in all; the ones still running at destruction are let go (each
// holds everything it uses).
void CSerialPort::ReapStuckWorkers(int waitMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    std::vector<Worker> stillRunning;
    for (Worker& worker : m_stuckWorkers) {
        if (IsReady(worker.done, deadline)) {
            worker.thread.join();
        } else {
            stillRunning.push_back(std::move(worker));
        }
    }
    m_stuckWorkers = std::move(stillRunning);
}

int CSerialPort::ReadByte() {
    return m_pReceive->Get();
}

int CSerialPort::BytesAvailable() {
    return m_pReceive->Count();
}

void CSerialPort::ClearReceived() {
    m_pReceive->Clear();
}

bool CSerialPort::QueueRequest(int kind, int length, std::uint8_t byte, const std::uint8_t* data) {
    if (!m_bOpen) {
        return false;
    }
    return m_pLink->Queue().Queue(kind, length, byte, data);
}

bool CSerialPort::WaitUntilWritten(int timeoutMs) {
    if (!m_bOpen) {
        return true;
    }
    CPortLink& link = *m_pLink;
    DrainProbes probes;
    probes.queueEmpty = [&link] { return link.Queue().Empty(); };
    probes.devicePending = [&link] { return link.IsLost() ? 0 : link.Device().OutputPending(); };
    return DrainOutput(probes, platform::SystemClock(),
                       static_cast<std::uint32_t>(std::max(timeoutMs, 0)));
}

bool CSerialPort::WriteBlock(const void* data, int length) {
    return QueueRequest(WRITE_BLOCK, length, 0, static_cast<const std::uint8_t*>(data));
}

bool CSerialPort::WriteString(const char* text) {
    if (text == nullptr) {
        return false;
    }
    return WriteBlock(text, static_cast<int>(std::strlen(text)));
}
