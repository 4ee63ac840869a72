// Station token: the secret that every control request must carry as
// "Authorization: Bearer TOKEN".
//
// Principles of operation
//   The token lives in station.token in the state folder: $STATE_DIRECTORY
//   when the station runs as a service (systemd's StateDirectory=), else
//   the folder the service records use ($XDG_STATE_HOME/corvane, or
//   ~/.local/state/corvane), else /var/lib/corvane when there is no home.
//   The first start makes it: 32 bytes from getrandom(), written as 64
//   hexadecimal digits to a new file of mode 0600 (O_EXCL, so two stations
//   starting at once never take different tokens). Later starts read it. A
//   token file that others may read, that is not a regular file, or whose
//   text is no token, is refused rather than trusted or mended silently.
//
//   Bearer compares what a request carries with the token in time that does
//   not depend on where they differ, so the token cannot be guessed a
//   character at a time by timing.
//
// Threads: LoadOrMakeToken on the owner thread; Bearer from any thread.
#pragma once

#include <string>

namespace station {

// The token file's path (see above).
std::string TokenPath();

// Reads the token at path, or makes it when there is none; false with the
// reason in error.
bool LoadOrMakeToken(const std::string& path, std::string& token, std::string& error);

// True when authorization is "Bearer <token>" (the scheme in any case).
bool Bearer(const std::string& authorization, const std::string& token);

// Equal texts, compared in time that depends only on their lengths.
bool SameSecret(const std::string& given, const std::string& expected);

}  // namespace station
