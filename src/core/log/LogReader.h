#pragma once
// Reads an engine log (see LogFormat.h) into columns. Anything that is not a
// log is refused with a message naming the line that is wrong. A last line
// cut short (the recorder was killed while writing it) is dropped, not refused;
// a value beyond its quantity's range is kept at the nearest limit and counted.
//
// What a spreadsheet writes when it saves a log again is taken as well: a
// byte-order mark, CR LF line ends, empty lines and rows of empty cells at the
// end, cells padded empty beyond the header, numbers with an exponent, and
// columns of its own (left out, and named in ignoredColumns).
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/model/MonitoredQuantities.h"

namespace qx {

struct EngineLog {
    std::vector<int> quantities;  // the columns after Time, in file order
    std::vector<int64_t> timeMs;  // non-decreasing
    // Per quantity (display order): the module's integers and their values,
    // one per row, or empty when the log has no such column.
    std::array<std::vector<uint16_t>, kMonitoredQuantityCount> raw;
    std::array<std::vector<float>, kMonitoredQuantityCount> values;
    bool droppedPartialLine = false;
    std::size_t droppedLine = 0;    // its line number
    std::size_t clampedValues = 0;  // values beyond their quantity's range, kept at its limit
    // Header labels of columns that are no monitored value, as shown in messages.
    std::vector<std::string> ignoredColumns;

    std::size_t Rows() const { return timeMs.size(); }
    bool Has(int quantity) const;
    int64_t StartMs() const { return timeMs.empty() ? 0 : timeMs.front(); }
    int64_t EndMs() const { return timeMs.empty() ? 0 : timeMs.back(); }
    // The last row at or before t (0 when t lies before the first row).
    std::size_t RowAt(int64_t t) const;
};

// Told now and then while a log is read: done out of total (any unit, done <=
// total). Answering false stops the read: it fails with kLogReadCancelled.
using LogReadProgress = std::function<bool(std::size_t done, std::size_t total)>;
inline constexpr const char* kLogReadCancelled = "cancelled";

// error: "line N: what is wrong" (or a reason for the whole file). out is
// filled only when the read succeeds.
bool ReadEngineLog(std::string_view text, EngineLog& out, std::string& error,
                   const LogReadProgress& progress = {});
bool ReadEngineLogFile(const std::string& path, EngineLog& out, std::string& error,
                       const LogReadProgress& progress = {});

// text as a message shows it: bytes that are not printable UTF-8 as \xNN, and
// cut to about limit characters with "..." after.
std::string PrintableExcerpt(std::string_view text, std::size_t limit = 24);

}  // namespace qx
