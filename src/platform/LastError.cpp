#include "platform/LastError.h"

#include <cerrno>
#include <cstring>
#include <sstream>

namespace platform {
namespace {

thread_local std::uint32_t t_lastError = 0;

constexpr std::size_t kLineWidth = 80;

std::string WrapAtWhiteSpace(const std::string& text) {
    std::istringstream words(text);
    std::string word, line, out;
    while (words >> word) {
        if (!line.empty() && line.size() + 1 + word.size() > kLineWidth) {
            out += line + "\r\n";
            line.clear();
        }
        line += line.empty() ? word : " " + word;
    }
    return out + line;
}

}  // namespace

std::uint32_t GetLastError() {
    return t_lastError;
}

void SetLastError(std::uint32_t code) {
    t_lastError = code;
}

void SetLastErrorFromErrno() {
    t_lastError = static_cast<std::uint32_t>(errno);
}

std::string SystemErrorText(std::uint32_t code) {
    char buffer[256] = {};
    // The GNU strerror_r may return a static text instead of filling the buffer.
    const char* text = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
    if (text == nullptr || std::strncmp(text, "Unknown error", 13) == 0) {
        return {};
    }
    return WrapAtWhiteSpace(text);
}

}  // namespace platform
