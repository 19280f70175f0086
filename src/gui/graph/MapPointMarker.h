#pragma once
// The 10 x 10 marker of one map point on the graph. Dragging it up or down with
// the left or the right button changes the point's value (the right button also
// shows the value beside it); a double click opens the Set Y value dialog. The
// marker never keeps the keyboard focus: the view handles every key. It knows
// its host only as a MarkerHost, which keeps the drags.
#include <QWidget>
#include <string_view>

#include "gui/graph/GraphGeometry.h"

namespace qx {
class MapPoint;
}  // namespace qx

namespace qx::gui {

class MarkerHost;

class MapPointMarker : public QWidget {
    Q_OBJECT
  public:
    enum DragState { kIdle = 0, kLeftDrag = 1, kRightDrag = 2, kBothButtons = 3 };

    // A child of parent bound to point (neither owned), asking host (parent's
    // own MarkerHost). Created at the point's place.
    MapPointMarker(QWidget* parent, MarkerHost& host, MapPoint* point, int index);

    MapPoint* Point() const { return point_; }
    // Shows point from now on. A finished drag still held back stays with the
    // point it was made on: the new point is drawn where it is.
    // True when the marker was hidden for such a drag and shows again.
    bool Bind(MapPoint* point);
    int Index() const { return index_; }
    int State() const { return dragState_; }

    // The point's centre and the marker's rectangle in the host's client pixels.
    graph::PixelPoint Centre() const;
    graph::PixelRect PointRect() const;
    // The marker's current window rectangle in the host's client pixels.
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
    void SetDrawn(bool drawn);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

  private:
    void BeginDrag();
    void EndDrag();

    MarkerHost& host_;
    MapPoint* point_;
    int index_;
    int dragState_ = kIdle;
    bool drawn_ = true;
};

}  // namespace qx::gui
