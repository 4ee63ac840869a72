// Wall time: the time of day that reports are stamped with.
//
// Principles of operation
//   Waits and intervals run on the monotonic clock (platform::IClock); only
//   what a person reads, the time stamp of a recorded report and the "since"
//   of a notice, comes from the calendar clock. Callers take it through a
//   WallClock so that tests can fix it. Texts are built field by field, so
//   they never depend on the locale.
//
// Threads: plain functions; any thread.
#pragma once

#include <chrono>
#include <functional>
#include <string>

using WallTimePoint = std::chrono::system_clock::time_point;
using WallClock = std::function<WallTimePoint()>;

// The system's calendar clock.
WallTimePoint SystemWallTime();
// ISO 8601 local time with milliseconds and offset: 2026-12-07T15:40:05.123+01:00.
std::string IsoTimestamp(WallTimePoint when);
// The local time of day as hh:mm:ss.
std::string ClockTime(WallTimePoint when);
