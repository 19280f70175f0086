// Curve tools on a range of points, and the clipboard text of points.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/maps/CurveTools.h"

namespace qx {
namespace {

using Ys = std::vector<double>;

TEST(CurveTools, ShapeTheRangeOnlyClampedAndStepped) {
    const CurveScale degrees{0.0, 45.0, 1.0};
    const CurveScale dwell{0.0, 4.0, 0.25};
    const Ys ramp = {0, 10, 3, 7, 30, 45};
    struct Case {
        const char* name;
        Ys got;
        Ys want;
    } cases[] = {
        {"interpolate", Interpolate(ramp, {1, 4}, degrees), {0, 10, 17, 23, 30, 45}},
        {"interpolate one point", Interpolate(ramp, {2, 2}, degrees), ramp},
        {"smooth keeps the ends", Smooth(ramp, {1, 4}, degrees), {0, 10, 6, 12, 30, 45}},
        {"smooth a straight line", Smooth({0, 2, 4, 6}, {0, 3}, degrees), {0, 2, 4, 6}},
        {"scale", ScaleBy(ramp, {0, 5}, degrees, 150.0), {0, 15, 5, 11, 45, 45}},
        {"scale down", ScaleBy(ramp, {3, 4}, degrees, 50.0), {0, 10, 3, 4, 15, 45}},
        {"offset", Offset(ramp, {0, 2}, degrees, -4.0), {0, 6, 0, 7, 30, 45}},
        {"set", SetAll(ramp, {4, 5}, degrees, 12.4), {0, 10, 3, 7, 12, 12}},
        {"set above the range", SetAll(ramp, {0, 0}, degrees, 99.0), {45, 10, 3, 7, 30, 45}},
        {"set not a number", SetAll(ramp, {1, 2}, degrees, NAN), ramp},
        {"reversed range", Offset(ramp, {4, 1}, degrees, 5.0), ramp},
        {"range past the end", Offset(ramp, {4, 6}, degrees, 5.0), ramp},
        {"fine step", Interpolate({0, 0, 0, 1}, {0, 3}, dwell), {0, 0.25, 0.75, 1}},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.want) << c.name;
}

TEST(CurveTools, PointsTextIsTabSeparatedUnderAHeaderAndPastesBack) {
    const std::string text =
        FormatPointsText("Engine Speed (RPM)\tMap: Advance (degrees)", {0, 550}, {12.5, 40});
    EXPECT_EQ(text, "Engine Speed (RPM)\tMap: Advance (degrees)\n0\t12.5\n550\t40\n");
    std::vector<PastedPoint> points;
    std::string error;
    ASSERT_TRUE(ParsePointsText(text, points, error)) << error;
    EXPECT_EQ(points, (std::vector<PastedPoint>{{2, 0.0, 12.5}, {3, 550.0, 40}}));
}

TEST(CurveTools, TypedNumbersTakeAPointOrADecimalComma) {
    struct Case {
        const char* text;
        std::optional<double> want;
    } cases[] = {{" 12.5 ", 12.5},       {"-7,25", -7.25},        {"110", 110.0},
                 {"", std::nullopt},     {"1,2,3", std::nullopt}, {"1.5,2", std::nullopt},
                 {"12 %", std::nullopt}, {"nan", std::nullopt}};
    for (const Case& c : cases) EXPECT_EQ(ParseNumberText(c.text), c.want) << c.text;
}

}  // namespace
}  // namespace qx
