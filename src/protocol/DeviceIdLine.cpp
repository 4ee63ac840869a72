#include "protocol/DeviceIdLine.h"

namespace {

constexpr std::string_view kKeyword = "deviceid";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsNameByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte > 32 && byte < 127;
}

}  // namespace

std::string DeviceIdOf(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size() && IsBlank(line[i])) {
        ++i;
    }
    if (line.size() - i < kKeyword.size()) {
        return "";
    }
    for (const char k : kKeyword) {
        if (Lower(line[i++]) != k) {
            return "";
        }
    }
    if (i < line.size() && !IsBlank(line[i]) && line[i] != '=' && line[i] != ':') {
        return "";  // a longer word, not the keyword
    }
    while (i < line.size() && (IsBlank(line[i]) || line[i] == '=' || line[i] == ':')) {
        ++i;
    }
    std::size_t end = i;
    while (end < line.size() && !IsBlank(line[end])) {
        if (!IsNameByte(line[end])) {
            return "";
        }
        ++end;
    }
    return std::string(line.substr(i, end - i));
}

std::string DeviceIdFrom(const std::vector<std::string>& lines) {
    for (const auto& line : lines) {
        if (std::string id = DeviceIdOf(line); !id.empty()) {
            return id;
        }
    }
    return "";
}
