#pragma once
// The 10 x 10 marker of one map point on the graph. Dragging it up or down with
// the left or the right button changes the point's value (the right button also
// shows the value beside it); a double click opens the Set Y value dialog. The
// marker never keeps the keyboard focus: the view handles every key.
#include <QWidget>
#include <cstdint>
#include <string_view>

#include "gui/graph/GraphGeometry.h"

namespace qx {
class MapPoint;
}  // namespace qx

namespace qx::gui {

class MapGraphView;

// A finished drag's change, bound to the point it was made on: the document's
// maps as they were (their generation), the map and point index, and the
// change in value units. Applied later it still lands on that point or nowhere.
struct DragEdit {
    uint64_t mapsGeneration = 0;
    int map = -1;
    int point = -1;
    double delta = 0.0;
};

class MapPointMarker : public QWidget {
    Q_OBJECT
  public:
    enum DragState { kIdle = 0, kLeftDrag = 1, kRightDrag = 2, kBothButtons = 3 };

    // A child of view bound to point (neither owned). Created at the point's place.
    MapPointMarker(MapGraphView* view, MapPoint* point, int index);

    MapPoint* Point() const { return point_; }
    // Shows point from now on. A finished drag still held back stays with the
    // point it was made on: the new point is drawn where it is.
    // True when a held-back drag's band must end now that the point changed.
    bool Bind(MapPoint* point);
    int Index() const { return index_; }
    int State() const { return dragState_; }

    // The point's centre and the marker's rectangle in view client pixels.
    graph::PixelPoint Centre() const;
    graph::PixelRect PointRect() const;
    // The marker's current window rectangle in view client pixels.
    graph::PixelRect WindowRect() const;
    // Moves the window to the point's rectangle when it is elsewhere.
    void Reposition();

    // Sets the point's value quantised, with propagation to a mirrored partner.
    // True when the point's own value changed (even if the partner's write
    // failed): the document is then marked modified and the marker moved.
    // One step of the edit history named "verb Map m Point p" (just the point without a verb).
    bool SetPointValue(double y, std::string_view verb = {});
    bool AddDelta(double d, std::string_view verb = {});

    // Hidden while dragged: the view's rubber band stands for it.
    bool IsDrawn() const { return drawn_; }
    // True while a finished drag's change waits for the module to be free.
    bool HasPendingChange() const { return pendingChanges_ > 0; }

    // Turns a dragged distance into a change of the value (positive: upward).
    // Deferred while the monitor reads a packet or a module command runs.
    void ApplyPixelDelta(int dy);
    // Applies edit now, or once the module is free; dropped when its document's
    // maps have been replaced meanwhile.
    void ApplyEdit(const DragEdit& edit);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    bool event(QEvent* event) override;

  private:
    void BeginDrag();
    void EndDrag();
    void ShowValue();
    void HideDisplay();
    void SetDrawn(bool drawn);
    graph::PixelPoint ToView(const QPointF& local) const;
    // An edit of delta value units to the point this marker shows now.
    DragEdit EditOfBoundPoint(double delta) const;
    // The point edit was made on, if its map still exists.
    MapPoint* Resolve(const DragEdit& edit) const;

    MapGraphView* view_;
    MapPoint* point_;
    int index_;
    int dragState_ = kIdle;
    graph::PixelRect invalidRect_;
    bool drawn_ = true;
    int pendingChanges_ = 0;
    graph::PixelPoint endPoint_;  // where the last drag of this marker ended
    DragEdit dragOrigin_;         // the point the current drag began on
    graph::AxisRange dragAxes_;   // and its map's axes then
};

}  // namespace qx::gui
