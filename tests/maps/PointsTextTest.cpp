// Pasted text of map points: the forms a spreadsheet puts on the clipboard,
// and the checks against the map before any point is set.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/maps/CurveTools.h"

namespace qx {
namespace {

using Points = std::vector<PastedPoint>;
constexpr std::optional<double> kNoX;

TEST(PointsText, EachSpreadsheetFormReadsAsItsXAndYValues) {
    struct Case {
        const char* name;
        std::string text;
        Points want;
    } cases[] = {
        {"own copy, tabs and a header",
         "Engine Speed (rpm)\tFront Cylinder Spark Advance: Advance (deg)\n0\t12.5\n550\t40\n",
         {{2, 0.0, 12.5}, {3, 550.0, 40}}},
        {"comma separated whole numbers under a header",
         "RPM,Advance\n500,10\n1000,12\n",
         {{2, 500.0, 10}, {3, 1000.0, 12}}},
        {"comma separated whole numbers, no header",
         "0,10\n550,12\n",
         {{1, 0.0, 10}, {2, 550.0, 12}}},
        {"one comma separated row under a header", "RPM,Advance\r\n500,10\r\n", {{2, 500.0, 10}}},
        {"comma separated with decimal points",
         "0,12.5\n550,13\n",
         {{1, 0.0, 12.5}, {2, 550.0, 13}}},
        {"blanks after commas", "0, 12.5\n550, 13\n", {{1, 0.0, 12.5}, {2, 550.0, 13}}},
        {"tabs and decimal commas", "0\t12,5\n550\t7,25\n", {{1, 0.0, 12.5}, {2, 550.0, 7.25}}},
        {"semicolons and decimal commas",
         "x;y\n0;12,5\n550;7,25\n",
         {{2, 0.0, 12.5}, {3, 550.0, 7.25}}},
        {"a column with decimal commas", "12,5\n13\n", {{1, kNoX, 12.5}, {2, kNoX, 13}}},
        {"CR line ends", "7\r8\r\r9", {{1, kNoX, 7}, {2, kNoX, 8}, {4, kNoX, 9}}},
        {"CRLF line ends", "3\r\n4\r\n\r\n5", {{1, kNoX, 3}, {2, kNoX, 4}, {4, kNoX, 5}}},
        {"rows ending in a tab", "0\t5\t\n550\t6\t\n", {{1, 0.0, 5}, {2, 550.0, 6}}},
        {"blanks between", "  7   8 \n", {{1, 7.0, 8}}},
        {"a header naming a map", "Map\n4\n", {{2, kNoX, 4}}},
        {"a row of marks alone", ";;\n0;6\n", {{2, 0.0, 6}}},
        // What other programs put around the numbers.
        {"a byte-order mark before a number",
         "\xEF\xBB\xBF"
         "5\n6\n7\n",
         {{1, kNoX, 5}, {2, kNoX, 6}, {3, kNoX, 7}}},
        {"a byte-order mark before a header", "\xEF\xBB\xBFRPM\tAdvance\n0\t5\n", {{2, 0.0, 5}}},
        {"a no-break space before a number",
         "\xC2\xA0"
         "5\n6\n7\n",
         {{1, kNoX, 5}, {2, kNoX, 6}, {3, kNoX, 7}}},
        {"no-break spaces between x and y",
         "0\xC2\xA0"
         "5\n550\xC2\xA0"
         "6\n",
         {{1, 0.0, 5}, {2, 550.0, 6}}},
        {"the minus sign",
         "\xE2\x88\x92"
         "5\n6\n7\n",
         {{1, kNoX, -5}, {2, kNoX, 6}, {3, kNoX, 7}}},
        {"quoted fields", "\"0\"\n\"6\"\n", {{1, kNoX, 0}, {2, kNoX, 6}}},
        {"quoted x and y between commas",
         "\"0\",\"5\"\n\"550\",\"6\"\n",
         {{1, 0.0, 5}, {2, 550.0, 6}}},
        {"quoted decimal commas between commas",
         "\"0\",\"12,5\"\n\"550\",\"7,25\"\n",
         {{1, 0.0, 12.5}, {2, 550.0, 7.25}}},
        {"one quoted row is x and y", "\"12\",\"5\"\n", {{1, 12.0, 5}}},
        {"a quoted column with decimal commas",
         "\"12,5\"\n\"13\"\n",
         {{1, kNoX, 12.5}, {2, kNoX, 13}}},
        {"blanks inside quotes", "\" 4 \"\t\" 7\"\n", {{1, 4.0, 7}}},
    };
    for (const Case& c : cases) {
        Points got;
        std::string error;
        EXPECT_TRUE(ParsePointsText(c.text, got, error)) << c.name << ": " << error;
        EXPECT_EQ(got, c.want) << c.name;
    }
}

TEST(PointsText, DoubtfulTextIsRefusedNamingItsLine) {
    struct Case {
        const char* name;
        std::string text;
        std::string error;
    } cases[] = {
        {"a mistyped first row is no header", "1O\n5\n6\n", "line 1: \"1O\" is not a number"},
        // A first line with a digit is a row: a typo before it never makes it a header.
        {"a letter O for a zero", "O5\n6\n7\n", "line 1: \"O5\" is not a number"},
        {"a letter l for a one", "l5\n6\n7\n", "line 1: \"l5\" is not a number"},
        {"an apostrophe before", "'5\n6\n7\n", "line 1: \"'5\" is not a number"},
        {"an equals sign before", "=5\n6\n7\n", "line 1: \"=5\" is not a number"},
        {"a header with a digit", "Map 1\n4\n", "line 1: \"Map\" is not a number"},
        {"column names with a digit", "Speed 2\tAdvance\n0\t5\n",
         "line 1: \"Speed 2\" is not a number"},
        // The field's own quotes are not doubled in a message.
        {"a quoted word", "x\n\"ab1\"\n", "line 2: \"ab1\" is not a number"},
        {"a stray quote", "x\n5\"\n", "line 2: '5\"' is not a number"},
        {"a mistyped row with x", "0\t1O\n550\t5\n", "line 1: \"1O\" is not a number"},
        {"a word after the header", "x\ty\n1\nabc\n", "line 3: \"abc\" is not a number"},
        {"an x that is not a number", "1\t2\nA\t3\n", "line 2: \"A\" is not a number"},
        {"infinity", "1\ninf\n", "line 2: \"inf\" is not a number"},
        {"an empty x", "\t5\n", "line 1: field 1 is empty"},
        {"one comma separated row", "12,5\n",
         "line 1: \"12,5\" may be an x and a y value or one number with a decimal comma; write a "
         "decimal point, or separate x and y by a tab or a semicolon"},
        {"three values", "0,1,2\n", "line 1: expected an x and a y value, found 3 values"},
        {"both decimal marks", "0\t1,5\n550\t2.5\n",
         "line 2: \"2.5\" has a decimal point where line 1 has a decimal comma"},
        {"an x missing", "0\t5\n6\n",
         "line 2: a y value alone where line 1 has an x and a y value"},
        {"an x missing among commas", "0,5.5\n6\n",
         "line 2: a y value alone where line 1 has an x and a y value (commas separate x and y; "
         "for decimal commas separate them by tabs or semicolons)"},
        {"only a header", "hello world\n", "no numbers"},
        {"nothing", "\n \r\n", "no numbers"},
    };
    for (const Case& c : cases) {
        Points got = {{9, 9.0, 9}};
        std::string error;
        EXPECT_FALSE(ParsePointsText(c.text, got, error)) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
        EXPECT_EQ(got, (Points{{9, 9.0, 9}})) << c.name;  // untouched
    }
}

TEST(PointsText, PastedPointsAreCheckedAgainstTheMapNeverClamped) {
    // Worked out by hand: an advance map, 0 to 8250 rpm in steps of 550, 0 to
    // 45 deg by 1; a dwell map, 0 to 16 volts in fifteenths, 0 to 15 by 0.5.
    PointsAxis advance{{}, {0, 45, 1}, "rpm", "deg"};
    for (int i = 0; i < 16; ++i) advance.x.push_back(550.0 * i);
    PointsAxis dwell{{}, {0, 15, 0.5}, "volts", "msec"};
    for (int i = 0; i < 16; ++i) dwell.x.push_back(16.0 * i / 15.0);
    const std::vector<double> zeros(16, 0.0);
    struct Placed {
        const char* name;
        const PointsAxis& axis;
        Points pasted;
        int first;
        std::vector<std::pair<int, double>> set;  // the points that change, and to what
    } placed[] = {
        {"y alone, stepped", advance, {{1, kNoX, 12.4}, {2, kNoX, 12.5}}, 3, {{3, 12}, {4, 13}}},
        {"the range's ends", advance, {{1, kNoX, 0}, {2, kNoX, 45}}, 14, {{15, 45}}},
        {"x on its points", advance, {{2, 1100.0, 7}, {3, 1650.0, 8}}, 2, {{2, 7}, {3, 8}}},
        {"dwell halves", dwell, {{1, kNoX, 7.3}, {2, kNoX, 7.2}}, 0, {{0, 7.5}, {1, 7}}},
        {"dwell x rounded to hundredths", dwell, {{1, 1.07, 2}}, 1, {{1, 2}}},
    };
    for (const Placed& c : placed) {
        std::vector<double> y = zeros, want = zeros;
        for (auto [i, v] : c.set) want[static_cast<std::size_t>(i)] = v;
        std::string error;
        EXPECT_TRUE(PlacePastedPoints(c.pasted, c.axis, c.first, y, error)) << c.name << error;
        EXPECT_EQ(y, want) << c.name;
    }
    const std::string other = "; to put values on other points, paste the y values alone";
    struct Refused {
        const char* name;
        const PointsAxis& axis;
        Points pasted;
        int first;
        std::string error;
    } refused[] = {
        {"above the range",
         advance,
         {{1, kNoX, 5}, {3, kNoX, 60}},
         0,
         "line 3: 60 is outside 0 to 45 deg"},
        {"below the range", advance, {{4, kNoX, -5}}, 0, "line 4: -5 is outside 0 to 45 deg"},
        {"a paste shifted by a point",
         advance,
         {{2, 0.0, 7}, {3, 550.0, 8}},
         1,
         "line 2: x 0 is not the x of point 2 (550 rpm) but of point 1" + other},
        {"x of no point",
         advance,
         {{1, 12.0, 5}},
         0,
         "line 1: x 12 is not the x of point 1 (0 rpm)" + other},
        {"more than fit",
         advance,
         {{1, kNoX, 1}, {2, kNoX, 2}},
         15,
         "2 points do not fit from point 16 on"},
        {"dwell x rounded to tenths is not the point's",
         dwell,
         {{1, 1.1, 2}},
         1,
         "line 1: x 1.1 is not the x of point 2 (1.06666666666667 volts)" + other},
        {"dwell above the range",
         dwell,
         {{1, kNoX, 15.2}},
         0,
         "line 1: 15.2 is outside 0 to 15 msec"},
    };
    for (const Refused& c : refused) {
        std::vector<double> y = zeros;
        std::string error;
        EXPECT_FALSE(PlacePastedPoints(c.pasted, c.axis, c.first, y, error)) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
        EXPECT_EQ(y, zeros) << c.name;  // untouched
    }
}

}  // namespace
}  // namespace qx
