#include <gtest/gtest.h>

#include <limits>

#include "gui/graph/GraphGeometry.h"

namespace qx::graph {
namespace {

constexpr GraphSize k800{800, 600, 18, 0};
constexpr AxisRange kSpark{0, 8250, 0, 45};

TEST(GraphGeometry, LayoutAt800x600) {
    EXPECT_EQ(CaptionBandHeight(k800), 27);
    EXPECT_EQ(PlotTop(k800), 93);
    EXPECT_EQ(PlotHeight(k800), 387);
    EXPECT_EQ(PlotLeft(k800), 128);
    EXPECT_EQ(PlotWidth(k800), 584);
    EXPECT_EQ(CalcGraphFrame(k800), (PixelRect{48, 63, 752, 564}));
    EXPECT_EQ(CaptionBand(k800), (PixelRect{48, 36, 752, 63}));
}

TEST(GraphGeometry, NoDivisionByZeroInATinyViewOrOnAFlatAxis) {
    const GraphSize tiny{40, 30, 18, 0};
    ASSERT_LE(PlotHeight(tiny), 0);
    EXPECT_DOUBLE_EQ(PixelsToValueDelta(tiny, kSpark, 10), 0.0);
    EXPECT_DOUBLE_EQ(PixelToY(tiny, kSpark, 10), 0.0);
    const AxisRange flat{5, 5, 3, 3};
    EXPECT_EQ(XToPixel(k800, flat, 5), 128);
    EXPECT_EQ(YToPixel(k800, flat, 3), 480);
}

TEST(GraphGeometry, ExtremeValuesStayInOrderAndInRange) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    constexpr double kBig = std::numeric_limits<double>::max();
    // Increasing values give non-decreasing columns and non-increasing rows,
    // however far outside the axes, and the marker box around them still fits an int.
    const double ordered[] = {-kInf, -kBig, -1e300, -1e12, -550, 0,
                              4125,  8250,  1e12,   1e300, kBig, kInf};
    int lastX = std::numeric_limits<int>::min();
    int lastY = std::numeric_limits<int>::max();
    for (double v : ordered) {
        const int px = XToPixel(k800, kSpark, v);
        const int py = YToPixel(k800, kSpark, v);
        EXPECT_GE(px, lastX) << v;
        EXPECT_LE(py, lastY) << v;
        lastX = px;
        lastY = py;
        const PixelRect m = MarkerRect({px, py}).Inflated(10);
        EXPECT_LT(m.left, m.right) << v;
        EXPECT_LT(m.top, m.bottom) << v;
    }
    EXPECT_GT(XToPixel(k800, kSpark, -1e300), std::numeric_limits<int>::min() / 2);
    EXPECT_GT(XToPixel(k800, kSpark, kInf), PlotRight(k800));
    EXPECT_LT(XToPixel(k800, kSpark, -kInf), PlotLeft(k800));
    EXPECT_GT(YToPixel(k800, kSpark, -kInf), PlotBottom(k800));
    // A value that is no number lands inside the plot, not at an arbitrary edge of int.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(XToPixel(k800, kSpark, nan), PlotLeft(k800));
    EXPECT_EQ(YToPixel(k800, kSpark, nan), PlotBottom(k800));
    // Rows far outside the window turn into values without overflowing.
    EXPECT_GT(PixelToY(k800, kSpark, std::numeric_limits<int>::min()), 1e7);
    EXPECT_LT(PixelToY(k800, kSpark, std::numeric_limits<int>::max()), -1e7);
}

TEST(GraphGeometry, SegmentCulling) {
    const PixelRect r{100, 100, 200, 200};
    const struct {
        PixelPoint a, b;
        bool meets;
    } cases[] = {
        {{100, 100}, {0, 0}, true},       // left/top edges inclusive
        {{200, 150}, {300, 150}, false},  // right edge exclusive
        {{150, 200}, {150, 300}, false},  // bottom edge exclusive
        {{150, 50}, {160, 250}, true},    // top to bottom
        {{50, 150}, {250, 160}, true},    // side to side
        {{0, 0}, {90, 90}, false},       {{210, 0}, {300, 150}, false},
        {{50, 120}, {150, 250}, true},   // cuts a corner
        {{50, 170}, {140, 260}, false},  // passes just outside it
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SegmentMeets(c.a, c.b, r), c.meets)
            << c.a.x << "," << c.a.y << " - " << c.b.x << "," << c.b.y;
    }
}

}  // namespace
}  // namespace qx::graph
