#include "gui/chart/ChartRaster.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "core/log/ColumnReduce.h"

namespace qx::gui {

namespace {

constexpr std::size_t kMostStrokeSeries = 8;  // one bit each in a byte

}  // namespace

void DrawChartLine(const ChartPixels& pixels, ChartPoint a, ChartPoint b, uint32_t color, int from,
                   int to) {
    from = std::max(from, 0);
    to = std::min(to, pixels.width);
    if (from >= to || pixels.height <= 0) return;
    auto plot = [&](int64_t x, int64_t y) {
        if (x >= from && x < to && y >= 0 && y < pixels.height)
            pixels.Row(static_cast<int>(y))[x] = color;
    };
    const int64_t dx = static_cast<int64_t>(b.x) - a.x;
    const int64_t dy = static_cast<int64_t>(b.y) - a.y;
    // Each pixel of the major axis takes the minor coordinate of the true line
    // rounded, halves upwards: no pixel depends on where drawing starts, so a
    // part drawn alone matches the whole.
    if (std::abs(dx) >= std::abs(dy)) {
        if (dx == 0) {
            plot(a.x, a.y);
            return;
        }
        if (dx < 0) std::swap(a, b);
        const int64_t ddx = std::abs(dx);
        const int64_t ddy = static_cast<int64_t>(b.y) - a.y;
        const int64_t x0 = std::max<int64_t>(a.x, from);
        const int64_t x1 = std::min<int64_t>(b.x, to - 1);
        for (int64_t x = x0; x <= x1; ++x)
            plot(x, a.y + FloorDiv(2 * (x - a.x) * ddy + ddx, 2 * ddx));
    } else {
        if (dy < 0) std::swap(a, b);
        const int64_t ddy = std::abs(dy);
        const int64_t ddx = static_cast<int64_t>(b.x) - a.x;
        const int64_t y0 = std::max<int64_t>(a.y, 0);
        const int64_t y1 = std::min<int64_t>(b.y, pixels.height - 1);
        for (int64_t y = y0; y <= y1; ++y)
            plot(a.x + FloorDiv(2 * (y - a.y) * ddx + ddy, 2 * ddy), y);
    }
}

void ChartRaster::Draw(const ChartPixels& pixels, const std::vector<ChartSeries>& series, int from,
                       int to) {
    const int w = pixels.width;
    const int h = pixels.height;
    from = std::max(from, 0);
    to = std::min(to, w);
    if (from >= to || h <= 0) return;
    const auto n = static_cast<std::size_t>(to - from);
    auto ground = [&](int column) {
        return column == 0 || column == w - 1 ? kChartFrame : kChartGround;
    };

    // The topmost stroke over a pixel is that of the highest series covering it.
    const std::size_t strokeSeries = std::min(series.size(), kMostStrokeSeries);
    std::array<uint32_t, 1u << kMostStrokeSeries> top{};
    for (std::size_t mask = 1; mask < top.size(); ++mask) {
        std::size_t k = kMostStrokeSeries - 1;
        while (((mask >> k) & 1u) == 0) --k;
        top[mask] = k < series.size() ? series[k].color : 0;
    }

    // Where strokes begin and end, bucketed by row: each row is then the row
    // above with a few pixels changed, written out whole.
    starts_.assign(static_cast<std::size_t>(h) + 2, 0);
    auto visit = [&](auto&& change) {
        for (std::size_t k = 0; k < strokeSeries; ++k) {
            const std::vector<ChartStroke>& strokes = series[k].strokes;
            const int last = std::min(to, static_cast<int>(strokes.size()));
            for (int c = from; c < last; ++c) {
                const ChartStroke s = strokes[static_cast<std::size_t>(c)];
                const int lo = std::max(s.lo, 0);
                const int hi = std::min(s.hi, h - 1);
                if (lo > hi) continue;
                change(lo, c, k);
                if (hi + 1 < h) change(hi + 1, c, k);
            }
        }
    };
    visit([&](int y, int, std::size_t) { ++starts_[static_cast<std::size_t>(y) + 1]; });
    for (std::size_t y = 1; y < starts_.size(); ++y) starts_[y] += starts_[y - 1];
    changes_.resize(static_cast<std::size_t>(starts_.back()));
    {
        std::vector<int> fill(starts_.begin(), starts_.end() - 1);
        visit([&](int y, int c, std::size_t k) {
            changes_[static_cast<std::size_t>(fill[static_cast<std::size_t>(y)]++)] = {
                c, static_cast<uint8_t>(1u << k)};
        });
    }

    row_.resize(n);
    covering_.assign(n, 0);
    for (std::size_t i = 0; i < n; ++i) row_[i] = ground(from + static_cast<int>(i));
    for (int y = 0; y < h; ++y) {
        const auto yy = static_cast<std::size_t>(y);
        for (int e = starts_[yy]; e < starts_[yy + 1]; ++e) {
            const Change ch = changes_[static_cast<std::size_t>(e)];
            const auto i = static_cast<std::size_t>(ch.column - from);
            covering_[i] ^= ch.bit;
            row_[i] = covering_[i] != 0 ? top[covering_[i]] : ground(ch.column);
        }
        uint32_t* out = pixels.Row(y) + from;
        if (y == 0 || y == h - 1) {
            for (std::size_t i = 0; i < n; ++i) out[i] = covering_[i] != 0 ? row_[i] : kChartFrame;
        } else {
            std::memcpy(out, row_.data(), n * sizeof(uint32_t));
        }
    }

    for (const ChartSeries& s : series) {
        const std::size_t points = s.line.size();
        for (std::size_t i = 0; i < points; ++i) {
            const ChartPoint b = s.line[i];
            const bool joined = i > 0 && !b.breakBefore;
            const bool alone = !joined && (i + 1 == points || s.line[i + 1].breakBefore);
            if (alone) DrawChartLine(pixels, b, b, s.color, from, to);
            if (!joined) continue;
            const ChartPoint a = s.line[i - 1];
            // A live plot draws a few columns at a time: most segments lie elsewhere.
            if (std::max(a.x, b.x) < from || std::min(a.x, b.x) >= to) continue;
            DrawChartLine(pixels, a, b, s.color, from, to);
        }
    }
}

}  // namespace qx::gui
