#include "records/ServiceRecord.h"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <ctime>

#include "records/JsonLine.h"

namespace records {
namespace {

std::string ImageJson(const ImageInfo& image) {
    char crc[8];
    std::snprintf(crc, sizeof crc, "%04X", image.crc);
    return CJsonLine()
        .Add("label", image.label)
        .Add("size", static_cast<long long>(image.size))
        .Add("crc", crc)
        .Add("path", image.path)
        .Text();
}

}  // namespace

const char* OutcomeName(Outcome outcome) {
    switch (outcome) {
        case Outcome::Upgraded:
            return "upgraded";
        case Outcome::Current:
            return "current";
        case Outcome::Read:
            return "read";
        case Outcome::Failed:
            break;
    }
    return "failed";
}

std::string ServiceRecordLine(const ServiceRecord& r) {
    CJsonLine line;
    line.Add("time", r.time)
        .Add("host", r.host)
        .Add("tool", r.tool)
        .Add("port", r.port)
        .Add("device", r.device)
        .Add("byId", r.byId)
        .Add("deviceId", r.deviceId)
        .Add("bootCode", r.bootCode)
        .Add("before", r.before)
        .Add("after", r.after)
        .AddRaw("image", ImageJson(r.image))
        .Add("blocks", r.blocks)
        .Add("resends", r.resends)
        .AddFixed1("seconds", r.seconds);
    if (!r.readBack) {
        line.Add("outcome", OutcomeName(r.outcome))
            .Add("reason", r.outcome == Outcome::Failed ? r.reason : std::string());
    } else {
        if (r.outcomeAsRead) {
            line.Add("outcome", *r.outcomeAsRead);
        }
        line.Add("reason", r.reason);
    }
    line.Add("identification", r.identification);
    if (r.simulated) {
        line.AddRaw("simulated", "true");
    }
    return line.Text();
}

ImageInfo ImageInfoOf(const CFirmwareImage& image) {
    ImageInfo info;
    info.label = image.Label();
    info.path = image.Path();
    info.size = image.Bytes().size();
    info.crc = image.HeaderCrc();
    return info;
}

std::string UtcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string HostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0) {
        return "";
    }
    return name;
}

}  // namespace records
