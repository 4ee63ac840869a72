// Station records: the service records as the station's page asks for
// them, read with the same reader as `corvane-cli history`.
//
// Principles of operation
//   /api/records lists records newest first, each in the journal's own
//   shape as `history --json` prints it, as one JSON array; the query
//   filters as history's options do (since, device, port, outcome) and
//   `limit` bounds the answer (default 1000, at most 5000), so no request
//   makes the station read or send a year of records at once. /api/records.csv
//   is today's records as `history --csv` writes them. The day's tally
//   counts today's records per outcome: records of simulated chargers
//   count only on a simulated station, and the other way round, so a
//   demonstration never mixes with a bench's real work.
//
//   A stop check is asked between blocks, so a huge journal cannot hold the
//   server thread for long once the station stops.
//
// Threads: any thread; each call reads the journals afresh.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace station {

struct RecordSource {
    // The journals to read; null: this PC's (records::LocalJournals).
    std::function<std::vector<std::string>()> journals;
    // The current time in epoch seconds; null: the system's.
    std::function<std::int64_t()> now;
    std::function<bool()> stop;
    bool simulated = false;  // the station serves simulated chargers
};

// The records the query asks for, as a JSON array; false with the reason
// in error when the query is not understood.
bool RecordsJson(const RecordSource& source, const std::map<std::string, std::string>& query,
                 std::string& json, std::string& error);
// Today's records as CSV with its header row.
std::string TodayCsv(const RecordSource& source);
// Today's records per outcome ("upgraded", "current", "read", "failed").
std::map<std::string, long long> TodayTally(const RecordSource& source);
// The first second of today, local time.
std::int64_t StartOfToday(std::int64_t now);

}  // namespace station
