#include "records/JsonLine.h"

#include <charconv>
#include <cstdio>

#include "support/JsonQuote.h"

namespace records {

std::string Fixed1(double number) {
    char text[32];
    const auto [end, ec] =
        std::to_chars(text, text + sizeof text, number, std::chars_format::fixed, 1);
    return ec == std::errc() ? std::string(text, end) : "0.0";
}

void CJsonLine::Key(const std::string& key) {
    if (!m_body.empty()) {
        m_body += ',';
    }
    m_body += JsonQuote(key) + ':';
}

CJsonLine& CJsonLine::Add(const std::string& key, const std::string& text) {
    Key(key);
    m_body += JsonQuote(text);
    return *this;
}

CJsonLine& CJsonLine::Add(const std::string& key, const char* text) {
    return Add(key, std::string(text));
}

CJsonLine& CJsonLine::Add(const std::string& key, long long number) {
    Key(key);
    m_body += std::to_string(number);
    return *this;
}

CJsonLine& CJsonLine::AddFixed1(const std::string& key, double number) {
    Key(key);
    m_body += Fixed1(number);
    return *this;
}

CJsonLine& CJsonLine::Add(const std::string& key, const std::vector<std::string>& texts) {
    Key(key);
    m_body += '[';
    for (std::size_t i = 0; i < texts.size(); ++i) {
        m_body += (i == 0 ? "" : ",") + JsonQuote(texts[i]);
    }
    m_body += ']';
    return *this;
}

CJsonLine& CJsonLine::AddRaw(const std::string& key, const std::string& json) {
    Key(key);
    m_body += json;
    return *this;
}

}  // namespace records
