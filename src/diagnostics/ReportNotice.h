// Report notice: what the monitors say when the charger's values are not
// fresh, so that zeros or old values are not taken for readings.
//
// Principles of operation
//   Until the first report that could be read the notice is "Waiting for the
//   charger's report"; once reports have come, it stays empty while they keep
//   coming and becomes "No report since hh:mm:ss" (the local time of the last
//   one) when none has come for kStaleMs. Ages are measured on the monotonic
//   clock the caller passes in; only the time shown is wall time.
//
// Threads: the owner's thread.
#pragma once

#include <cstdint>
#include <string>

#include "diagnostics/WallTime.h"

class CReportNotice {
public:
    static constexpr std::uint32_t kStaleMs = 3000;
    static constexpr const char* kWaiting = "Waiting for the charger's report";

    // Back to waiting for the first report.
    void Reset() { m_reported = false; }
    void OnReport(std::uint32_t nowMs, WallTimePoint when);
    // Empty while reports are fresh.
    std::string Text(std::uint32_t nowMs) const;
    bool HasReport() const { return m_reported; }

private:
    bool m_reported = false;
    std::uint32_t m_lastMs = 0;
    WallTimePoint m_lastWall;
};
