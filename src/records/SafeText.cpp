#include "records/SafeText.h"

#include <cstdio>

namespace records {
namespace {

constexpr CodePoint kBad{0xFFFD, 1};

// C0 and C1 controls and DEL, which terminals obey, and the marks that
// reorder or break a line in a bidirectional or Unicode-aware view.
bool IsControl(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

std::string Escape(char32_t c) {
    char text[12];  // mutate: equivalent (an escape takes 7 bytes with its NUL)
    std::snprintf(text, sizeof text, c <= 0xFF ? "\\x%02x" : "\\u%04x", static_cast<unsigned>(c));
    return text;
}

std::string Safe(std::string_view text, bool keepBreaks) {
    std::string safe;
    safe.reserve(text.size());  // mutate: equivalent (only spares regrowing)
    for (std::size_t at = 0; at < text.size();) {
        const CodePoint c = Utf8At(text, at);
        if (keepBreaks && (c.value == '\t' || c.value == '\n' || c.value == '\r')) {
            safe += static_cast<char>(c.value);
        } else if (IsControl(c.value)) {
            safe += Escape(c.value);
        } else if (c.value == 0xFFFD) {
            safe += "\xEF\xBF\xBD";  // also for a stray byte, which is not copied
        } else {
            safe.append(text.substr(at, c.size));
        }
        at += c.size;
    }
    return safe;
}

}  // namespace

// Well-formed UTF-8 only (RFC 3629): no overlong forms, no surrogates,
// nothing past U+10FFFF, so a C1 control cannot hide in a longer form.
CodePoint Utf8At(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) {
        return {lead, 1};
    }
    std::size_t more = 0;  // mutate: equivalent (each lead that goes on sets it)
    char32_t value = 0;    // mutate: equivalent (each lead that goes on sets it)
    unsigned char low = 0x80;
    unsigned char high = 0xBF;  // of the second byte; the others are 80..BF
    if (lead >= 0xC2 && lead <= 0xDF) {
        more = 1;
        value = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        more = 2;
        value = lead & 0x0Fu;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        more = 3;
        value = lead & 0x07u;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return kBad;
    }
    if (text.size() - at <= more) {
        return kBad;
    }
    for (std::size_t i = 1; i <= more; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) {
            return kBad;
        }
        value = value << 6 | (next & 0x3Fu);
    }
    return {value, more + 1};
}

std::string ShownText(std::string_view text) {
    return Safe(text, false);
}

std::string CellText(std::string_view text) {
    return Safe(text, true);
}

}  // namespace records
