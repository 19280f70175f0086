// The chart's own rasteriser against a plain pixel-by-pixel drawing, and its
// parts drawn alone against the whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "gui/chart/ChartRaster.h"

namespace qx::gui {
namespace {

struct Canvas {
    Canvas(int w, int h, uint32_t fill = 0x12345678u)
        : width(w), height(h), bits(static_cast<std::size_t>(w * h), fill) {}
    ChartPixels Pixels() { return {bits.data(), width, height, width}; }
    uint32_t At(int x, int y) const { return bits[static_cast<std::size_t>(y * width + x)]; }
    int width;
    int height;
    std::vector<uint32_t> bits;
};

// Ground, frame, then every stroke pixel by pixel, a later series over an earlier.
Canvas Plainly(int w, int h, const std::vector<ChartSeries>& series) {
    Canvas c(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            c.bits[static_cast<std::size_t>(y * w + x)] =
                (x == 0 || y == 0 || x == w - 1 || y == h - 1) ? kChartFrame : kChartGround;
    for (const ChartSeries& s : series)
        for (std::size_t x = 0; x < s.strokes.size() && static_cast<int>(x) < w; ++x)
            for (int y = std::max(s.strokes[x].lo, 0); y <= std::min(s.strokes[x].hi, h - 1); ++y)
                c.bits[static_cast<std::size_t>(y * w) + x] = s.color;
    return c;
}

std::vector<ChartSeries> RandomSeries(std::mt19937& random, int w, int h, bool lines) {
    std::vector<ChartSeries> series(1 + random() % 7);
    for (std::size_t k = 0; k < series.size(); ++k) {
        ChartSeries& s = series[k];
        s.color = 0xFF000000u | static_cast<uint32_t>(k + 1) * 0x102030u;
        if (lines) {
            int x = -static_cast<int>(random() % 40);
            while (x < w + 40) {
                // Now and then a gap in the rows before the point.
                s.line.push_back(
                    {x, static_cast<int>(random() % (h + 20)) - 10, random() % 6 == 0});
                x += static_cast<int>(random() % 12);  // repeats, steps and steep rises
            }
            continue;
        }
        s.strokes.resize(static_cast<std::size_t>(w));
        for (ChartStroke& st : s.strokes) {
            if (random() % 4 == 0) continue;  // a column without samples
            const int a = static_cast<int>(random() % (h + 10)) - 5;
            const int b = random() % 3 == 0 ? a : static_cast<int>(random() % (h + 10)) - 5;
            st = {std::min(a, b), std::max(a, b)};  // some beyond the plot's rows
        }
    }
    return series;
}

TEST(ChartRaster, StrokesMatchAPlainDrawingPixelForPixel) {
    std::mt19937 random(1207);
    ChartRaster raster;  // scratch reused across sizes
    for (int round = 0; round < 60; ++round) {
        const int w = 2 + static_cast<int>(random() % 300);
        const int h = 2 + static_cast<int>(random() % 200);
        const auto series = RandomSeries(random, w, h, false);
        Canvas got(w, h);
        raster.Draw(got.Pixels(), series, 0, w);
        const Canvas want = Plainly(w, h, series);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(got.At(x, y), want.At(x, y)) << round << " at " << x << "," << y;
    }
}

TEST(ChartRaster, AnyRunOfColumnsDrawnAloneMatchesTheWholeAndLeavesTheRest) {
    std::mt19937 random(7);
    ChartRaster raster;
    for (int round = 0; round < 80; ++round) {
        const int w = 2 + static_cast<int>(random() % 250);
        const int h = 2 + static_cast<int>(random() % 120);
        const auto series = RandomSeries(random, w, h, round % 2 == 0);
        Canvas whole(w, h);
        raster.Draw(whole.Pixels(), series, 0, w);
        // Every column drawn exactly once, in pieces of random width, in any order.
        std::vector<std::pair<int, int>> pieces;
        for (int x = 0; x < w;) {
            const int next = std::min(w, x + 1 + static_cast<int>(random() % 40));
            pieces.push_back({x, next});
            x = next;
        }
        std::shuffle(pieces.begin(), pieces.end(), random);
        Canvas parts(w, h);
        for (auto [from, to] : pieces) raster.Draw(parts.Pixels(), series, from, to);
        EXPECT_EQ(parts.bits, whole.bits) << round;
        // Columns outside the range are left alone; a range off the plot draws nothing.
        Canvas one(w, h);
        raster.Draw(one.Pixels(), series, w / 2, w / 2 + 1);
        raster.Draw(one.Pixels(), series, w, w + 10);
        raster.Draw(one.Pixels(), series, -5, 0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(one.At(x, y), x == w / 2 ? whole.At(x, y) : 0x12345678u)
                    << round << " at " << x << "," << y;
    }
}

// Worked by hand: a flat run, a gap, two points each alone, then a joined pair.
TEST(ChartRaster, ALineBreaksWhereAPointSaysSoAndAPointAloneIsADot) {
    const uint32_t ink = 0xFF0000FFu;
    ChartSeries s;
    s.color = ink;
    s.line = {{2, 5}, {10, 5}, {20, 15, true}, {30, 15, true}, {34, 3, true}, {37, 3}};
    Canvas c(40, 20);
    ChartRaster raster;
    raster.Draw(c.Pixels(), {s}, 0, 40);
    std::vector<std::pair<int, int>> want;
    for (int x = 2; x <= 10; ++x) want.push_back({x, 5});
    want.push_back({20, 15});
    want.push_back({30, 15});
    for (int x = 34; x <= 37; ++x) want.push_back({x, 3});
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 40; ++x) {
            const bool on = std::find(want.begin(), want.end(), std::pair{x, y}) != want.end();
            EXPECT_EQ(c.At(x, y) == ink, on) << x << "," << y;
        }
    }
    // Drawn column by column, the same.
    Canvas parts(40, 20);
    for (int x = 0; x < 40; ++x) raster.Draw(parts.Pixels(), {s}, x, x + 1);
    EXPECT_EQ(parts.bits, c.bits);
}

TEST(ChartLine, ConnectedFromEndToEndTheSameBothWaysAndWhereverItIsCut) {
    std::mt19937 random(99);
    for (int round = 0; round < 400; ++round) {
        const int w = 1 + static_cast<int>(random() % 80);
        const int h = 1 + static_cast<int>(random() % 80);
        auto point = [&] {
            return ChartPoint{static_cast<int>(random() % (w + 40)) - 20,
                              static_cast<int>(random() % (h + 40)) - 20};
        };
        const ChartPoint a = round % 50 == 0 ? ChartPoint{w / 2, h / 2} : point();
        const ChartPoint b = round % 50 == 0 ? a : point();
        // On a canvas big enough for the whole line, the pixels in order of the major axis.
        const int big = 200;
        Canvas whole(big, big, 0);
        const ChartPoint bigA{a.x + 60, a.y + 60};
        const ChartPoint bigB{b.x + 60, b.y + 60};
        DrawChartLine(whole.Pixels(), bigA, bigB, 1, 0, big);
        Canvas back(big, big, 0);
        DrawChartLine(back.Pixels(), bigB, bigA, 1, 0, big);
        ASSERT_EQ(whole.bits, back.bits) << round;
        ASSERT_EQ(whole.At(bigA.x, bigA.y), 1u);
        ASSERT_EQ(whole.At(bigB.x, bigB.y), 1u);
        const bool xMajor = std::abs(b.x - a.x) >= std::abs(b.y - a.y);
        int count = 0;
        int previous = 0;
        bool started = false;
        for (int major = 0; major < big; ++major) {
            int found = -1;
            int here = 0;
            for (int minor = 0; minor < big; ++minor) {
                if ((xMajor ? whole.At(major, minor) : whole.At(minor, major)) == 1u) {
                    found = minor;
                    ++here;
                }
            }
            if (found < 0) continue;
            ASSERT_EQ(here, 1) << round << ": one pixel a step of the major axis";
            if (started) {
                ASSERT_LE(std::abs(found - previous), 1) << round << ": no gaps";
            }
            previous = found;
            started = true;
            ++count;
        }
        ASSERT_EQ(count, 1 + std::max(std::abs(b.x - a.x), std::abs(b.y - a.y))) << round;
        // Cut to the plot and to any run of its columns: the same pixels.
        for (int from = 0; from < w; from += 1 + static_cast<int>(random() % 9)) {
            const int to = std::min(w, from + 1 + static_cast<int>(random() % 20));
            Canvas cut(w, h, 0);
            DrawChartLine(cut.Pixels(), a, b, 1, from, to);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    ASSERT_EQ(cut.At(x, y), x >= from && x < to ? whole.At(x + 60, y + 60) : 0u)
                        << round << " at " << x << "," << y;
        }
    }
}

}  // namespace
}  // namespace qx::gui
