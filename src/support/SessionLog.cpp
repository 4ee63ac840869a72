#include "support/SessionLog.h"

#include <cstdlib>

#include "support/JsonQuote.h"

namespace {

std::string Field(const std::string& value) {
    return value.empty() ? "-" : value;
}

}  // namespace

std::string StateFilePath(const std::string& name) {
    const char* state = std::getenv("XDG_STATE_HOME");
    std::string base;
    if (state != nullptr && state[0] == '/') {
        base = state;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home != nullptr ? home : "") + "/.local/state";
    }
    return base + "/corvane/" + name;
}

std::string SessionLogPath() {
    return StateFilePath("upgrade.log");
}

std::string FormatSessionLine(const UpgradeRecord& record, const std::string& isoTime) {
    return isoTime + " port=" + JsonQuote(record.port) + " device=" + JsonQuote(record.device) +
           " image=" + JsonQuote(record.imageLabel) +
           " bytes=" + std::to_string(record.imageBytes) + " crc=" + Field(record.imageCrc) +
           " file=" + (record.imagePath.empty() ? "-" : JsonQuote(record.imagePath)) +
           " before=" + Field(record.versionBefore) + " after=" + Field(record.versionAfter) +
           " blocks=" + std::to_string(record.blocks) +
           " resends=" + std::to_string(record.resends) + " outcome=" + JsonQuote(record.outcome);
}
