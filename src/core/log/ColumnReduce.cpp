#include "log/ColumnReduce.h"

#include <algorithm>

namespace qx {

std::vector<ColumnRange> ReduceColumns(const int64_t* times, const float* values, std::size_t n,
                                       int64_t t0, int64_t t1, int columns) {
    std::vector<ColumnRange> out;
    ReduceColumnsInto(times, values, n, t0, t1, columns, out);
    return out;
}

void ReduceColumnsInto(const int64_t* times, const float* values, std::size_t n, int64_t t0,
                       int64_t t1, int columns, std::vector<ColumnRange>& out) {
    out.assign(columns > 0 ? static_cast<std::size_t>(columns) : 0, ColumnRange{});
    if (columns <= 0 || t1 <= t0 || n == 0) return;
    const int64_t span = t1 - t0;
    // Only the visible rows are visited, each once, with no division per row.
    std::size_t i = static_cast<std::size_t>(std::lower_bound(times, times + n, t0) - times);
    for (int c = 0; c < columns && i < n && times[i] < t1; ++c) {
        // Time t falls in column floor((t - t0) * columns / span): the column
        // ends before t0 + ceil((c + 1) * span / columns).
        const int64_t end = t0 + (span * (c + 1) + columns - 1) / columns;
        if (times[i] >= end) continue;
        float lo = values[i];
        float hi = values[i];
        for (++i; i < n && times[i] < end; ++i) {
            lo = std::min(lo, values[i]);
            hi = std::max(hi, values[i]);
        }
        out[static_cast<std::size_t>(c)] = {lo, hi, true};
    }
}

}  // namespace qx
