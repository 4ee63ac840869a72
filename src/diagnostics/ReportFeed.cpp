#include "diagnostics/ReportFeed.h"

#include <sys/stat.h>
#include <unistd.h>

#include "serial/SerialPort.h"

namespace {

// The device a path leads to (following links); 0 when there is none.
dev_t DeviceAt(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return 0;
    }
    return S_ISCHR(status.st_mode) ? status.st_rdev : 0;
}

}  // namespace

CReportFeed::CReportFeed(CSerialPort& port, platform::IClock& clock)
    : m_port(port), m_clock(clock) {}

CReportFeed::~CReportFeed() {
    Stop();
}

bool CReportFeed::Start(const std::string& devicePath) {
    m_devicePath = devicePath;
    m_report.Clear();
    ResetVariables(m_vars);
    if (OpenAndAsk()) {
        m_link = Link::Up;
        return true;
    }
    m_link = Link::Lost;
    m_nextCheckMs = m_clock.NowMs() + kReturnCheckMs;
    return false;
}

void CReportFeed::Stop() {
    if (m_port.IsOpen()) {
        m_port.Close();
    }
    m_link = Link::Closed;
}

void CReportFeed::Poll() {
    if (m_link == Link::Up) {
        // What the device sent before it went away is still read.
        TakeLines();
        if (LinkWentAway()) {
            OnLost();
        }
    } else if (m_link == Link::Lost) {
        LookForReturn();
    }
}

bool CReportFeed::OpenAndAsk() {
    if (!m_port.Open()) {
        return false;
    }
    m_device = DeviceAt(m_devicePath);
    m_port.WriteString(CVariableReport::kRequest);
    return true;
}

void CReportFeed::TakeLines() {
    const CVariableReport::Taken taken = m_report.Tick(m_port, m_vars, m_handlers.onReport);
    m_lines += taken.lines;
    m_reports += taken.reports;
}

bool CReportFeed::LinkWentAway() const {
    if (m_port.IsLost()) {
        return true;
    }
    const dev_t now = DeviceAt(m_devicePath);
    if (now == 0) {
        return m_device != 0 || ::access(m_devicePath.c_str(), F_OK) != 0;
    }
    return m_device != 0 && now != m_device;
}

void CReportFeed::OnLost() {
    m_port.Close();
    m_report.Clear();
    m_link = Link::Lost;
    m_nextCheckMs = m_clock.NowMs() + kReturnCheckMs;
    if (m_handlers.onLost) {
        m_handlers.onLost();
    }
}

void CReportFeed::LookForReturn() {
    const std::uint32_t now = m_clock.NowMs();
    // Signed difference: right across the clock's wrap.
    if (static_cast<std::int32_t>(now - m_nextCheckMs) < 0) {
        return;
    }
    m_nextCheckMs = now + kReturnCheckMs;
    if (::access(m_devicePath.c_str(), R_OK | W_OK) != 0) {
        return;
    }
    if (!OpenAndAsk()) {
        m_nextCheckMs = now + kRetryAfterFailureMs;
        return;
    }
    m_report.Clear();
    m_link = Link::Up;
    if (m_handlers.onBack) {
        m_handlers.onBack();
    }
}
