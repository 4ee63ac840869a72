#include "diagnostics/TrendSeries.h"

#include <algorithm>
#include <cmath>

namespace {

// The samples of one pixel column seen so far.
struct Column {
    long index = 0;
    std::size_t first = 0;
    std::size_t lowest = 0;
    std::size_t highest = 0;
    std::size_t last = 0;
    bool used = false;
};

}  // namespace

void CTrendSeries::Clear() {
    m_times.clear();
    for (auto& values : m_values) {
        values.clear();
    }
    m_breaks.clear();
}

void CTrendSeries::Append(double timeMs, const ChargerVariables& vars) {
    m_times.push_back(timeMs);
    for (int row = 0; row < kVariableRows; ++row) {
        m_values[static_cast<std::size_t>(row)].push_back(VariableValue(vars, row));
    }
}

void CTrendSeries::Break() {
    const std::size_t next = m_times.size();
    // Nothing to separate before the first sample or twice at one place.
    if (next > 0 && (m_breaks.empty() || m_breaks.back() != next)) {
        m_breaks.push_back(next);
    }
}

double CTrendSeries::ValueAt(std::size_t index, int row) const {
    return m_values[static_cast<std::size_t>(row)][index];
}

std::vector<CTrendSeries::Segment> CTrendSeries::Decimate(int row, double fromMs, double toMs,
                                                          int columns) const {
    std::vector<Segment> segments;
    if (m_times.empty() || columns <= 0 || !(toMs > fromMs)) {
        return segments;
    }
    const std::vector<double>& values = m_values[static_cast<std::size_t>(row)];
    // One sample beyond each edge, so that the curve reaches the border.
    std::size_t first = static_cast<std::size_t>(
        std::lower_bound(m_times.begin(), m_times.end(), fromMs) - m_times.begin());
    std::size_t end = static_cast<std::size_t>(
        std::upper_bound(m_times.begin(), m_times.end(), toMs) - m_times.begin());
    first -= first > 0 ? 1 : 0;
    end += end < m_times.size() ? 1 : 0;
    const double columnMs = (toMs - fromMs) / columns;
    auto nextBreak = std::upper_bound(m_breaks.begin(), m_breaks.end(), first);

    segments.emplace_back();
    Column column;
    const auto flush = [&] {
        if (!column.used) {
            return;
        }
        std::size_t picks[] = {column.first, column.lowest, column.highest, column.last};
        std::sort(std::begin(picks), std::end(picks));
        const std::size_t* const picked = std::unique(std::begin(picks), std::end(picks));
        for (const std::size_t* pick = std::begin(picks); pick != picked; ++pick) {
            segments.back().push_back({m_times[*pick], values[*pick]});
        }
        column.used = false;
    };
    for (std::size_t i = first; i < end; ++i) {
        if (nextBreak != m_breaks.end() && *nextBreak == i) {
            flush();
            if (!segments.back().empty()) {
                segments.emplace_back();
            }
            ++nextBreak;
        }
        const long index = std::lround(std::floor((m_times[i] - fromMs) / columnMs));
        if (column.used && index != column.index) {
            flush();
        }
        if (!column.used) {
            column = {index, i, i, i, i, true};
            continue;
        }
        column.last = i;
        if (values[i] < values[column.lowest]) {
            column.lowest = i;
        }
        if (values[i] > values[column.highest]) {
            column.highest = i;
        }
    }
    flush();
    if (segments.back().empty()) {
        segments.pop_back();
    }
    return segments;
}
