#include "diagnostics/WallTime.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

struct LocalTime {
    std::tm fields{};
    long milliseconds = 0;
};

LocalTime Split(WallTimePoint when) {
    using namespace std::chrono;
    const auto sinceEpoch = duration_cast<milliseconds>(when.time_since_epoch()).count();
    // Floor division, so times before 1970 still give 0..999 milliseconds.
    long long seconds = sinceEpoch / 1000;
    long long millis = sinceEpoch % 1000;
    if (millis < 0) {
        millis += 1000;
        --seconds;
    }
    LocalTime local;
    const std::time_t time = static_cast<std::time_t>(seconds);
    ::localtime_r(&time, &local.fields);
    local.milliseconds = static_cast<long>(millis);
    return local;
}

}  // namespace

WallTimePoint SystemWallTime() {
    return std::chrono::system_clock::now();
}

std::string IsoTimestamp(WallTimePoint when) {
    const LocalTime local = Split(when);
    const std::tm& t = local.fields;
    const long offsetMinutes = t.tm_gmtoff / 60;
    const long absolute = std::labs(offsetMinutes);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03ld%c%02ld:%02ld",
                  t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                  local.milliseconds, offsetMinutes < 0 ? '-' : '+', absolute / 60, absolute % 60);
    return text;
}

std::string ClockTime(WallTimePoint when) {
    const std::tm t = Split(when).fields;
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}
