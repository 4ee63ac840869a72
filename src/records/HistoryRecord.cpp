#include "records/HistoryRecord.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "records/ServiceRecord.h"

namespace records {

std::string UtcText(std::int64_t time) {
    const std::time_t t = static_cast<std::time_t>(time);
    std::tm utc{};
    ::gmtime_r(&t, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string LocalMinuteText(std::int64_t time) {
    const std::time_t t = static_cast<std::time_t>(time);
    std::tm local{};
    ::localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
    return text;
}

std::string VersionsText(const HistoryRecord& r) {
    if (r.after.empty() || r.after == r.before) {
        return r.before;
    }
    return (r.before.empty() ? "none" : r.before) + " > " + r.after;
}

// Written back through the journal's own writer, so --json keeps its shape.
std::string RecordJson(const HistoryRecord& r) {
    ServiceRecord s;
    s.time = r.timeText;
    s.host = r.host;
    s.tool = r.tool;
    s.port = r.port;
    s.device = r.device;
    s.byId = r.byId;
    s.deviceId = r.deviceId;
    s.bootCode = r.bootCode;
    s.before = r.before;
    s.after = r.after;
    s.image.label = r.imageLabel;
    s.image.size = static_cast<std::size_t>(std::max(0LL, r.imageSize));
    s.image.crc = static_cast<std::uint16_t>(std::strtoul(r.imageCrc.c_str(), nullptr, 16));
    s.image.path = r.imagePath;
    s.blocks = r.blocks;
    s.resends = r.resends;
    s.seconds = r.seconds;
    // What the journal said, not what Outcome can name: "exploded" stays
    // itself, and a line without an outcome gets none.
    s.readBack = true;
    if (r.hasOutcome) {
        s.outcomeAsRead = r.outcome;
    }
    s.reason = r.reason;
    s.identification = r.identification;
    s.simulated = r.simulated;
    return ServiceRecordLine(s);
}

}  // namespace records
