#include "cli/station/StationRecords.h"

#include <charconv>
#include <ctime>

#include "cli/station/StationBoard.h"
#include "records/HistoryCsv.h"
#include "records/HistoryReader.h"

namespace station {
namespace {

constexpr long long kDefaultLimit = 1000;
constexpr long long kMaxLimit = 5000;

std::int64_t Now(const RecordSource& source) {
    return source.now ? source.now() : static_cast<std::int64_t>(std::time(nullptr));
}

// Opens the journals; one that cannot be read is left out (the page shows
// what there is; the command line's history says what failed).
void Open(const RecordSource& source, records::CHistoryReader& reader) {
    const auto paths = source.journals ? source.journals() : records::LocalJournals();
    for (const auto& path : paths) {
        std::string ignored;
        reader.AddFile(path, ignored);
    }
}

records::CReverseLineReader::StopCheck StopOf(const RecordSource& source) {
    return source.stop ? records::CReverseLineReader::StopCheck(source.stop)
                       : records::CReverseLineReader::StopCheck();
}

bool ParseLimit(const std::string& text, long long& limit) {
    const char* end = text.data() + text.size();
    const auto [at, problem] = std::from_chars(text.data(), end, limit);
    return problem == std::errc() && at == end && limit >= 1 && limit <= kMaxLimit;
}

bool Filter(const RecordSource& source, const std::map<std::string, std::string>& query,
            records::HistoryFilter& filter, long long& limit, std::string& error) {
    for (const auto& [key, value] : query) {
        if (key == "since") {
            std::int64_t since = 0;
            if (!records::ParseSince(value, Now(source), since)) {
                error = "since is neither a date like 2026-12-01 nor a span like 7d";
                return false;
            }
            filter.since = since;
        } else if (key == "device") {
            filter.deviceId = value;
        } else if (key == "port") {
            filter.port = value;
        } else if (key == "outcome") {
            filter.outcomes.push_back(value);
        } else if (key == "limit") {
            if (!ParseLimit(value, limit)) {
                error = "limit is a number from 1 to 5000";
                return false;
            }
        } else {
            error = "unknown parameter (known: since, device, port, outcome, limit)";
            return false;
        }
    }
    return true;
}

records::HistoryFilter Today(const RecordSource& source) {
    records::HistoryFilter filter;
    filter.since = StartOfToday(Now(source));
    return filter;
}

}  // namespace

std::int64_t StartOfToday(std::int64_t now) {
    const std::time_t t = static_cast<std::time_t>(now);
    std::tm local{};
    localtime_r(&t, &local);
    local.tm_hour = local.tm_min = local.tm_sec = 0;
    local.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&local));
}

bool RecordsJson(const RecordSource& source, const std::map<std::string, std::string>& query,
                 std::string& json, std::string& error) {
    records::HistoryFilter filter;
    long long limit = kDefaultLimit;
    if (!Filter(source, query, filter, limit, error)) {
        return false;
    }
    records::CHistoryReader reader(filter, StopOf(source));
    Open(source, reader);
    json = "[";
    records::ServiceRecord record;
    for (long long n = 0; n < limit && reader.Next(record); ++n) {
        json += (n > 0 ? "," : "") + records::ServiceRecordLine(record);
    }
    json = PageSafeJson(json + "]");
    return true;
}

std::string TodayCsv(const RecordSource& source) {
    records::CHistoryReader reader(Today(source), StopOf(source));
    Open(source, reader);
    std::string csv = records::CsvHeader();
    records::ServiceRecord record;
    while (reader.Next(record)) {
        csv += records::CsvRow(record);
    }
    return csv;
}

std::map<std::string, long long> TodayTally(const RecordSource& source) {
    std::map<std::string, long long> tally = {
        {"upgraded", 0}, {"current", 0}, {"read", 0}, {"failed", 0}};
    records::CHistoryReader reader(Today(source), StopOf(source));
    Open(source, reader);
    records::ServiceRecord record;
    while (reader.Next(record)) {
        const auto counted = tally.find(std::string(records::OutcomeText(record)));
        if (record.simulated == source.simulated && counted != tally.end()) {
            ++counted->second;
        }
    }
    return tally;
}

}  // namespace station
