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

std::optional<double> ParseNumberText(std::string_view text) {
    std::string copy(text);
    if (std::count(copy.begin(), copy.end(), ',') == 1 && copy.find('.') == std::string::npos) {
        std::replace(copy.begin(), copy.end(), ',', '.');
    }
    return ParseDouble(copy);
}

std::string PointsHeader(const ModuleMap& map) {
    return map.XLabel() + " (" + map.XUnits() + ")\t" + map.Title() + ": " + map.YLabel() + " (" +
           map.YUnits() + ")";
}

std::string FormatPointsText(const std::string& header, const std::vector<double>& x,
                             const std::vector<double>& y) {
    std::string text = header.empty() ? std::string() : header + "\n";
    for (std::size_t i = 0; i < y.size(); ++i) {
        if (i < x.size()) text += Number(x[i]) + "\t";
        text += Number(y[i]) + "\n";
    }
    return text;
}

namespace {

std::vector<std::string> Split(const std::string& line, const std::string& marks) {
    std::vector<std::string> fields;
    std::string field;
    for (char c : line + marks.front()) {
        if (marks.find(c) == std::string::npos) {
            field += c;
            continue;
        }
        // Blanks around a field are not fields of their own.
        const std::size_t a = field.find_first_not_of(' ');
        if (a != std::string::npos)
            fields.push_back(field.substr(a, field.find_last_not_of(' ') - a + 1));
        field.clear();
    }
    return fields;
}

}  // namespace

bool ParsePointsText(const std::string& text, std::vector<double>& y, std::string& error) {
    std::vector<std::string> lines;
    {
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
        }
    }
    // Decide once for the whole text what a comma is: a column of "12,5" is
    // decimal commas, "550,12.5" or "0,1,2" separate fields.
    bool fieldMarks = false;
    bool commaSeparates = false;
    for (const std::string& line : lines) {
        if (line.find_first_of("\t;") != std::string::npos) fieldMarks = true;
        if (line.find('.') != std::string::npos || std::count(line.begin(), line.end(), ',') > 1)
            commaSeparates = true;
    }
    const bool decimalComma = fieldMarks || !commaSeparates;
    const std::string marks = decimalComma ? "\t; " : "\t;, ";

    std::vector<double> values;
    bool first = true;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        std::vector<std::string> fields = Split(lines[n], marks);
        if (fields.empty()) continue;
        const std::string where = "line " + std::to_string(n + 1) + ": ";
        std::vector<double> numbers;
        std::string bad;
        for (std::string& f : fields) {
            if (decimalComma) std::replace(f.begin(), f.end(), ',', '.');
            const std::optional<double> v = ParseDouble(f);
            if (!v) {
                bad = f;
                break;
            }
            numbers.push_back(*v);
        }
        const bool header = first;
        first = false;
        if (!bad.empty()) {
            if (header) continue;  // the column names
            error = where + "\"" + bad + "\" is not a number";
            return false;
        }
        if (numbers.size() > 2) {
            error = where + "expected an x and a y value, found " + std::to_string(numbers.size()) +
                    " values";
            return false;
        }
        values.push_back(numbers.back());
    }
    if (values.empty()) {
        error = "no numbers";
        return false;
    }
    y = std::move(values);
    return true;
}

}  // namespace qx
