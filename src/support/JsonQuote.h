// JSON quoting: one text as a JSON string, for every line we write that a
// script may read (the command line's --json, the service
// records, recorded reports).
//
// Principles of operation
//   Quotes and backslashes are escaped, control bytes become \u00XX, and
//   well-formed UTF-8 passes through as it is. Text that is not UTF-8 (a file
//   name in another encoding, noise from a charger) still gives valid JSON:
//   each byte that does not belong to a well-formed sequence becomes the
//   replacement character, written \ufffd, which tells a reader that the
//   text was not UTF-8.
//
// Threads: a pure function; any thread.
#pragma once

#include <string>

// The text in double quotes, escaped for JSON.
std::string JsonQuote(const std::string& text);
// The text with each byte that is not part of well-formed UTF-8 replaced by
// U+FFFD (a line of an old record, written before quoting took care of it).
std::string RepairUtf8(const std::string& text);
