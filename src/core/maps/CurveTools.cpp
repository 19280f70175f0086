#include "core/maps/CurveTools.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/host/Numbers.h"
#include "core/maps/ModuleMap.h"

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

// LF, CRLF and CR each end a line.
std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n') {
            line += c;
            continue;
        }
        lines.push_back(line);
        line.clear();
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool BlankLine(const std::string& line) {
    return std::all_of(line.begin(), line.end(), IsBlank);
}

std::string Trim(const std::string& s) {
    const std::size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return {};
    return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

// Text as spreadsheets and other programs put it on the clipboard: a UTF-8
// byte-order mark at the start is dropped, a no-break space is a blank and
// the minus sign U+2212 a hyphen-minus.
std::string Normalised(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    for (; i < text.size(); ++i) {
        if (text.compare(i, 2, "\xC2\xA0") == 0) {
            out += ' ';
            i += 1;
        } else if (text.compare(i, 3, "\xE2\x88\x92") == 0) {
            out += '-';
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The line without what stands between double quotes: a quoted field's marks
// do not separate fields.
std::string Unquoted(const std::string& line) {
    std::string out;
    bool inside = false;
    for (char c : line) {
        if (c == '"') {
            inside = !inside;
        } else if (!inside) {
            out += c;
        }
    }
    return out;
}

bool HasDigit(const std::string& line) {
    return std::any_of(line.begin(), line.end(), [](char c) { return c >= '0' && c <= '9'; });
}

struct Field {
    std::string text;
    bool quoted = false;  // was wholly in double quotes, as spreadsheets write fields
};

// A field wholly in double quotes stands for its content (a doubled quote
// inside for one quote); any other field is taken as it is.
Field Unquote(const std::string& raw) {
    if (raw.size() < 2 || raw.front() != '"' || raw.back() != '"') return {raw, false};
    std::string inner;
    for (std::size_t i = 1; i + 1 < raw.size(); ++i) {
        if (raw[i] == '"') {
            if (i + 2 < raw.size() && raw[i + 1] == '"') {
                inner += '"';
                ++i;
                continue;
            }
            return {raw, false};  // a lone quote inside: not one quoted field
        }
        inner += raw[i];
    }
    return {Trim(inner), true};
}

// The fields between marks (outside double quotes), blanks around each
// dropped. Empty fields at the end are dropped too: a spreadsheet may end
// every row with a mark.
std::vector<Field> Fields(const std::string& line, char mark) {
    std::vector<Field> fields;
    std::string raw;
    bool inside = false;
    for (char c : line) {
        if (c == '"') inside = !inside;
        const bool separates = !inside && (mark == ' ' ? IsBlank(c) : c == mark);
        if (!separates) {
            raw += c;
            continue;
        }
        // Between blanks a run of them is one separator.
        if (mark != ' ' || !Trim(raw).empty()) fields.push_back(Unquote(Trim(raw)));
        raw.clear();
    }
    if (mark != ' ' || !Trim(raw).empty()) fields.push_back(Unquote(Trim(raw)));
    while (!fields.empty() && fields.back().text.empty() && !fields.back().quoted)
        fields.pop_back();
    return fields;
}

// A field as a message shows it, in quotes that are never its own.
std::string Quoted(const std::string& text) {
    return text.find('"') == std::string::npos ? "\"" + text + "\"" : "'" + text + "'";
}

const char* MarkName(char mark) {
    return mark == ',' ? "a decimal comma" : "a decimal point";
}

std::string Values(std::size_t n) {
    return n == 1 ? "a y value alone" : "an x and a y value";
}

struct Parsed {
    std::vector<PastedPoint> points;
    std::string error;
    bool header = false;
    bool anyDecimal = false;  // some number has a decimal mark
    bool mixed = false;       // lines give different numbers of values
    bool quoted = false;      // some field was in double quotes
};

Parsed ParseWith(const std::vector<std::string>& lines, const std::vector<std::size_t>& used,
                 char mark) {
    Parsed r;
    std::string& error = r.error;
    std::vector<PastedPoint>& out = r.points;
    char decimal = 0;  // the text's decimal mark, once a number shows one
    std::size_t decimalLine = 0;
    std::size_t width = 0;  // values per line
    std::size_t widthLine = 0;
    bool& header = r.header;
    bool seen = false;  // a line with fields
    for (std::size_t k = 0; k < used.size(); ++k) {
        const std::size_t n = used[k];
        const std::string where = "line " + std::to_string(n + 1) + ": ";
        const std::vector<Field> fields = Fields(lines[n], mark);
        if (fields.empty()) continue;  // marks alone: an empty row
        const bool firstLine = !seen;
        seen = true;
        // Column names hold no digit; a first line with one is a row of numbers,
        // maybe mistyped ("O5"), never a header that would move every value.
        if (firstLine && !HasDigit(lines[n])) {
            header = true;
            continue;
        }
        std::vector<std::optional<double>> numbers;
        for (const Field& field : fields) {
            std::string copy = field.text;
            // Quotes keep a decimal comma apart from the commas between fields.
            if (mark != ',' || field.quoted) std::replace(copy.begin(), copy.end(), ',', '.');
            numbers.push_back(copy.empty() ? std::nullopt : ParseDouble(copy));
            r.quoted = r.quoted || field.quoted;
        }
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const std::string& f = fields[i].text;
            if (f.empty()) {
                error = where + "field " + std::to_string(i + 1) + " is empty";
                return r;
            }
            if (!numbers[i]) {
                error = where + Quoted(f) + " is not a number";
                return r;
            }
            const char m = f.find(',') != std::string::npos   ? ','
                           : f.find('.') != std::string::npos ? '.'
                                                              : 0;
            if (m == 0) continue;
            r.anyDecimal = true;
            if (decimal == 0) {
                decimal = m;
                decimalLine = n;
            } else if (m != decimal) {
                error = where + Quoted(f) + " has " + MarkName(m) + " where line " +
                        std::to_string(decimalLine + 1) + " has " + MarkName(decimal);
                return r;
            }
        }
        if (numbers.size() > 2) {
            error = where + "expected an x and a y value, found " + std::to_string(numbers.size()) +
                    " values";
            return r;
        }
        if (width == 0) {
            width = numbers.size();
            widthLine = n;
        } else if (numbers.size() != width) {
            r.mixed = true;
            error = where + Values(numbers.size()) + " where line " +
                    std::to_string(widthLine + 1) + " has " + Values(width);
            if (mark == ',')
                error +=
                    " (commas separate x and y; for decimal commas separate them by tabs or "
                    "semicolons)";
            return r;
        }
        PastedPoint p;
        p.line = static_cast<int>(n + 1);
        if (numbers.size() == 2) p.x = numbers[0];
        p.y = *numbers.back();
        out.push_back(p);
    }
    if (out.empty()) error = "no numbers";
    return r;
}

}  // namespace

bool ParsePointsText(const std::string& text, std::vector<PastedPoint>& points,
                     std::string& error) {
    const std::vector<std::string> lines = SplitLines(Normalised(text));
    std::vector<std::size_t> used;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        if (!BlankLine(lines[n])) used.push_back(n);
    }
    if (used.empty()) {
        error = "no numbers";
        return false;
    }
    auto has = [&](char c) {
        return std::any_of(used.begin(), used.end(), [&](std::size_t n) {
            return Unquoted(lines[n]).find(c) != std::string::npos;
        });
    };
    const char mark = has('\t') ? '\t' : has(';') ? ';' : has(',') ? ',' : ' ';
    Parsed r = ParseWith(lines, used, mark);
    if (mark == ',' && r.mixed && !r.anyDecimal) {
        // "7,4" over "8" cannot be x and y: the one reading left is a column
        // written with decimal commas.
        Parsed column = ParseWith(lines, used, ' ');
        if (column.error.empty()) r = std::move(column);
    }
    if (!r.error.empty()) {
        error = r.error;
        return false;
    }
    // "12,5" alone could as well be the number 12.5: only more lines (checked
    // against the map's x points) or a header tell.
    if (mark == ',' && !r.anyDecimal && r.points.size() == 1 && r.points.front().x && !r.header &&
        !r.quoted) {
        const int line = r.points.front().line;
        error = "line " + std::to_string(line) + ": " +
                Quoted(Trim(lines[static_cast<std::size_t>(line - 1)])) +
                " may be an x and a y value or one number with a decimal comma; write a "
                "decimal point, or separate x and y by a tab or a semicolon";
        return false;
    }
    points = std::move(r.points);
    return true;
}

PointsAxis AxisOf(const ModuleMap& map) {
    PointsAxis axis;
    axis.scale = ScaleOf(map);
    axis.xUnits = map.XUnits();
    axis.yUnits = map.YUnits();
    if (map.Initialized()) {
        for (int i = 0; i < map.PointCount(); ++i) axis.x.push_back(map.Point(i).x);
    }
    return axis;
}

namespace {

// Whether x is point i's: within a hundredth of the gap to its nearest
// neighbour, so a spreadsheet's rounding passes and a shift by a point never.
bool IsPointX(const std::vector<double>& xs, std::size_t i, double x) {
    double gap = INFINITY;
    if (i > 0) gap = std::min(gap, std::fabs(xs[i] - xs[i - 1]));
    if (i + 1 < xs.size()) gap = std::min(gap, std::fabs(xs[i + 1] - xs[i]));
    if (!std::isfinite(gap)) return true;  // one point: nothing to shift onto
    return std::fabs(x - xs[i]) <= gap / 100.0;
}

}  // namespace

bool PlacePastedPoints(const std::vector<PastedPoint>& pasted, const PointsAxis& axis, int first,
                       std::vector<double>& y, std::string& error) {
    if (first < 0 || pasted.size() > y.size() - std::min(y.size(), std::size_t(first))) {
        error = std::to_string(pasted.size()) + " points do not fit from point " +
                std::to_string(first + 1) + " on";
        return false;
    }
    const CurveScale& s = axis.scale;
    std::vector<double> out = y;
    for (std::size_t i = 0; i < pasted.size(); ++i) {
        const PastedPoint& p = pasted[i];
        const std::size_t at = static_cast<std::size_t>(first) + i;
        const std::string where = "line " + std::to_string(p.line) + ": ";
        if (s.min != s.max && !(p.y >= s.min && p.y <= s.max)) {
            error = where + Number(p.y) + " is outside " + Number(s.min) + " to " + Number(s.max) +
                    " " + axis.yUnits;
            return false;
        }
        if (p.x && at < axis.x.size() && !IsPointX(axis.x, at, *p.x)) {
            error = where + "x " + Number(*p.x) + " is not the x of point " +
                    std::to_string(at + 1) + " (" + Number(axis.x[at]) + " " + axis.xUnits + ")";
            for (std::size_t j = 0; j < axis.x.size(); ++j) {
                if (IsPointX(axis.x, j, *p.x)) {
                    error += " but of point " + std::to_string(j + 1);
                    break;
                }
            }
            error += "; to put values on other points, paste the y values alone";
            return false;
        }
        out[at] = s.Quantize(p.y);
    }
    y = std::move(out);
    return true;
}

}  // namespace qx
