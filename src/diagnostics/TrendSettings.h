// Trend settings: what the trends window remembers between runs.
//
// Principles of operation
//   Two values in the settings key: "TrendValues", the ticked rows as
//   comma-separated row numbers in the C locale ("13,14"), and "TrendSpan",
//   the span of the view in seconds. Load gives the stored choice, or the
//   defaults for what is missing or unreadable; rows outside the sixteen are
//   dropped. Save writes both at once, each time the user changes one.
//
// Threads: the user-interface thread.
#pragma once

#include <vector>

struct TrendChoice {
    std::vector<int> rows;
    int spanSeconds = 0;
};

class CTrendSettings {
public:
    static constexpr const char* kValuesName = "TrendValues";
    static constexpr const char* kSpanName = "TrendSpan";

    // defaults: what a first run shows.
    static TrendChoice Load(const TrendChoice& defaults);
    static void Save(const TrendChoice& choice);
};
