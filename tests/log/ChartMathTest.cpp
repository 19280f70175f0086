// Column reduction for the chart and the coverage of map points.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "log/ColumnReduce.h"
#include "log/Coverage.h"

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
    const auto cols = Window(t, v, 9, 0, 100, 4);
    ASSERT_EQ(cols.size(), 4u);
    const struct {
        float min, max;
        bool any;
    } want[] = {{-1, 7, true}, {2, 2, true}, {3, 9, true}, {4, 4, true}};
    for (std::size_t c = 0; c < 4; ++c) {
        EXPECT_EQ(cols[c].any, want[c].any) << c;
        EXPECT_EQ(cols[c].min, want[c].min) << c;
        EXPECT_EQ(cols[c].max, want[c].max) << c;
    }
    // A window that starts inside the data skips what lies before it.
    const auto tail = Window(t, v, 9, 45, 65, 2);
    EXPECT_TRUE(tail[0].any && tail[0].min == 9 && tail[0].max == 9);
    EXPECT_TRUE(tail[1].any && tail[1].min == 3 && tail[1].max == 3);
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
    c.Add(-50, 10);  // below the axis: the first point
    EXPECT_TRUE(c.Used(0));
    c.Reset();
    EXPECT_EQ(c.TotalMs(), 0);
    EXPECT_EQ(c.Share(2), 0.0);
    EXPECT_FALSE(c.Used(2));
}

}  // namespace
}  // namespace qx::test
