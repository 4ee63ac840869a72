// Error reports: the two boxes through which failures reach the user.
//
// Principles of operation
//   ReportError(text) shows the caller's text, and when the calling thread has
//   a last error code (platform::GetLastError) that code and the system's text
//   for it: "Error %d: %s.\n\r%s\r\n". ReportCommError(text) writes the name
//   of the failed port operation to the debugger output and shows the one
//   fixed communications-error box. Both report and return; the caller decides
//   what follows.
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
// The system's text for a code, lines of at most 80 characters; returns its
// length, or 1 with an empty text when the system has none (the size of the
// empty text's block).
std::size_t FormatSystemMessage(std::uint32_t code, std::string& text);
