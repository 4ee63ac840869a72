// Last error: the per-thread error code of the platform layer.
//
// Principles of operation
//   Our wrappers around operating-system calls record errno here when a call
//   fails, and the error reports read it back. Library code sets errno at
//   random, so nothing above the platform layer reads errno directly: the code
//   a report shows is the one the last failing wrapper on this thread saw.
//
// Threads: every thread has its own code; no locks.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The code recorded last on this thread, 0 when none.
std::uint32_t GetLastError();
void SetLastError(std::uint32_t code);
// Records the current errno of this thread as its last error.
void SetLastErrorFromErrno();

// The system's text for a code, wrapped at white space into lines of at most
// 80 characters (joined by "\r\n"); empty when the system has no text for it.
std::string SystemErrorText(std::uint32_t code);

}  // namespace platform
