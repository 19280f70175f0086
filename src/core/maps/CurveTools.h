#pragma once
// Shaping a run of map points at once. Pure functions: each takes the map's
// y values and an inclusive range of point indices and returns the new values,
// every one clamped to the map's range and stepped to its step the way a
// module value steps (so setting them changes nothing further). Points outside
// the range keep their values. An empty or reversed range changes nothing.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qx {

class ModuleMap;

struct CurveScale {
    double min = 0.0;
    double max = 0.0;
    double step = 0.0;
    // Clamped to min .. max and stepped (halves up), as ModuleValue::Quantize.
    double Quantize(double y) const;
};
// The scale of the map's points (its first point's range and step).
CurveScale ScaleOf(const ModuleMap& map);

struct CurveRange {
    int first = 0;
    int last = -1;  // inclusive
    bool Valid(int count) const { return first >= 0 && last < count && first <= last; }
};

// A straight line from the range's first point to its last.
std::vector<double> Interpolate(const std::vector<double>& y, CurveRange r, const CurveScale& s);
// Each inner point half way towards the average of its two neighbours (the
// values before smoothing); the range's end points stay.
std::vector<double> Smooth(const std::vector<double>& y, CurveRange r, const CurveScale& s);
// Each point times percent / 100.
std::vector<double> ScaleBy(const std::vector<double>& y, CurveRange r, const CurveScale& s,
                            double percent);
// Each point plus offset.
std::vector<double> Offset(const std::vector<double>& y, CurveRange r, const CurveScale& s,
                           double offset);
// Every point to value.
std::vector<double> SetAll(const std::vector<double>& y, CurveRange r, const CurveScale& s,
                           double value);

// A typed number: surrounding blanks allowed, a decimal point or a decimal
// comma; nothing else. Empty when the text is not a finite number.
std::optional<double> ParseNumberText(std::string_view text);

// The clipboard text of points, as a spreadsheet takes it: a header line
// naming the columns ("Engine Speed (RPM)" TAB "Front Cylinder Spark Advance:
// Advance (degrees)"), then one line per point, x TAB y, each ending in a
// line feed.
std::string PointsHeader(const ModuleMap& map);
std::string FormatPointsText(const std::string& header, const std::vector<double>& x,
                             const std::vector<double>& y);
// One pasted point: its y value, its x when the text gives one, and its line
// in the text (from 1) for messages.
struct PastedPoint {
    int line = 0;
    std::optional<double> x;
    double y = 0.0;
    bool operator==(const PastedPoint&) const = default;
};

// The points of pasted text, one per line (LF, CRLF or CR ends), each the y
// value alone or x and y. Fields are separated by tabs where the lines hold
// tabs, else by semicolons, else by commas, else by blanks. Between tabs or
// semicolons a number may have a decimal comma; comma-separated fields take a
// decimal point only, so "500,10" is x 500 and y 10, unless the lines cannot
// be x and y ("7,4" over "8" is a column with decimal commas), and one such
// line alone is refused as either. One text uses one decimal mark. The first
// line is a header when it holds no digit at all; otherwise it is read as
// numbers like any other ("O5" is refused, never taken for a header). A field
// wholly in double quotes stands for its content (a quoted decimal comma is
// one even between commas). A UTF-8 byte-order mark at the start is dropped,
// a no-break space is a blank and the minus sign U+2212 a minus. Blank lines
// are skipped; every line gives as many values as the first.
// False with a reason naming the line ("line 2: \"abc\" is not a number")
// and points untouched otherwise.
bool ParsePointsText(const std::string& text, std::vector<PastedPoint>& points, std::string& error);

// What a paste is checked against: the map's x points, its scale and units.
struct PointsAxis {
    std::vector<double> x;
    CurveScale scale;
    std::string xUnits;
    std::string yUnits;
};
PointsAxis AxisOf(const ModuleMap& map);

// Sets the pasted points on y from point first on, each stepped. Refused (false
// and a reason naming the line, y untouched) when a value lies outside the
// scale, which is never clamped; when an x given is not the x of the point it
// would land on (a shifted paste); or when the points run past the map's end.
bool PlacePastedPoints(const std::vector<PastedPoint>& pasted, const PointsAxis& axis, int first,
                       std::vector<double>& y, std::string& error);

}  // namespace qx
