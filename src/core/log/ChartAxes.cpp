#include "core/log/ChartAxes.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "core/log/ColumnReduce.h"

namespace qx {

namespace {

constexpr int64_t kSecond = 1000;
constexpr int64_t kMinute = 60 * kSecond;
constexpr int64_t kHour = 60 * kMinute;
constexpr int64_t kDay = 24 * kHour;

constexpr std::array<int64_t, 20> kTimeSteps = {
    100,          200,          500,       kSecond,     2 * kSecond, 5 * kSecond,  10 * kSecond,
    15 * kSecond, 30 * kSecond, kMinute,   2 * kMinute, 5 * kMinute, 10 * kMinute, 15 * kMinute,
    30 * kMinute, kHour,        2 * kHour, 3 * kHour,   6 * kHour,   12 * kHour};

std::string Two(int64_t n) {
    return (n < 10 ? "0" : "") + std::to_string(n);
}

}  // namespace

int64_t TimeTickStep(int64_t spanMs, int widthPx, int minGapPx) {
    if (spanMs <= 0 || widthPx <= 0) return 0;
    // step / span * width >= gap, in whole numbers (a long log at a wide window
    // stays far from the int64 limits: 10^10 ms times a few thousand pixels).
    const auto fits = [&](int64_t step) {
        return step * widthPx >= static_cast<int64_t>(std::max(minGapPx, 1)) * spanMs;
    };
    for (const int64_t step : kTimeSteps)
        if (fits(step)) return step;
    // Days: 1, 2, 5, 10, 20, 50 ...
    for (int64_t days = 1;; days *= 10)
        for (const int64_t m : {1, 2, 5})
            if (fits(m * days * kDay)) return m * days * kDay;
}

std::vector<int64_t> TicksBetween(int64_t t0, int64_t t1, int64_t step, int64_t origin) {
    std::vector<int64_t> ticks;
    if (step <= 0 || t1 < t0) return ticks;
    // The first whole step at or after t0.
    for (int64_t k = -FloorDiv(origin - t0, step); origin + k * step <= t1; ++k)
        ticks.push_back(origin + k * step);
    return ticks;
}

std::string TimeTickLabel(int64_t ms, int64_t step, bool relative) {
    if (relative) {
        if (ms == 0) return "now";
        const char* sign = ms < 0 ? "-" : "";
        const int64_t a = ms < 0 ? -ms : ms;
        if (step > 0 && step % kMinute == 0 && a % kMinute == 0)
            return sign + std::to_string(a / kMinute) + " min";
        if (a >= kMinute && a % kSecond == 0)
            return sign + std::to_string(a / kMinute) + ":" + Two(a % kMinute / kSecond);
        if (step > 0 && step < kSecond)
            return sign + std::to_string(a / kSecond) + "." + std::to_string(a % kSecond / 100) +
                   " s";
        return sign + std::to_string(a / kSecond) + " s";
    }
    // Log times count from the first row: never negative in a log.
    const int64_t a = std::max<int64_t>(ms, 0);
    std::string text = a >= kHour ? std::to_string(a / kHour) + ":" + Two(a % kHour / kMinute)
                                  : std::to_string(a / kMinute);
    text += ":" + Two(a % kMinute / kSecond);
    if (step > 0 && step < kSecond) text += "." + std::to_string(a % kSecond / 100);
    return text;
}

ValueTicks NiceValueTicks(double min, double max, int maxTicks) {
    ValueTicks t;
    if (!(max > min) || maxTicks < 1) return t;
    // The smallest of 1, 2, 5 times a power of ten giving no more than maxTicks.
    const double range = max - min;
    double power = std::pow(10.0, std::floor(std::log10(range / maxTicks)));
    for (;;) {
        bool found = false;
        for (const double m : {1.0, 2.0, 5.0, 10.0}) {
            const double step = m * power;
            const double first = std::ceil(min / step - 1e-9);
            const double last = std::floor(max / step + 1e-9);
            if (last - first + 1 <= maxTicks) {
                t.step = step;
                found = true;
                break;
            }
        }
        if (found) break;
        power *= 10.0;
    }
    const double first = std::ceil(min / t.step - 1e-9);
    const double last = std::floor(max / t.step + 1e-9);
    for (double k = first; k <= last; k += 1.0) {
        const double v = k * t.step;
        t.values.push_back(v == 0.0 ? 0.0 : v);  // no "-0"
    }
    t.decimals = std::max(0, -static_cast<int>(std::floor(std::log10(t.step) + 1e-9)));
    return t;
}

std::string ValueTickLabel(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", std::clamp(decimals, 0, 9), value);
    std::string s = text;
    // A value rounding to zero from below reads as zero.
    if (s.size() > 1 && s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos)
        s.erase(0, 1);
    return s;
}

std::vector<LegendSlot> LayOutLegend(const std::vector<int>& widths, int left, int right, int gap) {
    std::vector<LegendSlot> slots;
    slots.reserve(widths.size());
    int x = left;
    int line = 0;
    for (const int w : widths) {
        if (x > left && x + w > right) {
            ++line;
            x = left;
        }
        slots.push_back({x, line});
        x += w + gap;
    }
    return slots;
}

int LegendLines(const std::vector<LegendSlot>& slots) {
    return slots.empty() ? 1 : slots.back().line + 1;
}

Lane LaneOf(int height, int index, int count) {
    if (count <= 0 || height <= 0) return {};
    // Boundaries at k * (height + 1) / count: one row between lanes.
    const auto edge = [&](int k) {
        return static_cast<int>(static_cast<int64_t>(k) * (height + 1) / count);
    };
    const int top = edge(index);
    return {top, std::max(0, edge(index + 1) - top - 1)};
}

int RowOfValue(double v, double min, double max, Lane lane) {
    const double range = max - min;
    const double f = range > 0 ? std::clamp((v - min) / range, 0.0, 1.0) : 0.0;
    const int span = std::max(lane.height - 1, 0);
    return lane.top + span - static_cast<int>(f * span + 0.5);
}

int64_t GapThresholdMs(const int64_t* times, std::size_t n) {
    // Packets come a fraction of a second apart, but a log may have been
    // taken at another rate: the median step follows the log's own rate and,
    // unlike the mean, is not pulled up by the gaps themselves. Three times it
    // lets a packet or two lost to a bad read pass without a break. The floor
    // keeps a busy moment (an edit holds the stream for about one packet)
    // joined, while a modal window, which stays up for seconds, breaks it.
    // Only recent steps count: the cost per frame is bounded, and a steady
    // live rate keeps the threshold, so the chart can go on scrolling.
    std::array<int64_t, kGapSampleSteps> steps{};
    const std::size_t m = n > 1 ? std::min(n - 1, kGapSampleSteps) : 0;
    if (m == 0) return kLeastGapMs;
    for (std::size_t i = 0; i < m; ++i) steps[i] = times[n - m + i] - times[n - m + i - 1];
    const auto middle = steps.begin() + static_cast<std::ptrdiff_t>((m - 1) / 2);
    std::nth_element(steps.begin(), middle, steps.begin() + static_cast<std::ptrdiff_t>(m));
    return std::max(kLeastGapMs, 3 * *middle);
}

}  // namespace qx
