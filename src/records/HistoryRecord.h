// History record: what one Read or Upgrade did to one charger, as history
// reads it back from the journals.
//
// Principles of operation
//   Every front end appends one JSON line per outcome to records.jsonl; the
//   bench's older bench.jsonl and the single upgrades' older upgrade.log
//   hold the same facts in other shapes. RecordParser turns a line of any of
//   them into this one record, so filters, tables and exports see one shape.
//   `time` is seconds since the epoch (UTC) for sorting and filtering;
//   `timeText` is the same moment as ISO 8601 in UTC for output.
//
// Threads: value types and pure functions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace records {

struct HistoryRecord {
    std::int64_t time = 0;
    std::string timeText;  // "2026-12-07T20:12:40Z"
    std::string host;
    std::string tool;  // "window", "cli", "bench"; empty when the old line does not say
    std::string port;
    std::string device;
    std::string byId;
    std::string deviceId;
    std::string bootCode;
    std::string before;
    std::string after;
    std::string imageLabel;
    long long imageSize = 0;
    std::string imageCrc;
    std::string imagePath;
    long long blocks = 0;
    long long resends = 0;
    double seconds = 0;
    std::string outcome;     // "upgraded", "current", "read", "failed", or as the journal says
    bool hasOutcome = true;  // false: the journal's line named none
    std::string reason;
    std::vector<std::string> identification;
    bool simulated = false;
};

// The record as one line in the journal's own shape (no newline).
std::string RecordJson(const HistoryRecord& record);

// "2026-12-07T20:12:40Z" for seconds since the epoch.
std::string UtcText(std::int64_t time);
// "2026-12-07 21:12", local time, for tables.
std::string LocalMinuteText(std::int64_t time);
// "2.09 > 2.10e" when the upgrade changed the version, else the one found.
std::string VersionsText(const HistoryRecord& record);

}  // namespace records
