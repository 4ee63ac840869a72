#include "diagnostics/ReportNotice.h"

void CReportNotice::OnReport(std::uint32_t nowMs, WallTimePoint when) {
    m_reported = true;
    m_lastMs = nowMs;
    m_lastWall = when;
}

std::string CReportNotice::Text(std::uint32_t nowMs) const {
    if (!m_reported) {
        return kWaiting;
    }
    // Unsigned difference: right across the clock's wrap.
    if (nowMs - m_lastMs >= kStaleMs) {
        return "No report since " + ClockTime(m_lastWall);
    }
    return {};
}
