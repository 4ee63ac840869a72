#include "records/SafeText.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

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

bool IsPrintableAscii(char c) {
    return c >= 0x20 && c < 0x7F;
}

// Eight bytes at a time: each byte of `ones` is 1, so ones * c holds c in
// every byte, and a high bit in the masks below marks a byte that is
// below 0x20, above 0x7E or equal to c.
constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighs = 0x8080808080808080ULL;

std::uint64_t Below(std::uint64_t word, std::uint64_t n) {
    return (word - kOnes * n) & ~word & kHighs;
}

std::uint64_t Above(std::uint64_t word, std::uint64_t n) {
    return ((word + kOnes * (127 - n)) | word) & kHighs;
}

void AppendSafe(std::string& out, std::string_view text, bool keepBreaks) {
    for (std::size_t at = 0; at < text.size();) {
        // Runs of printable ASCII, most of any journal, are copied at once.
        std::size_t run = at;
        while (run < text.size() && IsPrintableAscii(text[run])) {
            ++run;
        }
        out.append(text, at, run - at);
        at = run;
        if (at == text.size()) {
            break;
        }
        const CodePoint c = Utf8At(text, at);
        if (keepBreaks && (c.value == '\t' || c.value == '\n' || c.value == '\r')) {
            out += static_cast<char>(c.value);
        } else if (IsControl(c.value)) {
            out += Escape(c.value);
        } else if (c.value == 0xFFFD) {
            out += "\xEF\xBF\xBD";  // also for a stray byte, which is not copied
        } else {
            out.append(text, at, c.size);
        }
        at += c.size;
    }
}

std::string Safe(std::string_view text, bool keepBreaks) {
    std::string safe;
    safe.reserve(text.size());  // mutate: equivalent (only spares regrowing)
    AppendSafe(safe, text, keepBreaks);
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

bool IsPrintableAscii(std::string_view text, std::string_view excluded) {
    const auto odd = [excluded](std::uint64_t word) {
        std::uint64_t marks = Below(word, 0x20) | Above(word, 0x7E);
        for (const char c : excluded) {
            marks |= Below(word ^ (kOnes * static_cast<unsigned char>(c)), 1);
        }
        return marks != 0;
    };
    std::size_t at = 0;
    for (; at + 8 <= text.size(); at += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + at, 8);
        if (odd(word)) {
            return false;
        }
    }
    if (at == text.size()) {
        return true;
    }
    // The rest is filled up with the text's first byte, which is either
    // let pass already or found now.
    std::uint64_t word = kOnes * static_cast<unsigned char>(text[0]);
    std::memcpy(&word, text.data() + at, text.size() - at);
    return !odd(word);
}

std::string ShownText(std::string_view text) {
    return Safe(text, false);
}

std::string CellText(std::string_view text) {
    return Safe(text, true);
}

void AppendShownText(std::string& out, std::string_view text) {
    AppendSafe(out, text, false);
}

void AppendCellText(std::string& out, std::string_view text) {
    AppendSafe(out, text, true);
}

}  // namespace records
