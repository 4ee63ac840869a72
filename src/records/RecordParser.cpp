#include "records/RecordParser.h"

#include <simdjson.h>

#include <cctype>

#include "records/RecordMembers.h"
#include "support/JsonQuote.h"

namespace records {
namespace {

constexpr std::string_view kRecordStart = "{\"time\"";

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
    simdjson::dom::object object;
    auto error = m_impl->parser.parse(text.data(), text.size()).get(object);
    std::string repaired;
    if (error == simdjson::UTF8_ERROR) {
        repaired = RepairUtf8(std::string(text));
        error = m_impl->parser.parse(repaired).get(object);
    }
    if (error != simdjson::SUCCESS) {
        return false;
    }
    return ReadMembers(object, r);
}

// 2024-05-01T09:30:00+0200 port="COM2" device="/dev/ttyUSB0" image="2.10e"
// bytes=12810 crc=1D0F file=- before=2.09 after=2.10e blocks=101 resends=4
// outcome="Upgrade Successful"; "-" stands for an empty unquoted value.
bool CRecordParser::ParseKeyValues(std::string_view line, ServiceRecord& r) {
    ResetReadBack(r);
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos || line.find(" port=") == std::string_view::npos) {
        return false;
    }
    r.time.assign(line.substr(0, space));
    if (!NormalizeTime(r.time, r.when)) {
        return false;
    }
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
