#include "support/SessionLog.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "support/JsonQuote.h"

namespace {

std::string NowIso8601() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
    return text;
}

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

bool AppendSessionLog(const UpgradeRecord& record, std::string& message) {
    const std::filesystem::path path = SessionLogPath();
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::app);
    out << FormatSessionLine(record, NowIso8601()) << '\n';
    out.flush();
    if (!out) {
        message = "Could not write the session log " + path.string() + ".";
        return false;
    }
    return true;
}
