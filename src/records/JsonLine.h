// JSON line: one flat JSON object on one line, for the bench's records and
// the command line's bench events.
//
// Principles of operation
//   Members keep the order they were added in. Strings are quoted by
//   JsonQuote (support/JsonQuote.h); numbers are written in the C locale
//   whatever the process's locale, with to_chars.
//
// Threads: a value belongs to one thread.
#pragma once

#include <string>
#include <vector>

namespace records {

class CJsonLine {
public:
    CJsonLine& Add(const std::string& key, const std::string& text);
    CJsonLine& Add(const std::string& key, const char* text);
    CJsonLine& Add(const std::string& key, long long number);
    CJsonLine& Add(const std::string& key, int number) {
        return Add(key, static_cast<long long>(number));
    }
    // A number with one decimal (seconds).
    CJsonLine& AddFixed1(const std::string& key, double number);
    CJsonLine& Add(const std::string& key, const std::vector<std::string>& texts);
    // A value already in JSON (a nested object).
    CJsonLine& AddRaw(const std::string& key, const std::string& json);
    std::string Text() const { return "{" + m_body + "}"; }

private:
    void Key(const std::string& key);
    std::string m_body;
};

// One decimal, C locale: "14.2".
std::string Fixed1(double number);

}  // namespace records
