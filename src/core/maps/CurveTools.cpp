#include "maps/CurveTools.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "host/Numbers.h"
#include "maps/ModuleMap.h"

namespace qx {

double CurveScale::Quantize(double y) const {
    if (min == max) return y;
    y = std::clamp(y, min, max);
    if (step == 0.0) return y;
    return RoundTo(y / step, 0) * step;
}

CurveScale ScaleOf(const ModuleMap& map) {
    if (!map.Initialized() || map.PointCount() == 0) return {};
    const ModuleValue& v = *map.Point(0).value;
    return {v.Min(), v.Max(), v.Delta()};
}

namespace {

template <typename F>
std::vector<double> Each(const std::vector<double>& y, CurveRange r, const CurveScale& s, F f) {
    std::vector<double> out = y;
    if (!r.Valid(static_cast<int>(y.size()))) return out;
    for (int i = r.first; i <= r.last; ++i) {
        // A value that is not a number never reaches a point.
        const double v = f(i);
        if (std::isfinite(v)) out[static_cast<std::size_t>(i)] = s.Quantize(v);
    }
    return out;
}

double At(const std::vector<double>& y, int i) {
    return y[static_cast<std::size_t>(i)];
}

}  // namespace

std::vector<double> Interpolate(const std::vector<double>& y, CurveRange r, const CurveScale& s) {
    return Each(y, r, s, [&](int i) {
        if (r.first == r.last) return At(y, i);
        const double t = static_cast<double>(i - r.first) / static_cast<double>(r.last - r.first);
        return At(y, r.first) + (At(y, r.last) - At(y, r.first)) * t;
    });
}

std::vector<double> Smooth(const std::vector<double>& y, CurveRange r, const CurveScale& s) {
    return Each(y, r, s, [&](int i) {
        if (i == r.first || i == r.last) return At(y, i);
        const double mean = (At(y, i - 1) + At(y, i + 1)) / 2.0;
        return At(y, i) + (mean - At(y, i)) / 2.0;
    });
}

std::vector<double> ScaleBy(const std::vector<double>& y, CurveRange r, const CurveScale& s,
                            double percent) {
    return Each(y, r, s, [&](int i) { return At(y, i) * percent / 100.0; });
}

std::vector<double> Offset(const std::vector<double>& y, CurveRange r, const CurveScale& s,
                           double offset) {
    return Each(y, r, s, [&](int i) { return At(y, i) + offset; });
}

std::vector<double> SetAll(const std::vector<double>& y, CurveRange r, const CurveScale& s,
                           double value) {
    return Each(y, r, s, [&](int) { return value; });
}

namespace {

std::string Number(double v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.15g", v);
    return buffer;
}

}  // namespace

std::string FormatPointsText(const std::vector<double>& x, const std::vector<double>& y) {
    std::string text;
    for (std::size_t i = 0; i < y.size(); ++i) {
        if (i < x.size()) text += Number(x[i]) + "\t";
        text += Number(y[i]) + "\n";
    }
    return text;
}

bool ParsePointsText(const std::string& text, std::vector<double>& y, std::string& error) {
    std::vector<double> values;
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // With tabs or semicolons between fields a comma is a decimal comma; so
        // is a lone comma in one field; otherwise commas separate fields.
        const bool fieldMarks = line.find_first_of("\t;") != std::string::npos;
        const std::size_t start = line.find_first_not_of(' ');
        const bool oneField = start == std::string::npos ||
                              line.find(' ', start) >= line.find_last_not_of(' ') + 1;
        if (fieldMarks || (std::count(line.begin(), line.end(), ',') == 1 && oneField)) {
            std::replace(line.begin(), line.end(), ',', '.');
        }
        std::replace_if(
            line.begin(), line.end(), [](char c) { return c == '\t' || c == ';' || c == ','; },
            ' ');
        std::istringstream fields(line);
        std::string field;
        std::string last;
        while (fields >> field) last = field;
        if (last.empty()) continue;
        const std::optional<double> v = ParseDouble(last);
        if (!v || !std::isfinite(*v)) {
            error = "line " + std::to_string(number) + ": \"" + last + "\" is not a number";
            return false;
        }
        values.push_back(*v);
    }
    if (values.empty()) {
        error = "no numbers";
        return false;
    }
    y = std::move(values);
    return true;
}

}  // namespace qx
