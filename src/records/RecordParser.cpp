#include "records/RecordParser.h"

#include <simdjson.h>

#include <cctype>
#include <ctime>

#include "protocol/DeviceIdLine.h"
#include "support/JsonQuote.h"

namespace records {
namespace {

constexpr std::string_view kRecordStart = "{\"time\"";

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

std::string String(simdjson::dom::element object, const char* key) {
    std::string_view text;
    return object[key].get(text) == simdjson::SUCCESS ? std::string(text) : std::string();
}

// A count of the record (0 when missing or no number); false for a number
// no long long holds ("blocks":1e19), which makes the line damaged: the
// conversion alone would be undefined.
bool Integer(simdjson::dom::element object, const char* key, long long& value) {
    value = 0;
    std::int64_t integer = 0;
    if (object[key].get(integer) == simdjson::SUCCESS) {
        value = integer;
        return true;
    }
    double number = 0;  // mutate: equivalent (get() sets it before any use)
    if (object[key].get(number) != simdjson::SUCCESS) {
        return true;
    }
    constexpr double kBound = 9223372036854775808.0;  // 2^63
    if (!(number >= -kBound && number < kBound)) {
        return false;
    }
    value = static_cast<long long>(number);
    return true;
}

double Number(simdjson::dom::element object, const char* key) {
    double number = 0;
    return object[key].get(number) == simdjson::SUCCESS ? number : 0;
}

// Whether the quote at text[at] ends or starts a string: it does unless an
// odd number of backslashes stands before it.
bool Unescaped(std::string_view text, std::size_t at) {
    std::size_t backslashes = 0;
    while (backslashes < at && text[at - 1 - backslashes] == '\\') {
        ++backslashes;
    }
    return backslashes % 2 == 0;
}

// Where the object that ends the line starts: the brace that matches its
// last one, found in one pass backwards. npos when the line (without
// trailing white space) does not end with a brace or it is not matched.
std::size_t LastObjectStart(std::string_view line) {
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) {
        line.remove_suffix(1);
    }
    if (line.empty() || line.back() != '}') {
        return std::string_view::npos;
    }
    std::size_t depth = 0;
    bool inString = false;
    for (std::size_t at = line.size(); at-- > 0;) {
        const char c = line[at];
        if (c == '"' && Unescaped(line, at)) {
            inString = !inString;
        } else if (!inString && (c == '}' || c == ']')) {
            ++depth;
        } else if (!inString && (c == '{' || c == '[') && --depth == 0) {
            return at;
        }
    }
    return std::string_view::npos;
}

bool IsBlank(std::string_view line) {
    for (const char c : line) {
        if (!std::isspace(static_cast<unsigned char>(c)) && c != '\0') {
            return false;
        }
    }
    return true;
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

struct CRecordParser::Impl {
    simdjson::dom::parser parser;
};

CRecordParser::CRecordParser() : m_impl(std::make_unique<Impl>()) {}

CRecordParser::~CRecordParser() = default;

LineResult CRecordParser::Parse(std::string_view line, ServiceRecord& record) {
    LineResult result;
    if (IsBlank(line)) {
        return result;
    }
    // Nearly every line is one whole record: parsed as it is, it needs no
    // search. Only the object that starts the line could end it then.
    const std::size_t first = line.find_first_not_of(" \t");
    if (line.substr(first).starts_with(kRecordStart) && ParseJson(line.substr(first), record)) {
        result.record = true;
        return result;
    }
    // A record runs to the end of its line, so of all the record starts in a
    // line (a stump's, those inside a record) only the one that opens the
    // line's last object can begin a whole record: it alone is parsed, and a
    // line full of record starts costs no more than its length. What stands
    // before it is damage only when it holds the stump of another record.
    const std::size_t start = LastObjectStart(line);
    if (start != std::string_view::npos && line.substr(start).starts_with(kRecordStart) &&
        ParseJson(line.substr(start), record)) {
        result.record = true;
        result.damaged = line.substr(0, start).find('{') != std::string_view::npos;
        return result;
    }
    result.record = (line[first] == '{' && ParseJson(line.substr(first), record)) ||
                    ParseKeyValues(line, record);
    result.damaged = !result.record;
    return result;
}

bool CRecordParser::ParseJson(std::string_view text, ServiceRecord& r) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    simdjson::dom::element object;
    auto error = m_impl->parser.parse(text.data(), text.size()).get(object);
    std::string repaired;
    if (error == simdjson::UTF8_ERROR) {
        repaired = RepairUtf8(std::string(text));
        error = m_impl->parser.parse(repaired).get(object);
    }
    if (error != simdjson::SUCCESS || !object.is_object()) {
        return false;
    }
    r = ServiceRecord();
    r.readBack = true;
    if (!ParseTime(String(object, "time"), r.when)) {
        return false;
    }
    r.time = UtcText(r.when);
    r.host = String(object, "host");
    r.tool = String(object, "tool");
    r.port = String(object, "port");
    r.device = String(object, "device");
    r.byId = String(object, "byId");
    r.deviceId = String(object, "deviceId");
    r.bootCode = String(object, "bootCode");
    r.before = String(object, "before");
    r.after = String(object, "after");
    if (!Integer(object, "blocks", r.blocks) || !Integer(object, "resends", r.resends)) {
        return false;
    }
    r.seconds = Number(object, "seconds");
    std::string_view outcome;
    if (object["outcome"].get(outcome) == simdjson::SUCCESS) {
        r.outcomeText = outcome;
    }
    r.reason = String(object, "reason");
    bool simulated = false;
    r.simulated = object["simulated"].get(simulated) == simdjson::SUCCESS && simulated;
    simdjson::dom::element image;
    if (object["image"].get(image) == simdjson::SUCCESS) {
        r.image.label = String(image, "label");
        if (!Integer(image, "size", r.image.size)) {
            return false;
        }
        r.image.crc = String(image, "crc");
        r.image.path = String(image, "path");
    }
    simdjson::dom::array lines;
    if (object["identification"].get(lines) == simdjson::SUCCESS) {
        for (simdjson::dom::element line : lines) {
            std::string_view lineText;
            if (line.get(lineText) == simdjson::SUCCESS) {
                r.identification.emplace_back(lineText);
            }
        }
    }
    // bench.jsonl is the one journal without the tool; an empty one (an
    // upgrade.log record written back by --json) stays unknown.
    if (object["tool"].error() == simdjson::NO_SUCH_FIELD) {
        r.tool = "bench";
    }
    if (r.deviceId.empty()) {
        r.deviceId = DeviceIdFrom(r.identification);
    }
    return true;
}

// 2024-05-01T09:30:00+0200 port="COM2" device="/dev/ttyUSB0" image="2.10e"
// bytes=12810 crc=1D0F file=- before=2.09 after=2.10e blocks=101 resends=4
// outcome="Upgrade Successful"; "-" stands for an empty unquoted value.
bool CRecordParser::ParseKeyValues(std::string_view line, ServiceRecord& r) {
    r = ServiceRecord();
    r.readBack = true;
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos || !ParseTime(line.substr(0, space), r.when) ||
        line.find(" port=") == std::string_view::npos) {
        return false;
    }
    r.time = UtcText(r.when);
    std::string outcomeText;
    std::size_t at = space;
    while (at < line.size()) {
        while (at < line.size() && line[at] == ' ') {
            ++at;
        }
        const std::size_t equals = line.find('=', at);
        if (at >= line.size() || equals == std::string_view::npos) {
            break;
        }
        const std::string_view key = line.substr(at, equals - at);
        std::string value;
        at = equals + 1;
        if (at < line.size() && line[at] == '"') {
            std::size_t end = at + 1;
            while (end < line.size() && line[end] != '"') {
                end += line[end] == '\\' ? 2 : 1;
            }
            if (end >= line.size() || !Unquote(line.substr(at, end + 1 - at), value)) {
                return false;
            }
            at = end + 1;
        } else {
            const std::size_t end = std::min(line.find(' ', at), line.size());
            value = RepairUtf8(std::string(line.substr(at, end - at)));
            value = value == "-" ? std::string() : value;
            at = end;
        }
        if (key == "port") {
            r.port = value;
        } else if (key == "device") {
            r.device = value;
        } else if (key == "image") {
            r.image.label = value;
        } else if (key == "bytes") {
            r.image.size = std::atoll(value.c_str());
        } else if (key == "crc") {
            r.image.crc = value;
        } else if (key == "file") {
            r.image.path = value;
        } else if (key == "before") {
            r.before = value;
        } else if (key == "after") {
            r.after = value;
        } else if (key == "blocks") {
            r.blocks = std::atoll(value.c_str());
        } else if (key == "resends") {
            r.resends = std::atoll(value.c_str());
        } else if (key == "outcome") {
            outcomeText = value;
        }
    }
    // The window's and the command line's verdict texts.
    const bool upgraded = outcomeText == "Upgrade Successful";
    r.outcomeText = upgraded ? "upgraded" : "failed";
    r.reason = upgraded ? std::string() : outcomeText;
    r.simulated = r.port == "simulated";
    return true;
}

bool CRecordParser::Unquote(std::string_view quoted, std::string& text) {
    std::string_view value;
    std::string repaired = RepairUtf8(std::string(quoted));
    if (m_impl->parser.parse(repaired).get(value) != simdjson::SUCCESS) {
        return false;
    }
    text = std::string(value);
    return true;
}

}  // namespace records
