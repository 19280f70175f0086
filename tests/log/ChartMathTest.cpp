// Column reduction for the chart and the coverage of map points.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "core/log/ChartAxes.h"
#include "core/log/ColumnReduce.h"
#include "core/log/Coverage.h"

namespace qx::test {
namespace {

// A non-decreasing random series: n rows from start, steps below maxStep
// (repeats and gaps), values whole numbers in [-spread, spread] over scale.
struct Series {
    std::vector<int64_t> t;
    std::vector<float> v;
};
Series RandomSeries(std::mt19937& random, std::size_t n, int64_t start, unsigned maxStep,
                    int spread, float scale) {
    Series s{std::vector<int64_t>(n), std::vector<float>(n)};
    int64_t now = start;
    for (std::size_t i = 0; i < n; ++i) {
        now += static_cast<int64_t>(random() % maxStep);
        s.t[i] = now;
        s.v[i] = static_cast<float>(
                     static_cast<int>(random() % static_cast<unsigned>(2 * spread + 1)) - spread) /
                 scale;
    }
    return s;
}

void Fold(ColumnRange& c, float v) {
    c.min = c.any ? std::min(c.min, v) : v;
    c.max = c.any ? std::max(c.max, v) : v;
    c.any = true;
}

void ExpectSameColumns(const std::vector<ColumnRange>& got, const std::vector<ColumnRange>& want,
                       int round) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t c = 0; c < want.size(); ++c) {
        ASSERT_EQ(got[c].any, want[c].any) << round << " column " << c;
        if (!want[c].any) continue;
        ASSERT_EQ(got[c].min, want[c].min) << round << " column " << c;
        ASSERT_EQ(got[c].max, want[c].max) << round << " column " << c;
    }
}

// Columns dividing the window [t0, t1).
std::vector<ColumnRange> Window(const int64_t* t, const float* v, std::size_t n, int64_t t0,
                                int64_t t1, int columns) {
    std::vector<ColumnRange> out;
    ReduceGridInto(t, v, n, ColumnGrid{t0, t1 - t0, columns, 0, columns}, out);
    return out;
}

TEST(ReduceColumns, KeepsTheExtremesOfEachColumn) {
    const int64_t t[] = {0, 10, 20, 30, 40, 50, 60, 95, 100};
    const float v[] = {5, -1, 7, 2, 2, 9, 3, 4, 100};
    // Four columns of 25 ms over [0, 100): the sample at 100 is outside.
    ExpectSameColumns(Window(t, v, 9, 0, 100, 4),
                      {{-1, 7, true}, {2, 2, true}, {3, 9, true}, {4, 4, true}}, 0);
    // A window that starts inside the data skips what lies before it.
    ExpectSameColumns(Window(t, v, 9, 45, 65, 2), {{9, 9, true}, {3, 3, true}}, 1);
    const auto sparse = Window(t, v, 9, 0, 100, 20);
    EXPECT_FALSE(sparse[1].any);
    EXPECT_TRUE(Window(t, v, 9, 100, 100, 4)[0].any == false);
    EXPECT_TRUE(Window(t, v, 9, 0, 100, 0).empty());
}

// Against the plain reading of a column: every sample in [t0, t1) goes to
// column floor((t - t0) * columns / (t1 - t0)).
TEST(ReduceColumns, MatchesEverySampleSortedIntoItsColumnOnRandomData) {
    std::mt19937 random(20261207);
    for (int round = 0; round < 200; ++round) {
        const std::size_t n = random() % 3000;
        const int64_t start = static_cast<int64_t>(random() % 100);
        const Series s = RandomSeries(random, n, start, 40, 10000, 7.0f);
        const int64_t now = n > 0 ? s.t.back() : start;
        const int64_t t0 = static_cast<int64_t>(random() % (now + 2)) - 50;
        const int64_t t1 = t0 + 1 + static_cast<int64_t>(random() % (now + 100));
        const int columns = 1 + static_cast<int>(random() % 700);
        std::vector<ColumnRange> want(static_cast<std::size_t>(columns));
        for (std::size_t i = 0; i < n; ++i)
            if (s.t[i] >= t0 && s.t[i] < t1)
                Fold(want[static_cast<std::size_t>((s.t[i] - t0) * columns / (t1 - t0))], s.v[i]);
        std::vector<ColumnRange> got = {{1, 2, true}};  // reused storage is overwritten
        ReduceGridInto(s.t.data(), s.v.data(), n, ColumnGrid{t0, t1 - t0, columns, 0, columns},
                       got);
        ExpectSameColumns(got, want, round);
    }
}

// A grid fixed to time, as a live chart slides along it: every sample goes to
// column floor((t - origin) * perSpan / span) - first, negative times included.
TEST(ReduceColumns, AGridFixedToTimeSortsEverySampleIntoItsColumn) {
    std::mt19937 random(5);
    for (int round = 0; round < 200; ++round) {
        const std::size_t n = random() % 2000;
        const Series s =
            RandomSeries(random, n, static_cast<int64_t>(random() % 2000) - 1000, 30, 1000, 1.0f);
        ColumnGrid grid;
        grid.origin = static_cast<int64_t>(random() % 500) - 250;
        grid.span = 1 + static_cast<int64_t>(random() % 30000);
        grid.perSpan = 1 + static_cast<int64_t>(random() % 2000);
        grid.count = 1 + static_cast<int>(random() % 600);
        grid.first = grid.ColumnOf(n > 0 ? s.t[random() % n] : 0) - grid.count / 2;
        auto plain = [&](int64_t time) {
            const long double exact = static_cast<long double>(time - grid.origin) *
                                      static_cast<long double>(grid.perSpan) /
                                      static_cast<long double>(grid.span);
            return static_cast<int64_t>(std::floor(exact));
        };
        std::vector<ColumnRange> want(static_cast<std::size_t>(grid.count));
        for (std::size_t i = 0; i < n; ++i) {
            ASSERT_EQ(grid.ColumnOf(s.t[i]), plain(s.t[i])) << s.t[i];
            const int64_t c = plain(s.t[i]) - grid.first;
            if (c >= 0 && c < grid.count) Fold(want[static_cast<std::size_t>(c)], s.v[i]);
        }
        for (int64_t k = grid.first; k < grid.first + 5; ++k) {
            ASSERT_GE(plain(grid.StartOf(k)), k) << "the first time in column " << k;
            ASSERT_LT(plain(grid.StartOf(k) - 1), k) << "and the one before it";
        }
        std::vector<ColumnRange> got;
        ReduceGridInto(s.t.data(), s.v.data(), n, grid, got);
        ExpectSameColumns(got, want, round);
    }
}

// Worked by hand: a column whose first row came more than the gap after the
// row before it is marked, whether that row is in the column before or further.
TEST(ReduceColumns, MarksTheColumnsAGapLeadsInto) {
    // Columns of 300 ms over [0, 1500), a gap of 500 ms.
    const int64_t t[] = {0, 100, 200, 750, 800, 1350};
    const float v[] = {1, 2, 3, 4, 5, 6};
    std::vector<ColumnRange> got;
    ReduceGridInto(t, v, 6, ColumnGrid{0, 1500, 5, 0, 5}, got, 500);
    ExpectSameColumns(got, {{1, 3, true}, {}, {4, 5, true}, {}, {6, 6, true}}, 0);
    EXPECT_FALSE(got[0].gapBefore) << "the log's first row";
    EXPECT_TRUE(got[2].gapBefore) << "750 after 200";
    EXPECT_TRUE(got[4].gapBefore) << "1350 after 800";
    // Next columns, 500 ms apart exactly: not a gap; 501: a gap.
    const int64_t near[] = {0, 500, 1001};
    const float w[] = {1, 2, 3};
    ReduceGridInto(near, w, 3, ColumnGrid{0, 1200, 3, 0, 3}, got, 500);
    EXPECT_FALSE(got[1].gapBefore);
    EXPECT_TRUE(got[2].gapBefore);
    // Nothing is a gap unless asked for.
    ReduceGridInto(t, v, 6, ColumnGrid{0, 1500, 5, 0, 5}, got);
    EXPECT_FALSE(got[2].gapBefore || got[4].gapBefore);
}

// Worked by hand: three times the median step between rows, at least 500 ms,
// from the last 1024 steps.
TEST(ChartGaps, TheThresholdIsThreeTimesTheMedianStepAndAtLeastHalfASecond) {
    auto threshold = [](const std::vector<int64_t>& t) {
        return GapThresholdMs(t.data(), t.size());
    };
    EXPECT_EQ(threshold({}), 500) << "no rows";
    EXPECT_EQ(threshold({7000}), 500) << "one row, no step";
    EXPECT_EQ(threshold({0, 100, 200, 300, 400}), 500) << "3 x 100 is below the floor";
    EXPECT_EQ(threshold({0, 250, 500, 750}), 750);
    // The gap itself does not pull the threshold: steps 200 200 200 4400 200 200.
    EXPECT_EQ(threshold({0, 200, 400, 600, 5000, 5200, 5400}), 600);
    // Steps 200 400 600 800: the lower middle one.
    EXPECT_EQ(threshold({0, 200, 600, 1200, 2000}), 1200);
    // Times before zero (a live host clock may be anywhere).
    EXPECT_EQ(threshold({-3000, -2700, -2400, -2100}), 900);
    // 2000 rows a second apart, then rows 100 ms apart: with 1024 of those the
    // old rate has left the sample; with 400, 624 of the 1024 steps are a second.
    std::vector<int64_t> t;
    for (int i = 0; i < 2000; ++i) t.push_back(1000 * i);
    std::vector<int64_t> some = t;
    for (int k = 1; k <= 400; ++k) some.push_back(t.back() + 100 * k);
    EXPECT_EQ(threshold(some), 3000);
    for (int k = 1; k <= 1024; ++k) t.push_back(1999000 + 100 * k);
    EXPECT_EQ(threshold(t), 500);
}

TEST(ChartGaps, ABreakIsAStepLongerThanTheThreshold) {
    EXPECT_FALSE(IsGap(1000, 1500, 500));
    EXPECT_TRUE(IsGap(1000, 1501, 500));
    EXPECT_FALSE(IsGap(1000, 1000, 500)) << "rows at the same time";
    EXPECT_TRUE(IsGap(-2000, -1000, 600));
}

// Worked by hand: the step is the first round one whose spacing, step / span
// of the width, is at least the gap asked for.
TEST(ChartAxes, TimeTicksTakeTheFirstRoundStepThatLeavesTheGap) {
    const struct {
        int64_t span;
        int width;
        int gap;
        int64_t step;
    } cases[] = {
        {30000, 776, 60, 5000},           // 2 s would be 52 px apart, 5 s 129 px
        {30000, 1896, 60, 1000},          // 1 s: 63 px
        {10000, 1896, 60, 500},           // 500 ms: 95 px; 200 ms: 38
        {600000, 776, 60, 60000},         // 30 s: 39 px; 1 min: 78
        {600000, 1896, 60, 30000},        // 30 s: 95 px; 15 s: 47
        {3600000, 776, 70, 600000},       // 5 min: 65 px; 10 min: 129
        {1000, 1000, 100, 100},           // the finest step fits exactly: 100 px
        {1000, 1000, 101, 200},           // one pixel more does not
        {360000000, 100, 50, 432000000},  // 100 h across 100 px: a day is 24 px, 5 days 120
        {0, 800, 60, 0},
        {30000, 0, 60, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TimeTickStep(c.span, c.width, c.gap), c.step)
            << c.span << " ms across " << c.width << " px, gap " << c.gap;
}

TEST(ChartAxes, TicksLieWholeStepsFromTheirOrigin) {
    const struct {
        int64_t t0, t1, step, origin;
        std::vector<int64_t> ticks;
    } cases[] = {
        {0, 30000, 10000, 0, {0, 10000, 20000, 30000}},
        {1234, 31234, 10000, 31234, {1234, 11234, 21234, 31234}},  // live: from now back
        {1500, 9999, 5000, 0, {5000}},
        {-7000, 2000, 5000, 0, {-5000, 0}},  // before the origin too
        {-7000, 2000, 5000, 1, {-4999, 1}},
        {100, 100, 50, 0, {100}},
        {100, 99, 50, 0, {}},
        {0, 100, 0, 0, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TicksBetween(c.t0, c.t1, c.step, c.origin), c.ticks)
            << c.t0 << ".." << c.t1 << " step " << c.step << " from " << c.origin;
}

TEST(ChartAxes, TimeLabelsReadAsTheyShould) {
    const struct {
        int64_t ms, step;
        bool relative;
        const char* text;
    } cases[] = {
        {0, 5000, true, "now"},
        {-5000, 5000, true, "-5 s"},
        {-30000, 10000, true, "-30 s"},
        {-1500, 500, true, "-1.5 s"},
        {-500, 500, true, "-0.5 s"},
        {-120000, 60000, true, "-2 min"},
        {-90000, 30000, true, "-1:30"},
        {-60000, 30000, true, "-1:00"},
        {0, 10000, false, "0:00"},
        {75000, 5000, false, "1:15"},
        {75300, 100, false, "1:15.3"},
        {3600000, 600000, false, "1:00:00"},
        {360000000 - 1, 3600000, false, "99:59:59"},
        {7261900, 500, false, "2:01:01.9"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TimeTickLabel(c.ms, c.step, c.relative), c.text)
            << c.ms << " step " << c.step << (c.relative ? " relative" : "");
}

TEST(ChartAxes, ValueTicksAreRoundAndInsideTheScale) {
    const struct {
        double min, max;
        int most;
        double step;
        std::vector<double> values;
        std::vector<const char*> labels;
    } cases[] = {
        // Engine speed, 0 .. 8250 rpm: 2000 rpm steps give 5 ticks, 1000 give 9.
        {0, 8250, 5, 2000, {0, 2000, 4000, 6000, 8000}, {"0", "2000", "4000", "6000", "8000"}},
        {0, 8250, 9, 1000, {0, 1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000}, {}},
        // Battery 0 .. 16 V in three: 5 V apart (0, 5, 10, 15).
        {0, 16, 4, 5, {0, 5, 10, 15}, {"0", "5", "10", "15"}},
        {0, 16, 3, 10, {0, 10}, {"0", "10"}},
        // Advance, -10 .. 50 degrees.
        {-10, 50, 4, 20, {0, 20, 40}, {"0", "20", "40"}},
        {-10, 50, 7, 10, {-10, 0, 10, 20, 30, 40, 50}, {"-10", "0", "10"}},
        // A small range needs decimals.
        {0, 1, 3, 0.5, {0, 0.5, 1}, {"0.0", "0.5", "1.0"}},
        {0.05, 0.25, 3, 0.1, {0.1, 0.2}, {"0.1", "0.2"}},
        // One tick allowed: one round value inside.
        {3, 97, 1, 50, {50}, {"50"}},
    };
    for (const auto& c : cases) {
        const ValueTicks t = NiceValueTicks(c.min, c.max, c.most);
        EXPECT_DOUBLE_EQ(t.step, c.step) << c.min << ".." << c.max << " in " << c.most;
        ASSERT_EQ(t.values.size(), c.values.size()) << c.min << ".." << c.max << " in " << c.most;
        for (std::size_t i = 0; i < c.values.size(); ++i)
            EXPECT_NEAR(t.values[i], c.values[i], 1e-9) << i;
        for (std::size_t i = 0; i < c.labels.size(); ++i)
            EXPECT_EQ(ValueTickLabel(t.values[i], t.decimals), c.labels[i]) << i;
    }
    EXPECT_TRUE(NiceValueTicks(5, 5, 4).values.empty());
    EXPECT_TRUE(NiceValueTicks(0, 10, 0).values.empty());
    EXPECT_EQ(ValueTickLabel(-0.01, 1), "0.0");
}

TEST(ChartAxes, TheLegendBreaksIntoLinesWhereTheNextEntryWouldPassTheEdge) {
    const struct {
        std::vector<int> widths;
        int right;
        std::vector<std::pair<int, int>> slots;  // x, line
        int lines;
    } cases[] = {
        // From x 4 to 300, 12 px between: 4..104, 116..216, then 228 + 100 passes 300.
        {{100, 100, 100}, 300, {{4, 0}, {116, 0}, {4, 1}}, 2},
        // Exactly to the edge still fits.
        {{100, 184}, 300, {{4, 0}, {116, 0}}, 1},
        {{100, 185}, 300, {{4, 0}, {4, 1}}, 2},
        // Wider than the line: alone on its line, the next one after it.
        {{50, 400, 50}, 300, {{4, 0}, {4, 1}, {4, 2}}, 3},
        {{400, 50}, 300, {{4, 0}, {4, 1}}, 2},
        {{}, 300, {}, 1},
    };
    for (const auto& c : cases) {
        const std::vector<LegendSlot> slots = LayOutLegend(c.widths, 4, c.right, 12);
        ASSERT_EQ(slots.size(), c.slots.size());
        for (std::size_t i = 0; i < slots.size(); ++i)
            EXPECT_EQ(std::pair(slots[i].x, slots[i].line), c.slots[i]) << i;
        EXPECT_EQ(LegendLines(slots), c.lines);
    }
}

TEST(ChartAxes, LanesShareTheHeightWithARowBetweenThem) {
    const struct {
        int height, count;
        std::vector<std::pair<int, int>> lanes;  // top, height
    } cases[] = {
        {100, 1, {{0, 100}}},
        {100, 3, {{0, 32}, {33, 33}, {67, 33}}},  // rows 32 and 66 between
        {9, 2, {{0, 4}, {5, 4}}},
        {2, 3, {{0, 0}, {1, 0}, {2, 0}}},  // no room: empty lanes, nothing past the height
    };
    for (const auto& c : cases) {
        for (int i = 0; i < c.count; ++i) {
            const Lane lane = LaneOf(c.height, i, c.count);
            EXPECT_EQ(std::pair(lane.top, lane.height), c.lanes[static_cast<std::size_t>(i)])
                << c.height << " " << i;
        }
    }
    // 0 .. 8250 on a lane of rows 33..65 (33 rows, 32 steps).
    const Lane lane{33, 33};
    EXPECT_EQ(RowOfValue(0, 0, 8250, lane), 65);
    EXPECT_EQ(RowOfValue(8250, 0, 8250, lane), 33);
    EXPECT_EQ(RowOfValue(4125, 0, 8250, lane), 49);     // half of 32 is 16
    EXPECT_EQ(RowOfValue(4253.95, 0, 8250, lane), 48);  // just over 16.5 steps: rounded up
    EXPECT_EQ(RowOfValue(20000, 0, 8250, lane), 33);    // beyond the scale: on its edge
    EXPECT_EQ(RowOfValue(-3000, 0, 8250, lane), 65);
}

TEST(Coverage, SharesDwellTimeAmongTheNearestPoints) {
    // 16 points over 0 .. 8250 rpm, 550 rpm apart.
    Coverage c(0.0, 8250.0, 16);
    const int64_t t[] = {0, 100, 300, 5300, 5400};
    const float rpm[] = {1000, 1100, 824, 275, 8250};
    c.AddRows(t, rpm, 0, 5);
    // 1000 -> point 2 (100 ms), 1100 -> 2 (200), 824 -> 1 (the 5 s gap counts
    // 1000), 275 -> point 1 (halves go up, 100), 8250 -> 15 (as long as the row
    // before: 100).
    EXPECT_EQ(c.TotalMs(), 1500);
    EXPECT_DOUBLE_EQ(c.Share(2), 300.0 / 1500);
    EXPECT_DOUBLE_EQ(c.Share(1), 1100.0 / 1500);
    EXPECT_DOUBLE_EQ(c.Share(15), 100.0 / 1500);
    EXPECT_TRUE(c.Used(1) && c.Used(2) && c.Used(15));
    EXPECT_FALSE(c.Used(0) || c.Used(3));
    // Shades: 40 + 10 x (16 x time / the busiest point's time, whole steps down).
    std::vector<int> shades(16, 0);
    shades[1] = 200;  // 1100 of 1100: 16 steps
    shades[2] = 80;   // 300 of 1100: 4.4 steps
    shades[15] = 50;  // 100 of 1100: 1.5 steps
    EXPECT_EQ(c.Shades(), shades);
    c.Add(-50, 10);  // below the axis: the first point
    EXPECT_TRUE(c.Used(0));
    c.Reset();
    EXPECT_EQ(c.TotalMs(), 0);
    EXPECT_EQ(c.Share(2), 0.0);
    EXPECT_FALSE(c.Used(2));
    EXPECT_EQ(c.Shades(), std::vector<int>(16, 0));
}

}  // namespace
}  // namespace qx::test
