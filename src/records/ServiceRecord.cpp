#include "records/ServiceRecord.h"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <ctime>

#include "records/JsonLine.h"
#include "records/RecordTime.h"

namespace records {
namespace {

std::string ImageJson(const ImageInfo& image) {
    return CJsonLine()
        .Add("label", image.label)
        .Add("size", image.size)
        .Add("crc", image.crc)
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

std::string_view OutcomeText(const ServiceRecord& r) {
    if (r.outcomeText) {
        return *r.outcomeText;
    }
    return r.readBack ? std::string_view() : OutcomeName(r.outcome);
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
    // A record read back keeps what its line said: "exploded" stays itself,
    // a line without an outcome gets none, and the reason stays as read.
    if (r.outcomeText || !r.readBack) {
        line.Add("outcome", std::string(OutcomeText(r)));
    }
    const bool reason = r.readBack || r.outcome == Outcome::Failed;
    line.Add("reason", reason ? r.reason : std::string());
    line.Add("identification", r.identification);
    if (r.simulated) {
        line.AddRaw("simulated", "true");
    }
    if (!r.slot.empty()) {
        line.Add("slot", r.slot);
    }
    return line.Text();
}

ImageInfo ImageInfoOf(const CFirmwareImage& image) {
    ImageInfo info;
    info.label = image.Label();
    info.path = image.Path();
    info.size = static_cast<long long>(image.Bytes().size());
    char crc[8];
    std::snprintf(crc, sizeof crc, "%04X", image.HeaderCrc());
    info.crc = crc;
    return info;
}

std::string UtcNow() {
    return UtcText(std::time(nullptr));
}

std::string VersionsText(const ServiceRecord& r) {
    if (r.after.empty() || r.after == r.before) {
        return r.before;
    }
    return (r.before.empty() ? "none" : r.before) + " > " + r.after;
}

std::string HostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0) {
        return "";
    }
    return name;
}

}  // namespace records
