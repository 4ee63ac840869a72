#include "diagnostics/TrendScale.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// Steps of the time axis, in seconds, smallest first.
constexpr int kTimeSteps[] = {10,   15,   30,   60,    120,   300,   600,  900,
                              1800, 3600, 7200, 10800, 21600, 43200, 86400};

double NiceStep(double rough) {
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double factor : {1.0, 2.0, 5.0}) {
        if (factor * power >= rough * (1.0 - 1e-9)) {
            return factor * power;
        }
    }
    return 10.0 * power;
}

}  // namespace

ValueScale NiceValueScale(double low, double high, int maxTicks) {
    if (!std::isfinite(low) || !std::isfinite(high) || low > high) {
        low = 0.0;
        high = 1.0;
    }
    if (high - low < 1e-9 * std::max(1.0, std::fabs(high))) {
        // A flat line sits in the middle of a range of its own size's order.
        const double half = low == 0.0 ? 1.0 : NiceStep(std::fabs(low) / 50.0);
        low -= half;
        high += half;
    }
    // Two intervals at least: one cannot hold a range that crosses zero.
    const int intervals = std::max(2, maxTicks - 1);
    ValueScale scale;
    scale.step = NiceStep((high - low) / intervals);
    // Widening to whole steps can need one interval more than planned; a
    // step or two larger always fits.
    for (int bump = 0; bump < 4 && std::floor(low / scale.step + 1e-9) + intervals <
                                       std::ceil(high / scale.step - 1e-9);
         ++bump) {
        scale.step = NiceStep(scale.step * 1.01);
    }
    const double first = std::floor(low / scale.step + 1e-9);
    const double last = std::ceil(high / scale.step - 1e-9);
    scale.low = first * scale.step;
    scale.high = last * scale.step;
    for (double k = first; k <= last; k += 1.0) {
        const double tick = k * scale.step;
        scale.ticks.push_back(std::fabs(tick) < scale.step * 1e-9 ? 0.0 : tick);
    }
    return scale;
}

ValueScale ScaleOfValues(const std::vector<double>& values, int maxTicks) {
    const bool twoState = std::all_of(values.begin(), values.end(),
                                      [](double value) { return value == 0.0 || value == 1.0; });
    if (twoState) {
        return {0.0, 1.0, 1.0, {0.0, 1.0}};
    }
    const auto [lowest, highest] = std::minmax_element(values.begin(), values.end());
    double low = *lowest;
    double high = *highest;
    // A little room at both ends: a curve that runs along a tick at the end
    // of the scale would hide in the strip's frame. The pad never crosses
    // zero, which would add a tick below it.
    const double pad = (high - low) * 0.02;
    low = low >= 0.0 ? std::max(0.0, low - pad) : low - pad;
    high = high <= 0.0 ? std::min(0.0, high + pad) : high + pad;
    return NiceValueScale(low, high, maxTicks);
}

int ValueTickDecimals(double step) {
    const int decimals = step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
    return std::clamp(decimals, 0, 9);
}

std::vector<TimeTick> TimeTicks(double fromMs, double toMs, int maxTicks, int utcOffsetSeconds) {
    std::vector<TimeTick> ticks;
    if (!(toMs > fromMs) || maxTicks < 1) {
        return ticks;
    }
    const double spanSeconds = (toMs - fromMs) / 1000.0;
    int step = kTimeSteps[std::size(kTimeSteps) - 1];
    for (const int candidate : kTimeSteps) {
        if (spanSeconds / candidate <= maxTicks) {
            step = candidate;
            break;
        }
    }
    // Round in local time: shift into the zone, round, shift back.
    const double offsetMs = utcOffsetSeconds * 1000.0;
    const double stepMs = step * 1000.0;
    for (double local = std::ceil((fromMs + offsetMs) / stepMs) * stepMs; local <= toMs + offsetMs;
         local += stepMs) {
        const auto daySeconds = static_cast<long long>(std::llround(local / 1000.0)) % 86400;
        const long long seconds = daySeconds < 0 ? daySeconds + 86400 : daySeconds;
        char label[16];
        if (step < 60) {
            std::snprintf(label, sizeof label, "%02lld:%02lld:%02lld", seconds / 3600,
                          seconds / 60 % 60, seconds % 60);
        } else {
            std::snprintf(label, sizeof label, "%02lld:%02lld", seconds / 3600, seconds / 60 % 60);
        }
        ticks.push_back({local - offsetMs, label});
    }
    return ticks;
}
