// Curve tools on a range of points, and the clipboard text of points.
#include "maps/CurveTools.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

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

TEST(CurveTools, PointsTextRoundTripsAndReadsSpreadsheetColumns) {
    const std::string text =
        FormatPointsText("Engine Speed (RPM)\tMap: Advance (degrees)", {0, 550}, {12.5, 40});
    EXPECT_EQ(text, "Engine Speed (RPM)\tMap: Advance (degrees)\n0\t12.5\n550\t40\n");
    struct Case {
        const char* name;
        std::string text;
        bool ok;
        Ys want;
        std::string error;
    } cases[] = {
        {"own text with its header", text, true, {12.5, 40}, ""},
        {"one column, CRLF", "3\r\n4\r\n\r\n5", true, {3, 4, 5}, ""},
        {"tabs and decimal commas", "0\t12,5\n550\t7,25\n", true, {12.5, 7.25}, ""},
        {"semicolons and decimal commas", "x;y\n0;12,5\n550;7,25\n", true, {12.5, 7.25}, ""},
        {"a column of decimal commas", "12,5\n13\n", true, {12.5, 13}, ""},
        {"comma separated with points", "0,12.5\n550,13\n", true, {12.5, 13}, ""},
        {"comma separated, whole numbers",
         "0,1,2\n",
         false,
         {},
         "line 1: expected an x and a y value, found 3 values"},
        {"blanks", "  7   8 \n", true, {8}, ""},
        {"a word after the header", "x\ty\n1\nabc\n", false, {}, "line 3: \"abc\" is not a number"},
        {"an x that is not a number", "1\t2\nA\t3\n", false, {}, "line 2: \"A\" is not a number"},
        {"infinity", "1\ninf\n", false, {}, "line 2: \"inf\" is not a number"},
        {"only a header", "hello world\n", false, {}, "no numbers"},
        {"nothing", "\n \n", false, {}, "no numbers"},
    };
    for (const Case& c : cases) {
        Ys y = {-1};
        std::string error;
        EXPECT_EQ(ParsePointsText(c.text, y, error), c.ok) << c.name;
        if (c.ok) {
            EXPECT_EQ(y, c.want) << c.name;
        } else {
            EXPECT_EQ(error, c.error) << c.name;
            EXPECT_EQ(y, Ys{-1}) << c.name;  // untouched on failure
        }
    }
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
