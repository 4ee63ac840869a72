#include "bench/HistoryRecord.h"

#include <cstdio>
#include <ctime>

#include "bench/JsonLine.h"

namespace bench {

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

std::string RecordJson(const HistoryRecord& r) {
    const std::string image = CJsonLine()
                                  .Add("label", r.imageLabel)
                                  .Add("size", r.imageSize)
                                  .Add("crc", r.imageCrc)
                                  .Add("path", r.imagePath)
                                  .Text();
    CJsonLine line;
    line.Add("time", r.timeText)
        .Add("host", r.host)
        .Add("tool", r.tool)
        .Add("port", r.port)
        .Add("device", r.device)
        .Add("byId", r.byId)
        .Add("deviceId", r.deviceId)
        .Add("bootCode", r.bootCode)
        .Add("before", r.before)
        .Add("after", r.after)
        .AddRaw("image", image)
        .Add("blocks", r.blocks)
        .Add("resends", r.resends)
        .AddFixed1("seconds", r.seconds)
        .Add("outcome", r.outcome)
        .Add("reason", r.reason)
        .Add("identification", r.identification);
    if (r.simulated) {
        line.AddRaw("simulated", "true");
    }
    return line.Text();
}

}  // namespace bench
