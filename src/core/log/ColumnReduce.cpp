#include "core/log/ColumnReduce.h"

#include <algorithm>

namespace qx {

int64_t FloorDiv(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

int64_t ColumnGrid::ColumnOf(int64_t t) const {
    return FloorDiv((t - origin) * perSpan, span);
}

int64_t ColumnGrid::StartOf(int64_t k) const {
    // The least t with floor((t - origin) * perSpan / span) >= k.
    return origin - FloorDiv(-k * span, perSpan);
}

void ReduceGridInto(const int64_t* times, const float* values, std::size_t n,
                    const ColumnGrid& grid, std::vector<ColumnRange>& out, int64_t gapMs) {
    const int columns = std::max(grid.count, 0);
    out.assign(static_cast<std::size_t>(columns), ColumnRange{});
    if (columns == 0 || grid.span <= 0 || grid.perSpan <= 0 || n == 0) return;
    // Only the visible rows are visited, each once, with no division per row.
    std::size_t i = static_cast<std::size_t>(
        std::lower_bound(times, times + n, grid.StartOf(grid.first)) - times);
    int64_t end = grid.StartOf(grid.first + 1);
    for (int c = 0; c < columns && i < n; ++c, end = grid.StartOf(grid.first + c + 1)) {
        if (times[i] >= end) continue;
        const bool gap = i > 0 && times[i] - times[i - 1] > gapMs;
        float lo = values[i];
        float hi = values[i];
        for (++i; i < n && times[i] < end; ++i) {
            lo = std::min(lo, values[i]);
            hi = std::max(hi, values[i]);
        }
        out[static_cast<std::size_t>(c)] = {lo, hi, true, gap};
    }
}

}  // namespace qx
