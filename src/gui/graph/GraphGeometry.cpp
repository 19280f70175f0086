#include "gui/graph/GraphGeometry.h"

#include <cmath>

namespace qx::graph {

namespace {

// Pixel offsets are kept within the largest window Qt makes: far off screen
// already, and any sum with a layout position or a marker's half-size stays an int.
constexpr double kPixelReach = 16777215.0;

// Toward zero, clamped first so that no double (infinite, NaN, 1e300) is out of int range.
int ClampedPixels(double v) {
    if (std::isnan(v)) return 0;
    return static_cast<int>(std::clamp(v, -kPixelReach, kPixelReach));
}

}  // namespace

PixelRect PixelRect::Intersected(const PixelRect& o) const {
    PixelRect r{std::max(left, o.left), std::max(top, o.top), std::min(right, o.right),
                std::min(bottom, o.bottom)};
    if (r.IsEmpty()) return {};
    return r;
}

PixelRect PixelRect::United(const PixelRect& o) const {
    if (IsEmpty()) return o;
    if (o.IsEmpty()) return *this;
    return {std::min(left, o.left), std::min(top, o.top), std::max(right, o.right),
            std::max(bottom, o.bottom)};
}

int MonitorWidth(const GraphSize& s) {
    return s.monitorWidth;
}

int PlotTop(const GraphSize& s) {
    return CaptionBandHeight(s) + Percent(s.height, 5) + Percent(s.height, 6);
}

int PlotHeight(const GraphSize& s) {
    return s.height - Percent(s.height, 6) - Percent(s.height, 14) - Percent(s.height, 5) -
           Percent(s.height, 6) - CaptionBandHeight(s);
}

int PlotLeft(const GraphSize& s) {
    return MonitorWidth(s) + Percent(s.width, 10) + Percent(s.width, 6);
}

int PlotWidth(const GraphSize& s) {
    return s.width - Percent(s.width, 10) - Percent(s.width, 5) - Percent(s.width, 6) -
           Percent(s.width, 6) - MonitorWidth(s);
}

int XToPixel(const GraphSize& s, const AxisRange& a, double x) {
    const double span = a.xmax - a.xmin;
    if (span == 0) return PlotLeft(s);
    return PlotLeft(s) + ClampedPixels(PlotWidth(s) * (x - a.xmin) / span);
}

int YToPixel(const GraphSize& s, const AxisRange& a, double y) {
    const double span = a.ymax - a.ymin;
    const int ph = PlotHeight(s);
    if (span == 0) return PlotTop(s) + ph;
    return PlotTop(s) + ph - ClampedPixels(ph * (y - a.ymin) / span);
}

double PixelToY(const GraphSize& s, const AxisRange& a, int py) {
    const int ph = PlotHeight(s);
    if (ph <= 0) return a.ymin;
    // In double: a row far outside the window must not overflow the sum.
    const double rows = static_cast<double>(ph) - py + PlotTop(s);
    return rows * (a.ymax - a.ymin) / ph + a.ymin;
}

double PixelsToValueDelta(const GraphSize& s, const AxisRange& a, int pixels) {
    const int ph = PlotHeight(s);
    if (ph <= 0) return 0.0;
    return (a.ymax - a.ymin) * pixels / ph;
}

PixelRect CalcGraphFrame(const GraphSize& s) {
    const int left = MonitorWidth(s) + Percent(s.width, 6);
    const int top = PlotTop(s) - Percent(s.height, 5);
    const int width = PlotWidth(s) + Percent(s.width, 5) + Percent(s.width, 10);
    const int height = PlotHeight(s) + Percent(s.height, 14) + Percent(s.height, 5);
    return {left, top, left + width, top + height};
}

PixelRect CaptionBand(const GraphSize& s) {
    return {FrameLeft(s), Percent(s.height, 6), FrameRight(s), PlotTop(s) - Percent(s.height, 5)};
}

Margins CalcMargins(const GraphSize& s) {
    return {{0, 0, FrameLeft(s), s.height},
            {0, 0, s.width, Percent(s.height, 6)},
            {FrameRight(s), 0, s.width, s.height},
            {0, FrameBottom(s), s.width, s.height}};
}

int TitleHeight(const GraphSize& s) {
    return std::min(CaptionBandHeight(s) - 10, Percent(s.height, 14) - 14);
}

PixelRect XTitleBand(const GraphSize& s) {
    return {PlotLeft(s), PlotBottom(s), PlotRight(s), FrameBottom(s)};
}

PixelRect YTitleBand(const GraphSize& s) {
    return {FrameLeft(s), PlotTop(s), PlotLeft(s) - (Percent(s.width, 10) - TitleHeight(s)) / 2,
            PlotBottom(s)};
}

PixelPoint XTitleOrigin(const GraphSize& s, int textWidth, int textHeight) {
    return {PlotLeft(s) + (PlotWidth(s) - textWidth) / 2,
            PlotBottom(s) + (Percent(s.height, 14) - textHeight) / 2 + 4};
}

PixelPoint YTitleOrigin(const GraphSize& s, int textWidth, int textHeight) {
    const PixelRect b = YTitleBand(s);
    return {
        (b.left + b.right) / 2 + (Percent(s.width, 10) - TitleHeight(s)) / 4 - textHeight / 2 - 4,
        (b.top + b.bottom) / 2 + textWidth / 2};
}

PixelPoint CaptionTextOrigin(const GraphSize& s) {
    return {PlotLeft(s) - 3 * Percent(s.width, 10) / 4, Percent(s.height, 6) + 4};
}

PixelRect FrameEdgeRect(const GraphSize& s) {
    const PixelRect f = CalcGraphFrame(s);
    return PixelRect{f.left, f.top - CaptionBandHeight(s), f.right, f.bottom}.Inflated(2);
}

bool StrictlyInside(const PixelRect& r, const PixelRect& e) {
    // The edge is a panel two pixels wide along the inside of e.
    const PixelRect inner = e.Inflated(-2);
    return r.left >= inner.left && r.right <= inner.right && r.top >= inner.top &&
           r.bottom <= inner.bottom;
}

PixelRect LiveBarRect(const GraphSize& s, int px) {
    return {px - 2, PlotTop(s) + 2, px + 2, PlotBottom(s) - 1};
}

PixelRect LiveBarStrip(const GraphSize& s, int px) {
    return {px - 3, PlotTop(s) - 3, px + 3, PlotBottom(s) + 3};
}

namespace {

// Liang-Barsky: does the closed segment meet the closed rectangle?
bool SegmentIntersects(PixelPoint a, PixelPoint b, const PixelRect& r) {
    if (r.IsEmpty()) return false;
    const double x0 = a.x, y0 = a.y;
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x0 - r.left, (r.right - 1) - x0, y0 - r.top, (r.bottom - 1) - y0};
    double t0 = 0.0, t1 = 1.0;
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0) {
            t0 = std::max(t0, t);
        } else {
            t1 = std::min(t1, t);
        }
        if (t0 > t1) return false;
    }
    return true;
}

}  // namespace

bool SegmentMeets(PixelPoint a, PixelPoint b, const PixelRect& r) {
    if (r.Contains(a) || r.Contains(b)) return true;
    if ((a.y <= r.top && b.y >= r.bottom) || (b.y <= r.top && a.y >= r.bottom)) return true;
    if ((a.x <= r.left && b.x >= r.right) || (b.x <= r.left && a.x >= r.right)) return true;
    // A segment that cuts only a corner of r meets none of the tests above, yet
    // the background under it has been erased: it must be drawn too.
    return SegmentIntersects(a, b, r);
}

PixelRect DragConfinement(const GraphSize& s, const PixelRect& markerRect) {
    return {markerRect.left, PlotTop(s) - 5, markerRect.right, PlotBottom(s) + 5};
}

PixelPoint ClampInto(PixelPoint p, const PixelRect& r) {
    if (r.IsEmpty()) return p;
    return {std::clamp(p.x, r.left, r.right - 1), std::clamp(p.y, r.top, r.bottom - 1)};
}

DisplayPlacement PlaceValueDisplay(int px, int py, int width, int clientWidth) {
    const int edge = px + width + 14;
    if (edge < 0 || edge >= clientWidth) px = px - width - 28;
    return {PixelRect{0, 0, width, kValueDisplayHeight}.Offset(px + 14, py - 18), px};
}

}  // namespace qx::graph
