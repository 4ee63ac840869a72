#include "sim/Firmware.h"

#include <algorithm>

#include "sim/CommandParser.h"

namespace sim {

CFirmware::CFirmware(const SimOptions& options, CTransmitter& out, SimLog& log)
    : m_options(options), m_out(out), m_log(log), m_report(options) {}

void CFirmware::Start(const std::string& version) {
    m_version = version;
    m_reporting = false;
}

void CFirmware::Stop() {
    m_reporting = false;
}

bool CFirmware::OnCommand(const std::string& text, std::int64_t nowMs) {
    switch (ClassifyCommand(text)) {
        case FirmwareCommand::Identify:
            for (const std::string& line : IdentityLines()) {
                m_out.Line(line, nowMs + m_options.replyDelayMs);
            }
            return false;
        case FirmwareCommand::StartReport:
            if (!m_reporting) {
                m_reporting = true;
                m_report.Restart(nowMs);
                m_nextReportMs = nowMs + m_options.replyDelayMs;
            }
            return false;
        case FirmwareCommand::StopReport:
            m_reporting = false;
            return false;
        case FirmwareCommand::EnterBootLoader:
            return true;
        case FirmwareCommand::Unknown:
            return false;
    }
    return false;
}

void CFirmware::OnTime(std::int64_t nowMs) {
    if (!m_reporting) {
        return;
    }
    const std::int64_t period = std::max(1, m_options.reportPeriodMs);
    while (m_nextReportMs <= nowMs) {
        m_out.Line(m_report.NextLine(m_nextReportMs), m_nextReportMs);
        ++m_log.reportLines;
        m_nextReportMs += period;
    }
}

std::int64_t CFirmware::Deadline() const {
    return m_reporting ? m_nextReportMs : -1;
}

std::vector<std::string> CFirmware::IdentityLines() const {
    std::vector<std::string> lines;
    lines.push_back(Padded("deviceid " + m_options.deviceId));
    if (!m_options.omitBootLine) {
        lines.push_back(Padded("Boot " + m_options.bootVersion));
    }
    if (!m_options.omitVersionLine) {
        const char* prefix = m_options.lowerCaseVersionLine ? "v" : "V";
        lines.push_back(Padded(prefix + m_version + " Veltra charger"));
    }
    return lines;
}

std::string CFirmware::Padded(std::string line) const {
    if (m_options.longLines && line.size() + 1 < CVariableReport::kLongLine) {
        line += " " + std::string(CVariableReport::kLongLine - line.size() - 1, '-');
    }
    return line;
}

}  // namespace sim
