#include "log/ColumnReduce.h"

#include <algorithm>

namespace qx {

std::vector<ColumnRange> ReduceColumns(const int64_t* times, const float* values, std::size_t n,
                                       int64_t t0, int64_t t1, int columns) {
    std::vector<ColumnRange> out(columns > 0 ? static_cast<std::size_t>(columns) : 0);
    if (columns <= 0 || t1 <= t0 || n == 0) return out;
    const double span = static_cast<double>(t1 - t0);
    // Only the visible rows are visited.
    std::size_t i = static_cast<std::size_t>(std::lower_bound(times, times + n, t0) - times);
    for (; i < n && times[i] < t1; ++i) {
        auto c = static_cast<std::size_t>(static_cast<double>(times[i] - t0) * columns / span);
        c = std::min(c, out.size() - 1);
        ColumnRange& r = out[c];
        const float v = values[i];
        if (!r.any) {
            r.min = r.max = v;
            r.any = true;
        } else {
            r.min = std::min(r.min, v);
            r.max = std::max(r.max, v);
        }
    }
    return out;
}

}  // namespace qx
