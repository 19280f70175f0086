// Pasted points. The first byte chooses between two halves:
//  - text as it comes: nothing may crash, and whatever is accepted and placed
//    on any map gives only values inside the map's range, on its step, on
//    the pasted points alone;
//  - a spreadsheet's text built from known values (tabs, semicolons, commas
//    or blanks; decimal points or decimal commas; a header or none; LF, CRLF
//    or CR; fields in double quotes or not; a byte-order mark, no-break
//    spaces and the minus sign U+2212 as other programs write them): it must
//    read back as exactly those values, placed on the map when every y is
//    inside its range and refused otherwise.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/maps/CalibrationMaps.h"
#include "core/maps/CurveTools.h"
#include "core/maps/ModuleMap.h"

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "points text: %s\n", what);
        std::abort();
    }
}

const std::vector<qx::PointsAxis>& Axes() {
    static const std::vector<qx::PointsAxis> axes = [] {
        std::vector<qx::PointsAxis> all;
        for (int m = 0; m < qx::kMapCount; ++m) {
            std::unique_ptr<qx::ModuleMap> map = qx::MakeMap(m);
            map->InitializeMap();
            all.push_back(qx::AxisOf(*map));
        }
        return all;
    }();
    return axes;
}

// Bytes drawn in turn; zeros once they run out.
struct Draw {
    const uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
    unsigned Byte() { return at < size ? data[at++] : 0u; }
    unsigned Below(unsigned n) { return n == 0 ? 0 : Byte() % n; }
};

bool OnStep(double y, const qx::CurveScale& s) {
    if (s.step == 0.0) return true;
    const double steps = y / s.step;
    return std::fabs(steps - std::round(steps)) < 1e-9;
}

// Places accepted points on map m from first on; checks what may change.
void CheckPlaced(const std::vector<qx::PastedPoint>& points, int m, int first) {
    const qx::PointsAxis& axis = Axes()[static_cast<std::size_t>(m)];
    const qx::CurveScale& s = axis.scale;
    const std::vector<double> before(axis.x.size(), s.min);
    std::vector<double> y = before;
    std::string error;
    if (!qx::PlacePastedPoints(points, axis, first, y, error)) {
        Require(y == before, "a refused paste changed values");
        Require(!error.empty(), "a refused paste without a reason");
        return;
    }
    Require(first >= 0 && static_cast<std::size_t>(first) + points.size() <= y.size(),
            "points placed past the map");
    for (std::size_t i = 0; i < y.size(); ++i) {
        const bool pasted = i >= static_cast<std::size_t>(first) &&
                            i < static_cast<std::size_t>(first) + points.size();
        if (!pasted) {
            Require(y[i] == before[i], "a point outside the paste changed");
            continue;
        }
        Require(std::isfinite(y[i]) && y[i] >= s.min && y[i] <= s.max, "a value outside the range");
        Require(OnStep(y[i], s), "a value off the step");
        // Stepping moves a value by half a step at most; it never clamps.
        const double given = points[i - static_cast<std::size_t>(first)].y;
        Require(std::fabs(given - y[i]) <= s.step / 2 + 1e-9, "a value moved by more than a step");
    }
}

void AsItComes(const uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<qx::PastedPoint> points;
    std::string error;
    if (!qx::ParsePointsText(text, points, error)) {
        Require(points.empty(), "a refused text gave points");
        Require(!error.empty(), "a refused text without a reason");
        return;
    }
    Require(!points.empty(), "an accepted text without points");
    int line = 0;
    for (const qx::PastedPoint& p : points) {
        Require(p.line > line, "points out of line order");
        line = p.line;
        Require(std::isfinite(p.y) && (!p.x || std::isfinite(*p.x)), "a value not finite");
        Require(p.x.has_value() == points.front().x.has_value(), "x given on some lines only");
    }
    const unsigned first = size > 0 ? data[0] % 16u : 0u;
    for (int m = 0; m < qx::kMapCount; ++m) CheckPlaced(points, m, static_cast<int>(first));
}

// A number written with decimals digits after the mark: units / 10^decimals exactly.
std::string Written(long units, int decimals, char mark) {
    const bool negative = units < 0;
    const unsigned long magnitude = static_cast<unsigned long>(negative ? -units : units);
    std::string digits = std::to_string(magnitude);
    const std::size_t places = static_cast<std::size_t>(decimals);
    if (digits.size() <= places) digits.insert(0, places + 1 - digits.size(), '0');
    const std::size_t whole = digits.size() - places;
    std::string text = negative ? "-" : "";
    text.append(digits, 0, whole);
    if (places > 0) {
        text.push_back(mark);
        text.append(digits, whole, places);
    }
    return text;
}

void FromKnownValues(const uint8_t* data, std::size_t size) {
    Draw d{data, size};
    const int m = static_cast<int>(d.Below(qx::kMapCount));
    const qx::PointsAxis& axis = Axes()[static_cast<std::size_t>(m)];
    const int count = 1 + static_cast<int>(d.Below(16));
    const int first = static_cast<int>(d.Below(static_cast<unsigned>(17 - count)));
    // 0: tabs, 1: semicolons, 2: commas, 3: blanks, 4: one column.
    const unsigned form = d.Below(5);
    const bool withX = form != 4;
    // Fields in double quotes, as spreadsheets write them.
    const bool quote = d.Below(2) == 1;
    // A decimal comma only where commas do not separate fields (or quotes keep
    // them apart) and x stands beside y.
    const bool comma = (form == 0 || form == 1 || (form == 2 && quote)) && d.Below(2) == 1;
    const unsigned extras = d.Below(8);
    const bool bom = (extras & 1u) != 0;           // a UTF-8 byte-order mark first
    const bool unicodeMinus = (extras & 2u) != 0;  // U+2212 for every minus
    const bool noBreak = (extras & 4u) != 0;       // a no-break space before each field
    const char mark = comma ? ',' : '.';
    const int decimals = static_cast<int>(d.Below(4));
    const bool header = d.Below(2) == 1;
    const char* const ends[] = {"\n", "\r\n", "\r"};
    const std::string end = ends[d.Below(3)];
    const char* const separators[] = {"\t", ";", ",", " "};
    const std::string sep = withX ? separators[form] : "";

    auto field = [&](const std::string& f) {
        std::string text = noBreak ? "\xC2\xA0" : "";
        if (unicodeMinus && !f.empty() && f[0] == '-') {
            text += "\xE2\x88\x92" + f.substr(1);
        } else {
            text += f;
        }
        return quote ? "\"" + text + "\"" : text;
    };
    std::string text = bom ? "\xEF\xBB\xBF" : "";
    if (header) text += withX ? field("Speed") + sep + field("Value") + end : field("Value") + end;
    const bool wholeX = d.Below(2) == 1;
    bool pointInX = false;
    std::vector<double> wantY;
    bool inside = true;
    const double unit = std::pow(10.0, decimals);
    for (int i = 0; i < count; ++i) {
        // y anywhere from a little below the range to a little above it.
        const double span = axis.scale.max - axis.scale.min;
        const long lowest = std::lround((axis.scale.min - span / 4) * unit);
        const long width = std::lround(span * 1.5 * unit) + 1;
        const long units = lowest + static_cast<long>((d.Byte() << 8 | d.Byte()) % width);
        const std::string y = Written(units, decimals, mark);
        // Both exact in a double, so their quotient is the decimal rounded once.
        wantY.push_back(static_cast<double>(units) / unit);
        inside = inside && wantY.back() >= axis.scale.min && wantY.back() <= axis.scale.max;
        if (withX) {
            // The point's x, whole or to millionths as a spreadsheet rounds it.
            const double x = axis.x[static_cast<std::size_t>(first + i)];
            const int places = x == std::floor(x) && wholeX ? 0 : 6;
            text += field(Written(std::lround(x * std::pow(10.0, places)), places, mark)) + sep;
            pointInX = pointInX || places > 0;
        }
        text += field(y) + end;
        if (d.Below(8) == 0) text += end;  // a blank line
    }

    std::vector<qx::PastedPoint> points;
    std::string error;
    const bool read = qx::ParsePointsText(text, points, error);
    // Comma-separated whole numbers on one line alone may be one number with
    // a decimal comma: that is refused, never guessed (quotes tell the fields).
    if (form == 2 && decimals == 0 && !pointInX && count == 1 && !header && !quote) {
        Require(!read, "a lone comma-separated pair of whole numbers was guessed");
        return;
    }
    Require(read, "a spreadsheet's text was refused");
    Require(points.size() == wantY.size(), "a spreadsheet's text gave another number of points");
    for (std::size_t i = 0; i < points.size(); ++i) {
        Require(points[i].y == wantY[i], "a y value read differently");
        Require(points[i].x.has_value() == withX, "an x read where none was given or lost");
    }
    std::vector<double> y(axis.x.size(), axis.scale.min);
    const bool placed = qx::PlacePastedPoints(points, axis, first, y, error);
    Require(placed == inside, inside ? "values inside the range were refused"
                                     : "a value outside the range was placed");
    if (placed) {
        for (int i = 0; i < count; ++i) {
            Require(y[static_cast<std::size_t>(first + i)] ==
                        axis.scale.Quantize(wantY[static_cast<std::size_t>(i)]),
                    "a placed value is not the pasted one stepped");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    if (data[0] & 1u) {
        FromKnownValues(data + 1, size - 1);
    } else {
        AsItComes(data + 1, size - 1);
    }
    return 0;
}
