// Error reports: the two boxes through which failures reach the user.
//
// Principles of operation
//   ReportError(text) shows the caller's text, and when the calling thread has
//   a last error code (platform::GetLastError) that code and the system's text
//   for it: "Error %d: %s.\n\r%s\r\n". ReportCommError(text) writes the name
//   of the failed port operation to the debugger output and shows the one
//   fixed communications-error box. Both report and return; the caller decides
//   what follows. ReportCommError(text, cause) is the same box with one more
//   line at its end, the port and what is wrong with it, for a window whose
//   user has no other place to learn it; the fixed text above it is unchanged.
//   The second line of that text begins with a space, as it always has.
//
// Threads: callable from any thread; the box goes through the message-box
// hook of the platform layer, which never blocks a worker thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

extern const char* const kCommErrorText;
extern const char* const kCommErrorCaption;  // "ERROR"

void ReportError(const char* text);
int ReportCommError(const char* text);
int ReportCommError(const char* text, const std::string& cause);
// The text of the communications box: the fixed text, then the cause as a
// paragraph of its own when there is one.
std::string CommErrorText(const std::string& cause);
// The system's text for a code, lines of at most 80 characters; returns its
// length, or 1 with an empty text when the system has none (the size of the
// empty text's block).
std::size_t FormatSystemMessage(std::uint32_t code, std::string& text);
