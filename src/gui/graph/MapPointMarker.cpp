#include "gui/graph/MapPointMarker.h"

#include <QMouseEvent>
#include <QPainter>

#include "core/maps/ModuleMap.h"
#include "gui/graph/GraphStyle.h"
#include "gui/graph/MarkerHost.h"

namespace qx::gui {

namespace {

QRect ToQRect(const graph::PixelRect& r) {
    return QRect(r.left, r.top, r.Width(), r.Height());
}

}  // namespace

MapPointMarker::MapPointMarker(QWidget* parent, MarkerHost& host, MapPoint* point, int index)
    : QWidget(parent), host_(host), point_(point), index_(index) {
    setObjectName(QStringLiteral("MapPointMarker"));
    setFocusPolicy(Qt::NoFocus);
    setGeometry(ToQRect(PointRect()));
    show();
}

bool MapPointMarker::Bind(MapPoint* point) {
    if (point == point_) return false;
    point_ = point;
    if (dragState_ != kIdle || drawn_) return false;
    // Only a held-back drag hides a marker once its buttons are up.
    SetDrawn(true);
    return true;
}

graph::PixelPoint MapPointMarker::Centre() const {
    if (point_ == nullptr || point_->value == nullptr) return {};
    return host_.ValueToPixel(point_->x, point_->value->GetValue());
}

graph::PixelRect MapPointMarker::PointRect() const {
    return graph::MarkerRect(Centre());
}

graph::PixelRect MapPointMarker::WindowRect() const {
    const QRect g = geometry();
    return {g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
}

void MapPointMarker::Reposition() {
    const graph::PixelRect r = PointRect();
    if (r == WindowRect()) return;
    setGeometry(ToQRect(r));
}

bool MapPointMarker::SetPointValue(double y, std::string_view verb) {
    if (point_ == nullptr) return false;
    if (!host_.StorePointValue(index_, *point_, y, verb)) return false;
    Reposition();
    update();
    return true;
}

bool MapPointMarker::AddDelta(double d, std::string_view verb) {
    if (point_ == nullptr || point_->value == nullptr) return false;
    return SetPointValue(point_->value->GetValue() + d, verb);
}

void MapPointMarker::SetDrawn(bool drawn) {
    if (drawn_ == drawn) return;
    drawn_ = drawn;
    update();
}

void MapPointMarker::BeginDrag() {
    host_.BeginDrag(*this);
}

void MapPointMarker::EndDrag() {
    host_.EndDrag(*this);
}

void MapPointMarker::mousePressEvent(QMouseEvent* event) {
    event->accept();
    // A view too small to have a plot has nothing to drag on.
    if (!host_.EditingAllowed() || point_ == nullptr) return;
    // Shift+click stretches the selection into a range instead of dragging.
    const bool extend = event->button() == Qt::LeftButton && dragState_ == kIdle &&
                        event->modifiers().testFlag(Qt::ShiftModifier);
    host_.PressMarker(*this, extend, dragState_ == kIdle);
    if (extend) return;
    if (event->button() == Qt::LeftButton) {
        if (dragState_ == kIdle) {
            BeginDrag();
            dragState_ = kLeftDrag;
        } else if (dragState_ == kRightDrag) {
            dragState_ = kBothButtons;
        }
    } else if (event->button() == Qt::RightButton) {
        if (dragState_ == kIdle) {
            BeginDrag();
            dragState_ = kRightDrag;
            host_.ShowDragValue(*this);
        } else {
            host_.ShowDragValue(*this);
            if (dragState_ == kLeftDrag) dragState_ = kBothButtons;
        }
    }
}

void MapPointMarker::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() == Qt::LeftButton) {
        if (dragState_ == kLeftDrag) {
            dragState_ = kIdle;
            EndDrag();
        } else if (dragState_ == kBothButtons) {
            dragState_ = kRightDrag;
        }
    } else if (event->button() == Qt::RightButton) {
        host_.HideDragValue();
        if (dragState_ == kRightDrag) {
            dragState_ = kIdle;
            EndDrag();
        } else if (dragState_ == kBothButtons) {
            dragState_ = kLeftDrag;
        }
    }
}

void MapPointMarker::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton || point_ == nullptr) return;
    // The second press of the double click began a drag that has not moved:
    // end it as the click it is before the dialog takes over.
    if (dragState_ == kLeftDrag) {
        dragState_ = kIdle;
        EndDrag();
    }
    host_.OpenValueDialog(*this);
}

void MapPointMarker::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    if (dragState_ == kIdle || point_ == nullptr || point_->value == nullptr) return;
    const QPoint at = mapToParent(event->position().toPoint());
    host_.MoveDrag(*this, {at.x(), at.y()});
}

void MapPointMarker::focusInEvent(QFocusEvent*) {
    if (QWidget* parent = parentWidget()) parent->setFocus(Qt::OtherFocusReason);
}

void MapPointMarker::paintEvent(QPaintEvent*) {
    if (!drawn_ || point_ == nullptr || point_->value == nullptr) return;
    QPainter p(this);
    const ColorRef colour = host_.MarkerColor(point_->value->InSync());
    p.fillRect(rect(), palette().color(kWindowTextRole));
    QRect inner = rect().adjusted(1, 1, -1, -1);
    p.fillRect(inner, ToQColor(colour));
    if (host_.IsSelected(*this)) {
        p.fillRect(inner.adjusted(1, 1, -1, -1), ToQColor(Complement(colour)));
    }
}

}  // namespace qx::gui
