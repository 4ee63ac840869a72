// One journal line as history reads it: the record parser, the record
// written back as --json writes it and read again, the filters on the
// record, and the same text as a --since value.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>

#include "FuzzCheck.h"
#include "records/HistoryFilter.h"
#include "records/RecordParser.h"

namespace {

using records::ServiceRecord;

// What --json keeps of a record: everything but the seconds (one decimal).
// The image's CRC and size, the outcome and the reason are kept as read,
// also an outcome the journal writer has no name for, and a missing outcome
// stays missing.
auto Kept(const ServiceRecord& r) {
    return std::tie(r.when, r.time, r.host, r.tool, r.port, r.device, r.byId, r.deviceId,
                    r.bootCode, r.before, r.after, r.image.label, r.image.path, r.image.size,
                    r.image.crc, r.blocks, r.resends, r.outcomeText, r.reason, r.identification,
                    r.simulated, r.slot, r.readBack);
}

void WrittenBack(records::CRecordParser& parser, const ServiceRecord& r) {
    const std::string line = records::ServiceRecordLine(r);
    ServiceRecord again;
    const records::LineResult result = parser.Parse(line, again);
    fuzz::Require(result.record && !result.damaged, "a record written back reads back whole");
    fuzz::Require(Kept(again) == Kept(r), "a record written back reads back the same");
}

void Filtered(const ServiceRecord& r) {
    fuzz::Require(records::HistoryFilter{}.Matches(r), "an empty filter lets every record through");
    records::HistoryFilter filter;
    filter.deviceId = r.deviceId.substr(r.deviceId.size() / 2);
    for (char& c : filter.deviceId) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    filter.port = r.port;
    filter.since = r.when;
    filter.outcomes = {std::string(records::OutcomeText(r))};
    filter.slot = r.slot;
    fuzz::Require(filter.Matches(r), "a record matches its own device ID part, port and time");
    filter.since = r.when + 1;
    fuzz::Require(!filter.Matches(r), "a record before the first moment is left out");
    // A by-id name is a file name; a path is matched by its last part.
    if (!r.byId.empty() && r.byId.find('/') == std::string::npos) {
        const records::HistoryFilter byId{"", "/dev/serial/by-id/" + r.byId, {}, {}, {}};
        fuzz::Require(byId.Matches(r), "a record matches its port's by-id path");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    records::CRecordParser parser;
    ServiceRecord record;
    const records::LineResult result = parser.Parse(line, record);
    if (result.record) {
        std::int64_t time = 0;
        fuzz::Require(records::ParseTime(record.time, time) && time == record.when,
                      "a record's time text reads back as its time");
        WrittenBack(parser, record);
        Filtered(record);
    }
    std::int64_t since = 0;
    if (records::ParseSince(std::string(line), 1'800'000'000, since)) {
        static_cast<void>(records::UtcText(since));
    }
    return 0;
}
