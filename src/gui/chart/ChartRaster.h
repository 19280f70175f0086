#pragma once
// The chart's plot drawn straight into 32-bit pixels: a white ground in a grey
// frame, the strokes of the series (one vertical stroke a pixel column), then
// their lines through the rows, broken where a point says so (a point joined
// to neither neighbour is a dot); a later series over an earlier one. Any
// range of columns can be drawn again alone and comes out exactly as it would
// in a whole drawing, which lets a live chart scroll instead of redrawing.
//
// Ownership: nothing is kept; the pixels belong to the caller.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qx::gui {

inline constexpr uint32_t kChartGround = 0xFFFFFFFFu;
inline constexpr uint32_t kChartFrame = 0xFFC8C8C8u;

struct ChartPixels {
    uint32_t* bits = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;  // in pixels
    uint32_t* Row(int y) const { return bits + y * stride; }
};

// Rows lo..hi of one column; lo > hi: nothing.
struct ChartStroke {
    int lo = 1;
    int hi = 0;
};

struct ChartPoint {
    int x = 0;  // may lie outside the plot: the line is cut at its edges
    int y = 0;
    bool breakBefore = false;  // not joined to the point before (a gap in the rows)
};

struct ChartSeries {
    uint32_t color = 0;
    std::vector<ChartStroke> strokes;  // indexed by column, when drawn as strokes
    std::vector<ChartPoint> line;      // when drawn as a line
};

// Draws columns [from, to) of the plot; the rest of the pixels stay as they are.
// Strokes count for the first eight series. Reuses its scratch between calls.
class ChartRaster {
  public:
    void Draw(const ChartPixels& pixels, const std::vector<ChartSeries>& series, int from, int to);

  private:
    struct Change {
        int column;
        uint8_t bit;
    };
    std::vector<uint32_t> row_;
    std::vector<uint8_t> covering_;
    std::vector<int> starts_;
    std::vector<Change> changes_;
};

// Every pixel of the line from a to b (both ends included) that lies in
// columns [from, to) and rows [0, height), the same pixels whatever range is
// asked.
void DrawChartLine(const ChartPixels& pixels, ChartPoint a, ChartPoint b, uint32_t color, int from,
                   int to);

}  // namespace qx::gui
