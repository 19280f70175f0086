#pragma once
// Reduces a time series to one minimum and maximum per pixel column, so that a
// chart of an hour draws as few lines as one of a minute.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace qx {

// a / b rounded towards minus infinity (b != 0): pixel grids reach left of zero.
int64_t FloorDiv(int64_t a, int64_t b);

struct ColumnRange {
    float min = 0.0f;
    float max = 0.0f;
    bool any = false;  // some sample falls in this column
    // Its first sample came more than the gap after the row before it: the
    // trace is not joined to the column before.
    bool gapBefore = false;
};

// Columns fixed to time rather than to a window: time t lies in column
// floor((t - origin) * perSpan / span). A window that slides along such a grid
// keeps each sample in the same column, so a live chart can scroll its pixels.
struct ColumnGrid {
    int64_t origin = 0;
    int64_t span = 1;  // > 0
    int64_t perSpan = 1;
    int64_t first = 0;  // the grid column of out[0]
    int count = 0;
    // The grid column of t, and the first time in grid column k.
    int64_t ColumnOf(int64_t t) const;
    int64_t StartOf(int64_t k) const;
};

// out[c] for grid columns first + c, c < count; times must be non-decreasing.
// A window [t0, t1) of n columns is the grid {t0, t1 - t0, n, 0, n}. A step
// between rows longer than gapMs marks the column after it (see IsGap).
void ReduceGridInto(const int64_t* times, const float* values, std::size_t n,
                    const ColumnGrid& grid, std::vector<ColumnRange>& out,
                    int64_t gapMs = std::numeric_limits<int64_t>::max());

}  // namespace qx
