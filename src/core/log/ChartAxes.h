#pragma once
// The chart's layout worked out apart from any widget: round steps for the
// time and value ticks and their labels, the legend broken into lines, the
// bands of a chart that gives each value a lane of its own, and where the
// rows have a gap the trace must not bridge.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qx {

// The smallest round time step (100 ms, 200 ms, 500 ms, 1 s, 2, 5, 10, 15,
// 30 s, 1 min, 2, 5, 10, 15, 30 min, 1 h, 2, 3, 6, 12 h, then whole days)
// that leaves at least minGapPx between ticks when spanMs fills widthPx.
// 0 when nothing can be drawn (no width or span).
int64_t TimeTickStep(int64_t spanMs, int widthPx, int minGapPx);

// The times in [t0, t1] that lie a whole number of steps from origin, in order.
std::vector<int64_t> TicksBetween(int64_t t0, int64_t t1, int64_t step, int64_t origin);

// A tick's label. Relative (live): ms before now, "now", "-10 s", "-0.5 s",
// "-2 min", "-1:30". Else a log time: "m:ss" or "h:mm:ss", with tenths when
// the step is below a second.
std::string TimeTickLabel(int64_t ms, int64_t step, bool relative);

// Round value ticks (1, 2 or 5 times a power of ten apart) inside [min, max],
// at most maxTicks of them (at least one when the range allows any).
struct ValueTicks {
    double step = 0.0;
    int decimals = 0;  // enough to tell neighbouring ticks apart
    std::vector<double> values;
};
ValueTicks NiceValueTicks(double min, double max, int maxTicks);
std::string ValueTickLabel(double value, int decimals);

// Entries of the given widths set left to right from left, a new line begun
// where the next would pass right (an entry wider than the line gets a line
// of its own), gap pixels between entries on a line.
struct LegendSlot {
    int x = 0;
    int line = 0;
};
std::vector<LegendSlot> LayOutLegend(const std::vector<int>& widths, int left, int right, int gap);
// How many lines a layout takes (1 for an empty one).
int LegendLines(const std::vector<LegendSlot>& slots);

// The rows of lane index of count sharing height rows, top to bottom: each
// lane ends one row above the next begins, the lanes together fill the height.
struct Lane {
    int top = 0;
    int height = 0;
};
Lane LaneOf(int height, int index, int count);
// The row of value v on the scale [min, max] in lane (bottom row: min, top
// row: max, halves rounded up the scale); values beyond the scale stay on its edges.
int RowOfValue(double v, double min, double max, Lane lane);

// The longest step between neighbouring rows that the trace still joins:
// three times the median step (the lower of the middle two), and never less than kLeastGapMs. Only
// the last kGapSampleSteps steps of times[0, n) count. A longer step (a modal window suspended
// monitoring, the module stopped sending) breaks the trace.
inline constexpr int64_t kLeastGapMs = 500;
inline constexpr std::size_t kGapSampleSteps = 1024;
int64_t GapThresholdMs(const int64_t* times, std::size_t n);
// Whether the trace breaks between rows at times a <= b.
inline bool IsGap(int64_t a, int64_t b, int64_t thresholdMs) {
    return b - a > thresholdMs;
}

}  // namespace qx
