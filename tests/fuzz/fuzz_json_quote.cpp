// JSON quoting of any bytes, alone and inside the lines the journal's writer
// (CJsonLine) and --json (CJson) build: what is written must read back, with
// the reader history uses, as the text with its stray bytes replaced.
#include <simdjson.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "cli/Json.h"
#include "records/JsonLine.h"
#include "support/JsonQuote.h"

namespace {

simdjson::dom::element Parsed(simdjson::dom::parser& parser, const std::string& json) {
    simdjson::dom::element element;
    fuzz::Require(parser.parse(json).get(element) == simdjson::SUCCESS, "what is written is JSON");
    return element;
}

std::string_view Text(simdjson::dom::element element) {
    std::string_view text;
    fuzz::Require(element.get(text) == simdjson::SUCCESS, "a quoted text reads as a string");
    return text;
}

// Eight bytes of the input as a number, zero where the input is shorter.
long long Number(const std::string& text) {
    long long number = 0;
    std::memcpy(&number, text.data(), std::min(text.size(), sizeof number));
    return number;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string repaired = RepairUtf8(text);
    fuzz::Require(simdjson::validate_utf8(repaired), "a repaired text is UTF-8");
    fuzz::Require(RepairUtf8(repaired) == repaired, "a repaired text needs no more repair");

    simdjson::dom::parser parser;
    fuzz::Require(Text(Parsed(parser, JsonQuote(text))) == repaired,
                  "a quoted text reads back as the repaired text");

    const long long number = Number(text);
    const std::string line = records::CJsonLine()
                                 .Add("text", text)
                                 .Add("n", number)
                                 .Add("lines", std::vector<std::string>{text, repaired})
                                 .Text();
    const simdjson::dom::element object = Parsed(parser, line);
    fuzz::Require(Text(object["text"]) == repaired, "a member's text reads back");
    std::int64_t n = 0;
    fuzz::Require(object["n"].get(n) == simdjson::SUCCESS && n == number, "a number reads back");
    simdjson::dom::array lines;
    fuzz::Require(object["lines"].get(lines) == simdjson::SUCCESS && lines.size() == 2 &&
                      Text(lines.at(0)) == repaired && Text(lines.at(1)) == repaired,
                  "a list of texts reads back");
    fuzz::Require(
        Text(Parsed(parser, records::CJsonLine().Add(text, "").Text()).at_key(repaired)) == "",
        "a key reads back");

    CJson root = CJson::Object();
    root.Add(text, CJson::Array().Push(CJson::String(text)).Push(CJson::Number(number)));
    simdjson::dom::array dumped;
    fuzz::Require(Parsed(parser, root.Dump()).at_key(repaired).get(dumped) == simdjson::SUCCESS &&
                      Text(dumped.at(0)) == repaired,
                  "--json keeps a text under a key of the same text");
    fuzz::Require(dumped.at(1).get(n) == simdjson::SUCCESS && n == number, "--json keeps a number");
    return 0;
}
