#include "sim/VariableReport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace sim {

namespace {

constexpr double kFullVoltage = 14.40;
constexpr double kStartVoltage = 12.10;
constexpr double kVoltsPerSecond = 0.004;
constexpr double kBulkCurrent = 4.50;
constexpr double kTrickleCurrent = 0.20;
constexpr int kGasGaugeField = 7;
constexpr int kGapAfterField = 5;

std::string Decimal(long value) {
    return std::to_string(value);
}

std::string Hex(unsigned value, int width) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", width, value);
    return text;
}

std::string Float(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

std::string Join(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        line += (i == 0 ? "" : ",") + fields[i];
    }
    return line;
}

}  // namespace

CVariableReport::CVariableReport(const SimOptions& options)
    : m_fault(options.reportFault),
      m_faultEvery(std::max(1, options.reportFaultEvery)),
      m_longLines(options.longLines) {}

void CVariableReport::Restart(std::int64_t nowMs) {
    m_startMs = nowMs;
    m_lines = 0;
}

std::vector<std::string> CVariableReport::Fields(double seconds) {
    const double t = std::max(0.0, seconds);
    const double fullAt = (kFullVoltage - kStartVoltage) / kVoltsPerSecond;
    const bool constantVoltage = t >= fullAt;
    const double voltage = std::min(kFullVoltage, kStartVoltage + kVoltsPerSecond * t);
    const double current = constantVoltage
                               ? std::max(kTrickleCurrent, kBulkCurrent - 0.01 * (t - fullAt))
                               : kBulkCurrent + 0.05 * std::sin(t / 7.0);
    const unsigned gas = static_cast<unsigned>(std::min(100.0, 20.0 + t / 10.0));
    return {
        Decimal(1),                               // battery present
        Decimal(1),                               // radio detected
        Decimal(constantVoltage ? 1 : 0),         // charge phase
        Hex(constantVoltage ? 0x23U : 0x22U, 0),  // system state
        Hex(static_cast<unsigned>(0x80 + std::lround(3 * std::sin(t / 30.0))), 0),  // trim pot
        Decimal(std::min(40L, 24 + static_cast<long>(t / 60))),                     // battery temp
        Float(std::min(40.0, 24.0 + t / 75.0) + 0.1 * std::sin(t / 9.0)),           // average temp
        Hex(gas, 0),                                                                // gas gauge
        Hex(gas * 36, 4),                                                           // NAC
        Float(voltage + 0.05 * std::sin(t / 5.0)),                                  // VSB
        Float(voltage),                                                             // average VSB
        Decimal(static_cast<long>(t)),                                              // charge time
        Float(std::min(45.0, 31.5 + t / 120.0) + 0.2 * std::sin(t / 11.0)),         // charger temp
        Float(current),                          // charge current
        "OK",                                    // status word
        Float(voltage - 0.02),                   // battery voltage
        Float(24.0 + 0.05 * std::sin(t / 3.0)),  // supply voltage
    };
}

std::string CVariableReport::NextLine(std::int64_t nowMs) {
    std::vector<std::string> fields = Fields(static_cast<double>(nowMs - m_startMs) / 1000.0);
    if (m_fault != ReportFault::None && ++m_lines % m_faultEvery == 0) {
        ApplyFault(fields);
    }
    std::string line = Join(fields);
    if (m_longLines && line.size() + 1 < kLongLine) {
        line += "," + std::string(kLongLine - line.size() - 1, '0');
    }
    return line;
}

void CVariableReport::ApplyFault(std::vector<std::string>& fields) const {
    switch (m_fault) {
        case ReportFault::FewerFields:
            fields.pop_back();
            break;
        case ReportFault::AdjacentCommas:
            fields.insert(fields.begin() + kGapAfterField + 1, std::string());
            break;
        case ReportFault::NonHexField:
            fields[kGasGaugeField] = "zz";
            break;
        case ReportFault::None:
            break;
    }
}

}  // namespace sim
