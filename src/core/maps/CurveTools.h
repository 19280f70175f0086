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
// The y values of pasted text: one point per line, the y value alone or x
// and y, separated by tabs, semicolons, commas or blanks. A comma is a
// decimal comma when tabs or semicolons separate the fields, or when no line
// has a point or more than one comma. A first line that is not numbers is a
// header and skipped; blank lines are skipped. False with a reason
// ("line 2: \"abc\" is not a number") and y untouched otherwise.
bool ParsePointsText(const std::string& text, std::vector<double>& y, std::string& error);

}  // namespace qx
