#include "core/log/LogReader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>

#include "core/host/Numbers.h"
#include "core/log/LogFormat.h"

namespace qx {

namespace {

// Far above any ride; a bigger file is something else and would only eat memory.
constexpr std::size_t kMaxLogBytes = 256u << 20;
// The header of all seven values is under 200 characters; a longer first or
// second line is something else.
constexpr std::size_t kMaxHeadLine = 4096;
// Enough of a file to hold its two header lines, CR LF and a byte-order mark.
constexpr std::size_t kHeadBytes = 2 * kMaxHeadLine + 8;

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

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// Decimal numbers, with an exponent as spreadsheets write them ("1.5E+3");
// no hex, no "inf", no "nan". A number beyond any double is taken as an
// infinity of its sign (it is kept at a limit like any other beyond its range).
bool ParseNumber(std::string_view text, double& out) {
    text = Trimmed(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty() || text.size() > 64) return false;
    bool digit = false;
    for (char ch : text) {
        if (ch >= '0' && ch <= '9') {
            digit = true;
        } else if (!(ch == '-' || ch == '+' || ch == '.' || ch == 'e' || ch == 'E')) {
            return false;
        }
    }
    if (!digit) return false;
    const auto [end, ec] =
        std::from_chars(text.data(), text.data() + text.size(), out, std::chars_format::general);
    if (end != text.data() + text.size()) return false;
    if (ec == std::errc::result_out_of_range) {
        const std::size_t e = text.find_first_of("eE");
        const bool tiny =
            e != std::string_view::npos && text.find('-', e) != std::string_view::npos;
        out = tiny ? 0.0 : (text.front() == '-' ? -HUGE_VAL : HUGE_VAL);
        return true;
    }
    return ec == std::errc() && !std::isnan(out);
}

bool ParseTime(std::string_view text, int64_t& out) {
    text = Trimmed(text);
    if (text.empty() || text.size() > 15) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size() && out >= 0;
}

std::string Shown(std::string_view text) {
    return PrintableExcerpt(text);
}

// The length of the UTF-8 sequence at text[i] when it is a printable
// character (not a control), else 0.
std::size_t PrintableAt(std::string_view text, std::size_t i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) return b >= 0x20 && b != 0x7F ? 1 : 0;
    std::size_t n = 0;
    uint32_t cp = 0;
    if ((b & 0xE0) == 0xC0) {
        n = 2;
        cp = b & 0x1Fu;
    } else if ((b & 0xF0) == 0xE0) {
        n = 3;
        cp = b & 0x0Fu;
    } else if ((b & 0xF8) == 0xF0) {
        n = 4;
        cp = b & 0x07u;
    } else {
        return 0;
    }
    if (i + n > text.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        const auto c = static_cast<unsigned char>(text[i + k]);
        if ((c & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (c & 0x3Fu);
    }
    // Overlong forms, surrogates, beyond Unicode and the C1 controls are not text.
    static constexpr uint32_t kLeast[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kLeast[n] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return 0;
    if (cp >= 0x80 && cp < 0xA0) return 0;
    return n;
}

// A row a spreadsheet leaves behind: nothing but empty cells.
bool AllEmpty(const std::vector<std::string>& fields) {
    return std::all_of(fields.begin(), fields.end(),
                       [](const std::string& f) { return Trimmed(f).empty(); });
}

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

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

// How often a long read tells its progress, in bytes of text.
constexpr std::size_t kProgressBytes = 1u << 20;

// The header's own cells and any empty cells a spreadsheet pads a row with.
bool FieldsFit(const std::vector<std::string>& fields, std::size_t headerFields) {
    if (fields.size() < headerFields) return false;
    for (std::size_t k = headerFields; k < fields.size(); ++k)
        if (!Trimmed(fields[k]).empty()) return false;
    return true;
}

struct Column {
    std::size_t field;  // its place in a row
    int quantity;
};

// headOnly: stops after the two header lines (text may be cut anywhere after
// them). progress sees done as base + the bytes read, out of total.
bool ReadLog(std::string_view text, EngineLog& out, std::string& error, bool headOnly,
             const LogReadProgress& progress, std::size_t base, std::size_t total) {
    EngineLog log;
    // A spreadsheet's byte-order mark; line numbers stay as the user sees them.
    if (text.substr(0, kUtf8Mark.size()) == kUtf8Mark) text.remove_prefix(kUtf8Mark.size());
    if (text.substr(0, 2) == "\xFF\xFE" || text.substr(0, 2) == "\xFE\xFF") {
        error = LineError(1, "is UTF-16 text: save the log as CSV in UTF-8");
        return false;
    }
    std::size_t pos = 0;
    std::size_t lineNo = 0;
    std::size_t reported = 0;
    std::vector<std::string> fields;
    std::vector<Column> columns;
    std::size_t headerFields = 0;
    std::size_t timeField = 0;
    std::size_t blankFrom = 0;  // the first of the empty rows since the last row, if any
    const std::size_t estimate = text.size() / 40 + 1;
    while (pos < text.size()) {
        if (progress && pos - reported >= kProgressBytes) {
            reported = pos;
            if (!progress(base + pos, total)) {
                error = kLogReadCancelled;
                return false;
            }
        }
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
            headerFields = fields.size();
            bool timeFound = false;
            for (std::size_t k = 0; k < fields.size(); ++k) {
                const std::string_view label = Trimmed(fields[k]);
                if (label == "Time") {
                    if (timeFound) {
                        error = LineError(1, "\"Time\" appears twice");
                        return false;
                    }
                    timeFound = true;
                    timeField = k;
                    continue;
                }
                const int q = QuantityOfLabel(label);
                if (q < 0) {
                    // A column of the spreadsheet's own; an empty one is padding.
                    if (!label.empty()) log.ignoredColumns.push_back(Shown(label));
                    continue;
                }
                if (log.Has(q)) {
                    error = LineError(1, "\"" + Shown(label) + "\" appears twice");
                    return false;
                }
                log.quantities.push_back(q);
                columns.push_back({k, q});
            }
            if (!timeFound) {
                error = LineError(
                    1, "no column is \"Time\" (the first is \"" + Shown(fields[0]) + "\")");
                return false;
            }
            if (columns.empty()) {
                error = LineError(1, "no column is a monitored value such as \"" +
                                         std::string(kMonitoredQuantities[0].label) + "\"");
                return false;
            }
            continue;
        }
        if (lineNo == 2) {
            bool match = FieldsFit(fields, headerFields) && Trimmed(fields[timeField]) == "ms";
            for (std::size_t k = 0; match && k < columns.size(); ++k)
                match = Trimmed(fields[columns[k].field]) ==
                        kMonitoredQuantities[static_cast<std::size_t>(columns[k].quantity)].unit;
            if (!match) {
                error = LineError(
                    2, "the units do not match the columns (\"ms\" and each value's unit)");
                return false;
            }
            log.timeMs.reserve(estimate);
            for (const Column& c : columns) {
                log.raw[static_cast<std::size_t>(c.quantity)].reserve(estimate);
                log.values[static_cast<std::size_t>(c.quantity)].reserve(estimate);
            }
            if (headOnly) return true;
            continue;
        }
        // Empty lines and rows of empty cells end what a spreadsheet saves;
        // between rows they are a fault of their own.
        if (AllEmpty(fields)) {
            if (blankFrom == 0) blankFrom = lineNo;
            continue;
        }
        if (blankFrom != 0) {
            error = LineError(blankFrom, "is empty, but rows follow it");
            return false;
        }
        // A cut-off last line is what a crash leaves; it is dropped.
        const bool last = !terminated;
        auto refuse = [&](const std::string& what) {
            if (last) {
                log.droppedPartialLine = true;
                log.droppedLine = lineNo;
                return true;
            }
            error = LineError(lineNo, what);
            return false;
        };
        if (!FieldsFit(fields, headerFields)) {
            if (refuse("has " + std::to_string(fields.size()) + " fields, the header has " +
                       std::to_string(headerFields)))
                break;
            return false;
        }
        int64_t t = 0;
        if (!ParseTime(fields[timeField], t)) {
            if (refuse("the time \"" + Shown(fields[timeField]) +
                       "\" is not a whole number of milliseconds"))
                break;
            return false;
        }
        if (!log.timeMs.empty() && t < log.timeMs.back()) {
            if (refuse("the time " + std::to_string(t) + " comes before the previous row's " +
                       std::to_string(log.timeMs.back())))
                break;
            return false;
        }
        bool bad = false;
        std::string what;
        std::size_t clamped = 0;
        uint16_t raws[kMonitoredQuantityCount] = {};
        for (std::size_t k = 0; k < columns.size() && !bad; ++k) {
            const int quantity = columns[k].quantity;
            const MonitoredQuantity& q = kMonitoredQuantities[static_cast<std::size_t>(quantity)];
            const std::string& field = fields[columns[k].field];
            double v = 0.0;
            if (!ParseNumber(field, v)) {
                bad = true;
                what = std::string(q.label) + " \"" + Shown(field) + "\" is not a number";
                break;
            }
            // A value beyond the quantity's range (another firmware, a hand
            // edit) is kept at its limit so no display or chart leaves its scale.
            // Held near the scale first: the step count of 1e300 fits no integer.
            const double span = q.max - q.min;
            v = std::clamp(v, q.min - span, q.max + span);
            const int64_t raw = LogRawOf(quantity, v);
            const int64_t kept = std::clamp<int64_t>(raw, q.minInternal, q.maxInternal);
            if (kept != raw) ++clamped;
            raws[k] = static_cast<uint16_t>(kept);
        }
        if (bad) {
            if (refuse(what)) break;
            return false;
        }
        log.clampedValues += clamped;
        log.timeMs.push_back(t);
        for (std::size_t k = 0; k < columns.size(); ++k) {
            const auto q = static_cast<std::size_t>(columns[k].quantity);
            log.raw[q].push_back(raws[k]);
            log.values[q].push_back(static_cast<float>(LogValueOf(columns[k].quantity, raws[k])));
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
    if (log.timeMs.empty()) {
        error = LineError(3, "the log has no rows");
        return false;
    }
    out = std::move(log);
    return true;
}

}  // namespace

std::string PrintableExcerpt(std::string_view text, std::size_t limit) {
    std::string out;
    std::size_t shown = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (shown >= limit) return out + "...";
        const std::size_t n = PrintableAt(text, i);
        if (n == 0) {
            static constexpr char kHex[] = "0123456789ABCDEF";
            const auto b = static_cast<unsigned char>(text[i]);
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 0xF];
            ++i;
        } else {
            out.append(text.substr(i, n));
            i += n;
        }
        ++shown;
    }
    return out;
}

bool ReadEngineLog(std::string_view text, EngineLog& out, std::string& error,
                   const LogReadProgress& progress) {
    return ReadLog(text, out, error, false, progress, 0, text.size());
}

bool ReadEngineLogFile(const std::string& path, EngineLog& out, std::string& error,
                       const LogReadProgress& progress) {
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
    const auto bytes = static_cast<std::size_t>(size);
    // The header first: a big file of another kind is refused without reading it all.
    std::string text(std::min(bytes, kHeadBytes), '\0');
    in.seekg(0);
    if (!in.read(text.data(), static_cast<std::streamsize>(text.size()))) {
        error = "the file cannot be read";
        return false;
    }
    if (text.size() < bytes) {
        EngineLog head;
        if (!ReadLog(text, head, error, true, {}, 0, 0)) return false;
    }
    // Read in pieces so that a long file tells its progress: reading is the
    // first half of the work, taking the rows apart the second.
    const std::size_t total = 2 * bytes;
    const std::size_t had = text.size();
    text.resize(bytes);
    for (std::size_t at = had; at < bytes;) {
        const std::size_t piece = std::min<std::size_t>(bytes - at, 8 * kProgressBytes);
        if (!in.read(text.data() + at, static_cast<std::streamsize>(piece))) {
            error = "the file cannot be read";
            return false;
        }
        at += piece;
        if (progress && !progress(at, total)) {
            error = kLogReadCancelled;
            return false;
        }
    }
    return ReadLog(text, out, error, false, progress, bytes, total);
}

}  // namespace qx
