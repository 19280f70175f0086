#pragma once
// Shaping a run of map points at once. Pure functions: each takes the map's
// y values and an inclusive range of point indices and returns the new values,
// every one clamped to the map's range and stepped to its step the way a
// module value steps (so setting them changes nothing further). Points outside
// the range keep their values. An empty or reversed range changes nothing.
#include <string>
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

// The clipboard text of points: one line per point, x TAB y, ending in a line
// feed, so that a spreadsheet takes it as two columns.
std::string FormatPointsText(const std::vector<double>& x, const std::vector<double>& y);
// The y values in text: one value per line, the last field of each line
// (fields split by tabs, semicolons or blanks; a decimal comma is read as a
// point when the line has no other comma). Empty lines are skipped. False
// with a reason ("line 2: \"abc\" is not a number") when a line does not read
// or there is no value.
bool ParsePointsText(const std::string& text, std::vector<double>& y, std::string& error);

}  // namespace qx
