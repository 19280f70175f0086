#include "log/LogReader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>

#include "host/Numbers.h"
#include "log/LogFormat.h"

namespace qx {

namespace {

// Far above any ride; a bigger file is something else and would only eat memory.
constexpr std::size_t kMaxLogBytes = 256u << 20;
// The header of all seven values is under 200 characters; a longer first or
// second line is something else.
constexpr std::size_t kMaxHeadLine = 4096;
// Enough of a file to hold its two header lines.
constexpr std::size_t kHeadBytes = 2 * kMaxHeadLine + 4;

std::string LineError(std::size_t line, const std::string& what) {
    return "line " + std::to_string(line) + ": " + what;
}

// Splits one line into fields; quotes group commas and "" is a quote. False
// when a quote is left open.
bool SplitFields(std::string_view line, std::vector<std::string>& fields) {
    fields.clear();
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char ch = line[i];
        if (quoted) {
            if (ch == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (ch == '"') {
                quoted = false;
            } else {
                field += ch;
            }
        } else if (ch == '"') {
            quoted = true;
        } else if (ch == ',') {
            fields.push_back(std::move(field));
            field.clear();
        } else {
            field += ch;
        }
    }
    fields.push_back(std::move(field));
    return !quoted;
}

int QuantityOfLabel(std::string_view label) {
    for (int i = 0; i < kMonitoredQuantityCount; ++i)
        if (label == kMonitoredQuantities[static_cast<std::size_t>(i)].label) return i;
    return -1;
}

// Plain numbers only: digits, one point, an optional leading minus.
bool ParseNumber(std::string_view text, double& out) {
    if (text.empty() || text.size() > 32) return false;
    for (char ch : text)
        if (!(ch == '-' || ch == '.' || (ch >= '0' && ch <= '9'))) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size() && std::isfinite(out);
}

bool ParseTime(std::string_view text, int64_t& out) {
    if (text.empty() || text.size() > 15) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size() && out >= 0;
}

std::string Shown(std::string_view text) {
    if (text.size() > 24) return std::string(text.substr(0, 24)) + "...";
    return std::string(text);
}

}  // namespace

bool EngineLog::Has(int quantity) const {
    return quantity >= 0 && quantity < kMonitoredQuantityCount &&
           std::find(quantities.begin(), quantities.end(), quantity) != quantities.end();
}

std::size_t EngineLog::RowAt(int64_t t) const {
    const auto it = std::upper_bound(timeMs.begin(), timeMs.end(), t);
    if (it == timeMs.begin()) return 0;
    return static_cast<std::size_t>(it - timeMs.begin()) - 1;
}

namespace {

// headOnly: stops after the two header lines (text may be cut anywhere after them).
bool ReadLog(std::string_view text, EngineLog& out, std::string& error, bool headOnly) {
    out = EngineLog{};
    std::size_t pos = 0;
    std::size_t lineNo = 0;
    std::vector<std::string> fields;
    std::vector<int> columns;
    const std::size_t estimate = text.size() / 40 + 1;
    while (pos < text.size()) {
        std::size_t nl = text.find('\n', pos);
        const bool terminated = nl != std::string_view::npos;
        if (!terminated) nl = text.size();
        std::string_view line = text.substr(pos, nl - pos);
        pos = nl + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.find('\0') != std::string_view::npos) {
            error = LineError(lineNo, "holds binary data, not text");
            return false;
        }
        if (lineNo <= 2 && line.size() > kMaxHeadLine) {
            error = LineError(lineNo, "is far too long for the header of a log");
            return false;
        }
        if (!SplitFields(line, fields)) {
            error = LineError(lineNo, "a quote is not closed");
            return false;
        }
        if (lineNo == 1) {
            if (fields[0] != "Time") {
                error = LineError(
                    1, "the first column must be \"Time\", not \"" + Shown(fields[0]) + "\"");
                return false;
            }
            for (std::size_t k = 1; k < fields.size(); ++k) {
                const int q = QuantityOfLabel(fields[k]);
                if (q < 0) {
                    error = LineError(1, "\"" + Shown(fields[k]) + "\" is not a monitored value");
                    return false;
                }
                if (out.Has(q)) {
                    error = LineError(1, "\"" + fields[k] + "\" appears twice");
                    return false;
                }
                out.quantities.push_back(q);
            }
            columns = out.quantities;
            continue;
        }
        if (lineNo == 2) {
            bool match = fields.size() == columns.size() + 1 && fields[0] == "ms";
            for (std::size_t k = 0; match && k < columns.size(); ++k)
                match = fields[k + 1] ==
                        kMonitoredQuantities[static_cast<std::size_t>(columns[k])].unit;
            if (!match) {
                error = LineError(
                    2, "the units do not match the columns (\"ms\" and each value's unit)");
                return false;
            }
            out.timeMs.reserve(estimate);
            for (int q : columns) {
                out.raw[static_cast<std::size_t>(q)].reserve(estimate);
                out.values[static_cast<std::size_t>(q)].reserve(estimate);
            }
            if (headOnly) return true;
            continue;
        }
        if (line.empty() && pos >= text.size()) break;  // the final line feed
        // A cut-off last line is what a crash leaves; it is dropped.
        const bool last = !terminated;
        auto refuse = [&](const std::string& what) {
            if (last) {
                out.droppedPartialLine = true;
                out.droppedLine = lineNo;
                return true;
            }
            error = LineError(lineNo, what);
            return false;
        };
        if (fields.size() != columns.size() + 1) {
            if (refuse("has " + std::to_string(fields.size()) + " fields, the header has " +
                       std::to_string(columns.size() + 1)))
                break;
            return false;
        }
        int64_t t = 0;
        if (!ParseTime(fields[0], t)) {
            if (refuse("the time \"" + Shown(fields[0]) +
                       "\" is not a whole number of milliseconds"))
                break;
            return false;
        }
        if (!out.timeMs.empty() && t < out.timeMs.back()) {
            if (refuse("the time " + fields[0] + " comes before the previous row's " +
                       std::to_string(out.timeMs.back())))
                break;
            return false;
        }
        bool bad = false;
        std::string what;
        std::size_t clamped = 0;
        uint16_t raws[kMonitoredQuantityCount] = {};
        for (std::size_t k = 0; k < columns.size() && !bad; ++k) {
            const MonitoredQuantity& q = kMonitoredQuantities[static_cast<std::size_t>(columns[k])];
            double v = 0.0;
            if (!ParseNumber(fields[k + 1], v)) {
                bad = true;
                what = std::string(q.label) + " \"" + Shown(fields[k + 1]) + "\" is not a number";
                break;
            }
            // A value beyond the quantity's range (another firmware, a hand
            // edit) is kept at its limit so no display or chart leaves its scale.
            const int64_t raw = LogRawOf(columns[k], v);
            const int64_t kept = std::clamp<int64_t>(raw, q.minInternal, q.maxInternal);
            if (kept != raw) ++clamped;
            raws[k] = static_cast<uint16_t>(kept);
        }
        if (bad) {
            if (refuse(what)) break;
            return false;
        }
        out.clampedValues += clamped;
        out.timeMs.push_back(t);
        for (std::size_t k = 0; k < columns.size(); ++k) {
            const auto q = static_cast<std::size_t>(columns[k]);
            out.raw[q].push_back(raws[k]);
            out.values[q].push_back(static_cast<float>(LogValueOf(columns[k], raws[k])));
        }
    }
    if (lineNo < 2) {
        error = lineNo == 0 ? "the file is empty" : LineError(2, "the units row is missing");
        return false;
    }
    if (headOnly) {
        error = LineError(lineNo, "the header is cut short");
        return false;
    }
    if (out.timeMs.empty()) {
        error = LineError(3, "the log has no rows");
        return false;
    }
    return true;
}

}  // namespace

bool ReadEngineLog(std::string_view text, EngineLog& out, std::string& error) {
    return ReadLog(text, out, error, false);
}

bool ReadEngineLogFile(const std::string& path, EngineLog& out, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = std::strerror(errno);
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) {
        error = "the file cannot be read";
        return false;
    }
    if (static_cast<std::size_t>(size) > kMaxLogBytes) {
        error = "the file is too large to be an engine log";
        return false;
    }
    // The header first: a big file of another kind is refused without reading it all.
    std::string text(std::min(static_cast<std::size_t>(size), kHeadBytes), '\0');
    in.seekg(0);
    if (!in.read(text.data(), static_cast<std::streamsize>(text.size()))) {
        error = "the file cannot be read";
        return false;
    }
    if (text.size() < static_cast<std::size_t>(size) && !ReadLog(text, out, error, true))
        return false;
    text.resize(static_cast<std::size_t>(size));
    in.seekg(0);
    if (!in.read(text.data(), size)) {
        error = "the file cannot be read";
        return false;
    }
    return ReadEngineLog(text, out, error);
}

}  // namespace qx
