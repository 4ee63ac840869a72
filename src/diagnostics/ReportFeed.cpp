#include "diagnostics/ReportFeed.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/MessageBox.h"
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
    if (OpenAndAsk(true)) {
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

int CReportFeed::BoxesHeld() const {
    const std::lock_guard<std::mutex> guard(m_held->lock);
    return m_held->count;
}

bool CReportFeed::OpenAndAsk(bool showBoxes) {
    bool opened = false;
    std::vector<std::pair<std::string, std::string>> shown;
    {
        // The hook outlives the feed in the port's workers, hence the shared
        // record it writes to.
        const platform::CThreadMessageBoxes held(
            [boxes = m_held](const std::string& text, const std::string& caption) {
                const std::lock_guard<std::mutex> guard(boxes->lock);
                ++boxes->count;
                boxes->boxes.emplace_back(text, caption);
                if (boxes->boxes.size() > 8) {
                    boxes->boxes.erase(boxes->boxes.begin());
                }
            });
        {
            const std::lock_guard<std::mutex> guard(m_held->lock);
            m_held->boxes.clear();
        }
        opened = m_port.Open();
        // The first opening shows what went wrong, also when the device
        // opened but refused its settings: a monitor on the wrong settings
        // reads nothing, and no box would say why.
        if (showBoxes) {
            const std::lock_guard<std::mutex> guard(m_held->lock);
            shown.swap(m_held->boxes);
            m_held->count -= static_cast<int>(shown.size());
        }
    }
    for (const auto& [text, caption] : shown) {
        platform::ShowMessageBox(text, caption);
    }
    if (!opened) {
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
