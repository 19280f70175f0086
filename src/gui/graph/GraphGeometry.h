#pragma once
// Pixel geometry of the map graph. Every position is derived from the client
// size, the caption-bar height and the width of the monitor window, so these
// are pure functions that the view, the markers and the value display share.
// Rectangles are half-open: right and bottom are the first pixels outside.
#include <algorithm>

namespace qx::graph {

struct PixelPoint {
    int x = 0;
    int y = 0;
    bool operator==(const PixelPoint&) const = default;
};

struct PixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    bool operator==(const PixelRect&) const = default;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    // Left and top edges inclusive, right and bottom exclusive.
    bool Contains(PixelPoint p) const {
        return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
    }
    PixelRect Inflated(int d) const { return {left - d, top - d, right + d, bottom + d}; }
    PixelRect Offset(int dx, int dy) const {
        return {left + dx, top + dy, right + dx, bottom + dy};
    }
    PixelRect Intersected(const PixelRect& o) const;
    // The union of two rectangles; an empty one does not count.
    PixelRect United(const PixelRect& o) const;
};

// What the layout depends on: client width and height, the caption-bar height
// and the full width of the monitor window (0 while it is closed).
struct GraphSize {
    int width = 0;
    int height = 0;
    int captionHeight = 0;
    int monitorWidth = 0;
    bool operator==(const GraphSize&) const = default;
};

// The current map's axes: x and y of its lowest and highest value.
struct AxisRange {
    double xmin = 0;
    double xmax = 1;
    double ymin = 0;
    double ymax = 1;
};

// p percent of v, truncated toward zero (each percentage is computed on its own).
inline int Percent(int v, int p) {
    return v * p / 100;
}
// One and a half caption bars: the height of the caption band.
inline int CaptionBandHeight(const GraphSize& s) {
    return 3 * s.captionHeight / 2;
}

int MonitorWidth(const GraphSize& s);
int PlotTop(const GraphSize& s);
int PlotHeight(const GraphSize& s);
int PlotLeft(const GraphSize& s);
int PlotWidth(const GraphSize& s);
inline int PlotBottom(const GraphSize& s) {
    return PlotTop(s) + PlotHeight(s);
}
inline int PlotRight(const GraphSize& s) {
    return PlotLeft(s) + PlotWidth(s);
}

// Edges of the graph frame: 10% of the width left of the plot, 5% right of it,
// 14% of the height below it.
inline int FrameLeft(const GraphSize& s) {
    return PlotLeft(s) - Percent(s.width, 10);
}
inline int FrameRight(const GraphSize& s) {
    return PlotRight(s) + Percent(s.width, 5);
}
inline int FrameBottom(const GraphSize& s) {
    return PlotBottom(s) + Percent(s.height, 14);
}

int XToPixel(const GraphSize& s, const AxisRange& a, double x);
int YToPixel(const GraphSize& s, const AxisRange& a, double y);
// The y value at a pixel row; ymin when the plot has no height.
double PixelToY(const GraphSize& s, const AxisRange& a, int py);
// The change of y for a vertical distance in pixels; 0 when the plot has no height.
double PixelsToValueDelta(const GraphSize& s, const AxisRange& a, int pixels);

// The frame around plot, tick labels and axis titles (the background fill).
PixelRect CalcGraphFrame(const GraphSize& s);
// The band above the frame that holds the map title.
PixelRect CaptionBand(const GraphSize& s);
// The four margins around frame and caption band: left, top, right, bottom.
struct Margins {
    PixelRect left, top, right, bottom;
};
Margins CalcMargins(const GraphSize& s);
// Height of the axis title font.
int TitleHeight(const GraphSize& s);
PixelRect XTitleBand(const GraphSize& s);
PixelRect YTitleBand(const GraphSize& s);
// Where the two titles are written. textWidth/textHeight are the unrotated extent.
PixelPoint XTitleOrigin(const GraphSize& s, int textWidth, int textHeight);
PixelPoint YTitleOrigin(const GraphSize& s, int textWidth, int textHeight);
// Where the map title is written inside the caption band.
PixelPoint CaptionTextOrigin(const GraphSize& s);
// Font height of the map title.
inline int CaptionFontHeight(const GraphSize& s) {
    return CaptionBandHeight(s) - 8;
}
// The rectangle of the sunken edge (frame plus caption band, 2 pixels out); the
// raised edge lies 6 pixels further out.
PixelRect FrameEdgeRect(const GraphSize& s);
// True when the repaint area lies inside the edge panel (two pixels wide along
// the inside of the edge rectangle), so the edges need no drawing.
bool StrictlyInside(const PixelRect& r, const PixelRect& edge);

// The 2-pixel-thick red live bar at column px.
PixelRect LiveBarRect(const GraphSize& s, int px);
// The strip repainted when the bar leaves or reaches column px.
PixelRect LiveBarStrip(const GraphSize& s, int px);

// Tick label boxes: text is centred in them without clipping.
inline PixelRect XTickLabelBox(int x, int plotBottomRow) {
    return {x - 1, plotBottomRow + 5, x + 1, plotBottomRow + 7};
}
inline PixelRect YTickLabelBox(int plotLeftColumn, int y) {
    return {plotLeftColumn - 12, y - 2, plotLeftColumn - 10, y + 2};
}
// Whether a paint of r can touch a tick label: an x label is drawn from its
// box's top down, a y label ends at its box's right edge (one pixel spare).
inline bool XTickLabelMeets(int plotBottomRow, const PixelRect& r) {
    return r.bottom >= XTickLabelBox(0, plotBottomRow).top;
}
inline bool YTickLabelMeets(int plotLeftColumn, const PixelRect& r) {
    return r.left <= YTickLabelBox(plotLeftColumn, 0).right;
}

// A curve segment needs drawing when an end lies in r, or it crosses r from top
// to bottom or from side to side.
bool SegmentMeets(PixelPoint a, PixelPoint b, const PixelRect& r);

// The 10 x 10 marker window centred on a point.
inline PixelRect MarkerRect(PixelPoint centre) {
    return {centre.x - 5, centre.y - 5, centre.x + 5, centre.y + 5};
}
// Where a dragged marker's cursor may go: its own column, from 5 pixels above
// the plot to 5 pixels below it.
PixelRect DragConfinement(const GraphSize& s, const PixelRect& markerRect);
// Clamps a position into the confinement (right and bottom exclusive).
PixelPoint ClampInto(PixelPoint p, const PixelRect& r);

// The value display beside a point. The box is width wide and 40 high, its
// left edge 14 pixels right of the point; when that does not fit in the client
// width it flips so its right edge is 14 pixels left of the point.
struct DisplayPlacement {
    PixelRect rect;
    int column = 0;  // the point's column after the flip
};
inline constexpr int kValueDisplayHeight = 40;
DisplayPlacement PlaceValueDisplay(int px, int py, int width, int clientWidth);

}  // namespace qx::graph
