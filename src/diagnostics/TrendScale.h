// Trend scales: round tick values for a strip's value axis and round clock
// times for the shared time axis.
//
// Principles of operation
//   ValueScale widens a range of values to whole steps of 1, 2 or 5 times a
//   power of ten, chosen so that at most maxTicks ticks fall on it: 3.71 to
//   14.2 becomes 2 to 16 in steps of 2, never -37.8 to 793.8. A range with
//   no width (a value that never changed) is widened around its value.
//   ScaleOfValues gives a strip its scale from the values it shows; a
//   two-state value gets exactly the ticks 0 and 1.
//
//   TimeTicks puts the time axis's ticks on round clock times in the local
//   time zone: whole multiples of 10, 15 or 30 seconds for short spans, of
//   1, 2, 5, 10, 15 or 30 minutes, or of 1, 2, 3, 6 or 12 hours, the
//   smallest step that keeps to maxTicks. Labels read "hh:mm", or "hh:mm:ss"
//   for steps under a minute.
//
//   Qt Charts draws the axes (CTrendStrip); only the choice of ticks is
//   made here, where Qt Charts has none that fits: QValueAxis's
//   applyNiceNumbers may give more ticks than asked for (0 to 1 in five
//   becomes six) and yields no range at all for a flat value, and
//   QDateTimeAxis spreads its ticks evenly over the span, not on round
//   clock times.
//
// Threads: pure functions; any thread.
#pragma once

#include <string>
#include <vector>

struct ValueScale {
    double low = 0.0;
    double high = 1.0;
    double step = 1.0;
    std::vector<double> ticks;  // low, low + step, ... high
};

ValueScale NiceValueScale(double low, double high, int maxTicks);

// The scale of a strip that shows `values`: a little room beyond both ends
// (never across zero), widened to round ticks. A value that only takes 0
// and 1, such as a flag or the charge phase, reads 0 and 1 and nothing
// between, whether it changed or not; no values read as 0 and 1 too.
ValueScale ScaleOfValues(const std::vector<double>& values, int maxTicks);

// The decimals a tick's text needs for a step: none for whole steps, one
// for steps of 0.2, two for 0.05.
int ValueTickDecimals(double step);

struct TimeTick {
    double ms;          // milliseconds since the epoch
    std::string label;  // local clock time
};

// The ticks inside [fromMs, toMs]; utcOffsetSeconds is the local zone's
// offset at fromMs (east of UTC positive).
std::vector<TimeTick> TimeTicks(double fromMs, double toMs, int maxTicks, int utcOffsetSeconds);
