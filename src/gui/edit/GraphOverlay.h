#pragma once
// What the graph draws for editing besides the curve: the band behind a
// selected range of points, and the other tune of a comparison (its curve,
// hollow markers, the differing points and a legend naming it).
class QPainter;

namespace qx::gui {

class MapGraphView;
class TuneComparison;

void DrawRangeBand(QPainter& p, const MapGraphView& view);
void DrawComparison(QPainter& p, const MapGraphView& view, const TuneComparison& comparison);

}  // namespace qx::gui
