// Safe text: a journal's texts made harmless to show or export.
//
// Principles of operation
//   Journals are gathered from other bench PCs over syslog, so every text in
//   a record (a device ID is whatever a charger sent) may hold bytes that a
//   terminal obeys: escape sequences that set its title or clear it, C1
//   controls such as U+009B, line breaks that split a table row, a NUL that
//   ends a C string early, bidirectional marks that reorder what follows.
//   ShownText turns each of them into a visible escape ("\x1b", "\u202e");
//   CellText does the same for a CSV cell but keeps tab and line breaks,
//   which a quoted cell holds as text. Bytes that are not UTF-8 become
//   U+FFFD, so what is left is well-formed UTF-8 with nothing to obey.
//
// Threads: pure functions.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace records {

struct CodePoint {
    char32_t value;    // U+FFFD for a byte that starts no well-formed sequence
    std::size_t size;  // bytes taken, at least 1
};
// The code point that starts at text[at] (at < text.size()).
CodePoint Utf8At(std::string_view text, std::size_t at);

// For a terminal or a window: every control character as a visible escape.
std::string ShownText(std::string_view text);
// For a CSV cell: the same, but tab, CR and LF kept.
std::string CellText(std::string_view text);
// The same, appended to `out` (a listing's buffer).
void AppendShownText(std::string& out, std::string_view text);
void AppendCellText(std::string& out, std::string_view text);

// Whether the text is printable ASCII (0x20 to 0x7E) throughout, without
// any of `excluded`: text that shows as it is, one column a byte. Nearly
// every text of a journal is; eight bytes are looked at a step.
bool IsPrintableAscii(std::string_view text, std::string_view excluded = {});

}  // namespace records
