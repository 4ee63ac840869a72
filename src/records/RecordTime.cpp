#include "records/RecordTime.h"

#include <cctype>
#include <ctime>

namespace records {
namespace {

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
constexpr std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// Times are written back as "YYYY-MM-DDThh:mm:ssZ": a moment outside the
// years 1000 to 9999 (UTC) would come out in another form that no reader,
// this one included, takes for a time.
constexpr std::int64_t kFirstTime = DaysFromCivil(1000, 1, 1) * 86400;
constexpr std::int64_t kEndTime = DaysFromCivil(10000, 1, 1) * 86400;

// The days of a month in the proleptic Gregorian calendar.
int DaysInMonth(int year, int month) {
    if (month == 2) {
        const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        return leap ? 29 : 28;
    }
    return month == 4 || month == 6 || month == 9 || month == 11 ? 30 : 31;
}

bool Writable(std::int64_t time) {
    return time >= kFirstTime && time < kEndTime;
}

// Reads `count` digits at text[at]; false when they are not all there.
bool Digits(std::string_view text, std::size_t& at, std::size_t count, int& value) {
    value = 0;
    for (std::size_t i = 0; i < count; ++i, ++at) {
        if (at >= text.size() || !std::isdigit(static_cast<unsigned char>(text[at]))) {
            return false;
        }
        value = value * 10 + (text[at] - '0');
    }
    return true;
}

bool Skip(std::string_view text, std::size_t& at, char c) {
    if (at < text.size() && text[at] == c) {
        ++at;
        return true;
    }
    return false;
}

// "Z", "+hh", "+hhmm", "+hh:mm" at text[at] (the whole rest); seconds east.
bool ParseZone(std::string_view text, std::size_t at, int& offset) {
    if (text.substr(at) == "Z") {
        offset = 0;
        return true;
    }
    const bool east = text[at] == '+';
    if (!east && text[at] != '-') {
        return false;
    }
    ++at;
    int hours = 0, minutes = 0;
    if (!Digits(text, at, 2, hours)) {
        return false;
    }
    Skip(text, at, ':');
    if (at < text.size() && !Digits(text, at, 2, minutes)) {
        return false;
    }
    offset = (east ? 1 : -1) * (hours * 3600 + minutes * 60);
    return at == text.size() && hours <= 23 && minutes <= 59;
}

// The form UtcText writes, with a second that is no leap second: ParseTime
// has read it, so its fields are in range, and UtcText would give it back.
bool IsUtcForm(std::string_view text) {
    return text.size() == 20 && text[4] == '-' && text[7] == '-' && text[10] == 'T' &&
           text[13] == ':' && text[16] == ':' && text[19] == 'Z' && text.substr(17, 2) != "60";
}

// Two digits of a number below 100.
void Put2(char* at, int value) {
    at[0] = static_cast<char>('0' + value / 10);
    at[1] = static_cast<char>('0' + value % 10);
}

// "2026-12-07T20:12:40Z" or, local, "2026-12-07 21:12", as strftime
// writes them with "%Y-%m-%dT%H:%M:%SZ" and "%Y-%m-%d %H:%M", made by hand
// for a four-digit year: a year of records shows as many times.
std::string TimeText(std::int64_t time, bool local) {
    const std::time_t t = static_cast<std::time_t>(time);
    std::tm parts{};
    if (local) {
        ::localtime_r(&t, &parts);
    } else {
        ::gmtime_r(&t, &parts);
    }
    const int year = parts.tm_year + 1900;
    if (year < 1000 || year > 9999) {
        char text[64];  // mutate: equivalent (room to spare for any year strftime writes)
        if (local) {
            std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &parts);
        } else {
            std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
        }
        return text;
    }
    char text[] = "0000-00-00T00:00:00Z";
    Put2(text, year / 100);
    Put2(text + 2, year % 100);
    Put2(text + 5, parts.tm_mon + 1);
    Put2(text + 8, parts.tm_mday);
    Put2(text + 11, parts.tm_hour);
    Put2(text + 14, parts.tm_min);
    if (local) {
        text[10] = ' ';
        return std::string(text, 16);
    }
    Put2(text + 17, parts.tm_sec);
    return text;
}

}  // namespace

bool ParseTime(std::string_view text, std::int64_t& time) {
    std::size_t at = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!Digits(text, at, 4, year) || !Skip(text, at, '-') || !Digits(text, at, 2, month) ||
        !Skip(text, at, '-') || !Digits(text, at, 2, day) || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month)) {
        return false;  // mktime would roll February 30 over into March
    }
    if (at < text.size() && (text[at] == 'T' || text[at] == ' ')) {
        ++at;
        if (!Digits(text, at, 2, hour) || !Skip(text, at, ':') || !Digits(text, at, 2, minute) ||
            hour > 23 || minute > 59) {
            return false;
        }
        if (Skip(text, at, ':') && (!Digits(text, at, 2, second) || second > 60)) {
            return false;
        }
        if (Skip(text, at, '.')) {
            while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) {
                ++at;
            }
        }
    }
    if (at == text.size()) {  // local time
        std::tm local{};
        local.tm_year = year - 1900;
        local.tm_mon = month - 1;
        local.tm_mday = day;
        local.tm_hour = hour;
        local.tm_min = minute;
        local.tm_sec = second;
        local.tm_isdst = -1;
        time = std::mktime(&local);
        return Writable(time);
    }
    int offset = 0;
    if (!ParseZone(text, at, offset)) {
        return false;
    }
    time = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
           hour * 3600 + minute * 60 + second - offset;
    return Writable(time);
}

bool NormalizeTime(std::string& text, std::int64_t& time) {
    if (!ParseTime(text, time)) {
        return false;
    }
    if (!IsUtcForm(text)) {
        text = UtcText(time);
    }
    return true;
}

std::string UtcText(std::int64_t time) {
    return TimeText(time, false);
}

std::string LocalMinuteText(std::int64_t time) {
    return TimeText(time, true);
}

}  // namespace records
