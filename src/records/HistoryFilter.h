// History filter: which service records a question is about.
//
// Principles of operation
//   The command line's and the window's filters in one place: the charger
//   (a part of its device ID is enough, any letter case), the port (as it
//   was given, the device it led to, or its by-id name), the bench slot's
//   label (exactly), a first moment, and the outcomes. An empty filter lets
//   every record through.
//   ParseSince reads --since: a date or time (ParseTime) or a span back from
//   now ("7d", "12h", "30m", "2w").
//
// Threads: value types and pure functions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "records/ServiceRecord.h"

namespace records {

struct HistoryFilter {
    std::string deviceId;
    std::string port;
    std::optional<std::int64_t> since;  // seconds since the epoch
    std::vector<std::string> outcomes;  // empty: all
    std::string slot;                   // the label exactly; empty: all

    bool Matches(const ServiceRecord& record) const;
};

// false when `text` is neither a date nor a span; `now` in epoch seconds.
bool ParseSince(const std::string& text, std::int64_t now, std::int64_t& since);

}  // namespace records
