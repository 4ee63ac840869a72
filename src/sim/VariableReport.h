// Variable report: the firmware's telemetry line.
//
// Principles of operation
//   Once asked with "/011", the firmware sends a line of 17 comma-separated
//   fields at a steady period, in the order of the monitor's table: battery
//   present, radio detected, charge phase, system state (hex), trim pot
//   (hex), battery temperature, average temperature, gas gauge (hex), NAC
//   (hex), VSB, average VSB, charge time, charger temperature, charge
//   current, a status word, battery voltage, supply voltage. Floats carry two
//   decimals. The values follow one slow charge: the voltage climbs in the
//   constant-current phase until it reaches 14.40 V, then the current falls
//   in the constant-voltage phase; temperatures and the gas gauge creep up.
//
//   The report faults (fewer fields, adjacent commas, text without
//   hexadecimal digits in the gas-gauge field) hit every n-th line; long
//   lines are padded with one extra field to 300 characters.
//
// Threads: used under the simulator's lock only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/SimOptions.h"

namespace sim {

class CVariableReport {
public:
    static constexpr int kFieldCount = 17;
    static constexpr std::size_t kLongLine = 300;

    explicit CVariableReport(const SimOptions& options);

    // The charge the report follows starts at nowMs.
    void Restart(std::int64_t nowMs);
    // The next line, without its line end.
    std::string NextLine(std::int64_t nowMs);
    // The 17 field texts at the given seconds into the charge.
    static std::vector<std::string> Fields(double seconds);

private:
    void ApplyFault(std::vector<std::string>& fields) const;

    ReportFault m_fault;
    int m_faultEvery;
    bool m_longLines;
    std::int64_t m_startMs = 0;
    int m_lines = 0;
};

}  // namespace sim
