// Record times: the moments the journals hold, read and written.
//
// Principles of operation
//   A journal line's time is ISO 8601; history sorts and filters by seconds
//   since the epoch and writes a time back in the journal's own form, UTC to
//   the second ("2026-12-07T20:12:40Z"). A time already in that form (every
//   line the journal writer wrote) is kept as its text, so reading a year of
//   records formats no time; any other form is turned into it. Tables show
//   the local minute.
//
// Threads: pure functions; the local time follows the process's TZ.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace records {

// ISO 8601 as the journals and --since write it: "2026-12-07", with
// "T20:12" or " 20:12", seconds, a fraction, and "Z" or an offset
// ("+0200", "+02:00") optional. Without a zone the time is local. A date
// or time that does not exist (February 30, 24:00) is refused, not rolled
// over. A moment outside the years 1000 to 9999 (UTC) is refused: the
// journal's form could not write it back.
bool ParseTime(std::string_view text, std::int64_t& time);
// ParseTime of `text`, which then holds the moment in the journal's form.
bool NormalizeTime(std::string& text, std::int64_t& time);

// "2026-12-07T20:12:40Z" for seconds since the epoch.
std::string UtcText(std::int64_t time);
// "2026-12-07 21:12", local time, for listings.
std::string LocalMinuteText(std::int64_t time);

}  // namespace records
