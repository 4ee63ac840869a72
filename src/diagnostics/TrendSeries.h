// Trend series: every report the trends window has taken, and the part of
// it that is worth drawing.
//
// Principles of operation
//   Append keeps each report's sixteen values as numbers beside its time
//   (milliseconds since the epoch), one column per value; nothing is ever
//   thrown away, so a day at one report a second is about 86400 samples
//   (some 12 MB). Break marks a lost link: the curves stop at the last
//   sample before it and start again at the first one after.
//
//   A chart cannot draw tens of thousands of points a curve and stay quick,
//   and a screen cannot show them: Decimate gives, for one value and a time
//   window split into pixel columns, the first, the lowest, the highest and
//   the last sample of each column in time order (each once), plus the
//   nearest sample on either side so the curve runs to the edges. The curve
//   looks as it would with every sample, spikes survive, and it never has
//   more than four points a column.
//   The samples are found by binary search, so the cost follows what is in
//   the window, not the length of the record.
//
// Threads: the owner's thread; no locks.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "diagnostics/ChargerVariables.h"

class CTrendSeries {
public:
    struct Point {
        double timeMs;
        double value;
    };
    using Segment = std::vector<Point>;

    void Clear();
    void Append(double timeMs, const ChargerVariables& vars);
    void Break();

    std::size_t Size() const { return m_times.size(); }
    double TimeAt(std::size_t index) const { return m_times[index]; }
    double ValueAt(std::size_t index, int row) const;
    // The sample indexes after which a break lies, each the index of the
    // first sample after it.
    const std::vector<std::size_t>& Breaks() const { return m_breaks; }

    // The points to draw of one row between fromMs and toMs on `columns`
    // pixel columns, a new segment after each break.
    std::vector<Segment> Decimate(int row, double fromMs, double toMs, int columns) const;

private:
    std::vector<double> m_times;
    std::array<std::vector<double>, kVariableRows> m_values;
    std::vector<std::size_t> m_breaks;
};
