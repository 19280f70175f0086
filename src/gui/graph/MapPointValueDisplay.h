#pragma once
// The small bordered box beside a map point that shows its x and y value on two
// lines, for instance "Engine Speed: 2200 rpm" over "Advance: 12.0 deg". The
// view owns exactly one; a click on the box hides it.
#include <QString>
#include <QWidget>

#include "gui/graph/GraphGeometry.h"

namespace qx {
class MapPoint;
}

namespace qx::gui {

class MapGraphView;

class MapPointValueDisplay : public QWidget {
    Q_OBJECT
  public:
    // A hidden child of view, 220 x 40 at the view's origin. Owned by the view.
    explicit MapPointValueDisplay(MapGraphView* view);

    void Show();
    void Hide();
    bool IsShown() const { return visible_; }
    // Does nothing while hidden. Otherwise formats both lines with the current
    // map's texts and places the box beside the point's pixel position.
    void SetText(double x, double y);
    void ShowPoint(const MapPoint& point);
    // Sizes and moves the box next to the pixel point (view client pixels).
    void Place(int px, int py);

    const QString& XText() const { return xText_; }
    const QString& YText() const { return yText_; }
    int BoxWidth() const { return width_; }
    // The area of the second line, in the box's own pixels.
    QRect LowerLineArea() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    MapGraphView* view_;
    QString xText_;
    QString yText_;
    int width_ = 220;
    bool visible_ = false;
    graph::PixelRect lastRect_{-1, -1, -1, -1};
    int lastX_ = -10000;
};

}  // namespace qx::gui
