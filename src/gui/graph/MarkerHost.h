#pragma once
// What a point marker asks of the graph it sits on. The view implements it and
// keeps every drag's state (where it began, where the cursor is, the band and
// the change still held back); the marker only reports its buttons.
#include <string_view>

#include "gui/graph/GraphGeometry.h"
#include "gui/graph/GraphStyle.h"

namespace qx {
class MapPoint;
}  // namespace qx

namespace qx::gui {

class MapPointMarker;

class MarkerHost {
  public:
    // A value of the shown map in the host's client pixels.
    virtual graph::PixelPoint ValueToPixel(double x, double y) const = 0;
    // False while there is no plot to drag on.
    virtual bool EditingAllowed() const = 0;
    // A button went down on marker: the host takes the focus. extend stretches
    // the selection to the marker (no drag follows); a first button clears it.
    virtual void PressMarker(MapPointMarker& marker, bool extend, bool firstButton) = 0;
    virtual void BeginDrag(MapPointMarker& marker) = 0;
    // at: the cursor in the host's client pixels.
    virtual void MoveDrag(MapPointMarker& marker, graph::PixelPoint at) = 0;
    virtual void EndDrag(MapPointMarker& marker) = 0;
    virtual void ShowDragValue(MapPointMarker& marker) = 0;
    virtual void HideDragValue() = 0;
    // The Set Y value dialog for marker's point.
    virtual void OpenValueDialog(MapPointMarker& marker) = 0;
    // Sets point (index of the shown map) to y through the document's history.
    // True when the point's own value moved.
    virtual bool StorePointValue(int index, MapPoint& point, double y, std::string_view verb) = 0;
    virtual ColorRef MarkerColor(bool inSync) const = 0;
    virtual bool IsSelected(const MapPointMarker& marker) const = 0;

  protected:
    ~MarkerHost() = default;
};

}  // namespace qx::gui
