#include "protocol/ReplyLine.h"

#include <cctype>

#include "support/FieldSplitter.h"

namespace {

bool StartsWithBoot(const char* line) {
    const char* boot = "boot";
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (c == '\0' || std::tolower(c) != boot[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

void CReplyLine::Clear() {
    m_length = 0;
    m_text[0] = '\0';
}

bool CReplyLine::Handle(std::uint8_t byte, std::string& bootCode, std::string& chargerCode) {
    if (byte == kLineEnd) {
        if (m_length > 0) {
            TakeVersions(m_text, bootCode, chargerCode);
            Clear();
        }
        return false;
    }
    if (byte == kNak) {
        return true;
    }
    if (byte >= 32 && byte <= 126 && m_length < kCapacity) {
        m_text[m_length++] = static_cast<char>(byte);
        m_text[m_length] = '\0';
    }
    return false;
}

void CReplyLine::TakeVersions(const char* line, std::string& bootCode, std::string& chargerCode) {
    const bool versionLine = line[0] == 'V';
    const bool bootLine = !versionLine && StartsWithBoot(line);
    if (!versionLine && !bootLine) {
        return;
    }
    char** fields = SplitFields(line, " ", 0);
    if (fields == nullptr) {
        return;  // no memory: the line is ignored
    }
    const int count = CountFields(fields);
    if (versionLine && count > 0 && fields[0][0] == 'V') {
        chargerCode = fields[0] + 1;
    } else if (bootLine) {
        bootCode = count > 1 ? fields[1] : "";
    }
    FreeFields(fields);
}
