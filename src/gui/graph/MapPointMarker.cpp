#include "gui/graph/MapPointMarker.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

#include "core/edit/Setting.h"
#include "core/maps/ModuleMap.h"
#include "core/model/ModuleState.h"
#include "gui/graph/GraphStyle.h"
#include "gui/graph/MapGraphView.h"
#include "gui/graph/MapPointValueDisplay.h"
#include "gui/graph/ModuleActivity.h"

namespace qx::gui {

namespace {

// One drag at a time: where it began and where the cursor is now, in view pixels.
graph::PixelPoint dragStart;
graph::PixelPoint dragPoint;
MapPointMarker* dragOwner = nullptr;

// A drag's change that waits until the monitor has read its packet.
class DeferredEditEvent : public QEvent {
  public:
    static QEvent::Type Kind() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    explicit DeferredEditEvent(const DragEdit& edit) : QEvent(Kind()), edit_(edit) {}
    const DragEdit& Edit() const { return edit_; }

  private:
    DragEdit edit_;
};

QRect ToQRect(const graph::PixelRect& r) {
    return QRect(r.left, r.top, r.Width(), r.Height());
}

bool PlatformMovesPointer() {
    const QString name = QGuiApplication::platformName();
    return name == QLatin1String("xcb") || name == QLatin1String("windows");
}

}  // namespace

MapPointMarker::MapPointMarker(MapGraphView* view, MapPoint* point, int index)
    : QWidget(view), view_(view), point_(point), index_(index) {
    setObjectName(QStringLiteral("MapPointMarker"));
    setFocusPolicy(Qt::NoFocus);
    setGeometry(ToQRect(PointRect()));
    show();
}

bool MapPointMarker::Bind(MapPoint* point) {
    if (point == point_) return false;
    point_ = point;
    if (dragState_ != kIdle || drawn_) return false;
    SetDrawn(true);
    // Only a held-back drag hides a marker once its buttons are up: its band
    // showed where that drag ended, a place the new point never was. The view
    // ends it once every marker has its new point (the band reads them all).
    return dragOwner == nullptr || dragOwner == this;
}

graph::PixelPoint MapPointMarker::Centre() const {
    if (point_ == nullptr || point_->value == nullptr) return {};
    return {view_->XToPixel(point_->x), view_->YToPixel(point_->value->GetValue())};
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

namespace {

// Sets point (index point of map) to y quantised, through the document's
// history as every edit (which marks the document modified), with propagation
// to a mirrored partner. True when the point's own value moved, whatever became
// of the partner's write (that failure reports itself).
bool SetValueOfPoint(ModuleState* doc, int map, int point, MapPoint& target, double y,
                     std::string_view verb) {
    if (target.value == nullptr) return false;
    ModuleValue& value = *target.value;
    const double q = value.Quantize(y);
    const double old = value.GetValue();
    if (q == old) return false;
    if (doc != nullptr && map >= 0) {
        const SettingKey key = SettingKey::Point(map, point);
        const std::string label = SettingLabel(key);
        doc->History().Perform(verb.empty() ? label : std::string(verb) + " " + label, {{key, q}});
    } else {
        value.SetValue(q, true);
    }
    return value.GetValue() != old;
}

}  // namespace

bool MapPointMarker::SetPointValue(double y, std::string_view verb) {
    if (point_ == nullptr) return false;
    ModuleState* doc = view_->GetDocument();
    const int map = doc ? MapIndexOf(*doc, view_->CurrentMap()) : -1;
    if (!SetValueOfPoint(doc, map, index_, *point_, y, verb)) return false;
    Reposition();
    update();
    return true;
}

bool MapPointMarker::AddDelta(double d, std::string_view verb) {
    if (point_ == nullptr || point_->value == nullptr) return false;
    return SetPointValue(point_->value->GetValue() + d, verb);
}

DragEdit MapPointMarker::EditOfBoundPoint(double delta) const {
    const ModuleState* doc = view_->GetDocument();
    if (doc == nullptr || view_->CurrentMap() != doc->GetCurrentMap()) return {};
    return {doc->MapsGeneration(), doc->CurrentMap(), index_, delta};
}

MapPoint* MapPointMarker::Resolve(const DragEdit& edit) const {
    const ModuleState* doc = view_->GetDocument();
    // A new or opened document has other maps: the edit belonged to the old ones.
    if (doc == nullptr || edit.map < 0 || doc->MapsGeneration() != edit.mapsGeneration)
        return nullptr;
    ModuleMap* map = doc->Map(edit.map);
    if (map == nullptr || !map->Initialized() || edit.point < 0 || edit.point >= map->PointCount())
        return nullptr;
    return &map->Point(edit.point);
}

void MapPointMarker::ApplyPixelDelta(int dy) {
    ApplyEdit(EditOfBoundPoint(view_->PixelsToValueDelta(dy)));
}

void MapPointMarker::ApplyEdit(const DragEdit& edit) {
    // The monitor is inside a packet: try again once the event loop comes round.
    if (MonitorReadingPacket()) {
        pendingChanges_ = 1;
        QCoreApplication::postEvent(this, new DeferredEditEvent(edit));
        return;
    }
    // A module command is in progress (its waits dispatch events): writing now
    // would land inside its exchange. Apply once the last command has ended.
    if (ModuleCommandInProgress()) {
        pendingChanges_ = 1;
        QPointer<MapPointMarker> self(this);
        CallWhenModuleFree([self, edit] {
            if (self) self->ApplyEdit(edit);
        });
        return;
    }
    pendingChanges_ = 0;
    const graph::PixelPoint p = endPoint_;
    if (MapPoint* target = Resolve(edit)) {
        // The map may have been switched meanwhile: the change still goes to
        // the point it was made on, and this marker moves only if it shows it.
        if (target == point_) {
            AddDelta(edit.delta, "Drag");
        } else if (target->value != nullptr) {
            SetValueOfPoint(view_->GetDocument(), edit.map, edit.point, *target,
                            target->value->GetValue() + edit.delta, "Drag");
        }
    }
    if (point_ != nullptr && point_->value != nullptr) view_->ValueDisplay()->ShowPoint(*point_);
    if (dragOwner == nullptr || dragOwner == this) {
        dragPoint = Centre();
        view_->EndRubberBand();
    }
    SetDrawn(true);
    graph::PixelRect r = WindowRect();
    if (p.x < r.left) r.left = p.x;
    if (p.x >= r.right) r.right = p.x + 1;
    if (p.y < r.top) r.top = p.y;
    if (p.y >= r.bottom) r.bottom = p.y + 1;
    invalidRect_ = invalidRect_.United(r);
    if (MapPointMarker* prev = view_->Marker(index_ - 1)) {
        invalidRect_ = invalidRect_.United(prev->WindowRect());
    }
    if (MapPointMarker* next = view_->Marker(index_ + 1)) {
        invalidRect_ = invalidRect_.United(next->WindowRect());
    }
    view_->InvalidateRect(invalidRect_);
    invalidRect_ = {};
}

void MapPointMarker::SetDrawn(bool drawn) {
    if (drawn_ == drawn) return;
    drawn_ = drawn;
    update();
}

graph::PixelPoint MapPointMarker::ToView(const QPointF& local) const {
    const QPoint v = mapTo(view_, local.toPoint());
    return {v.x(), v.y()};
}

void MapPointMarker::BeginDrag() {
    view_->SelectMarker(this);
    dragOwner = this;
    dragStart = dragPoint = Centre();
    endPoint_ = dragPoint;
    dragOrigin_ = EditOfBoundPoint(0.0);
    dragAxes_ = view_->Axes();
    invalidRect_ = WindowRect();
    SetDrawn(false);
}

void MapPointMarker::EndDrag() {
    if (dragOwner == this) dragOwner = nullptr;
    endPoint_ = dragPoint;
    // In value units of the map the drag was made on, whatever is shown by now.
    DragEdit edit = dragOrigin_;
    edit.delta = graph::PixelsToValueDelta(view_->Size(), dragAxes_, dragStart.y - dragPoint.y);
    ApplyEdit(edit);
}

void MapPointMarker::ShowValue() {
    MapPointValueDisplay* display = view_->ValueDisplay();
    display->Show();
    if (point_ == nullptr || point_->value == nullptr) return;
    display->SetText(point_->x, point_->value->Quantize(view_->PixelToY(dragPoint.y)));
}

void MapPointMarker::HideDisplay() {
    view_->ValueDisplay()->Hide();
}

void MapPointMarker::mousePressEvent(QMouseEvent* event) {
    event->accept();
    // A view too small to have a plot has nothing to drag on.
    if (view_->PlotHeight() <= 0 || point_ == nullptr) return;
    if (!view_->hasFocus()) view_->setFocus(Qt::MouseFocusReason);
    // Shift+click stretches the selection into a range instead of dragging.
    if (event->button() == Qt::LeftButton && dragState_ == kIdle &&
        event->modifiers().testFlag(Qt::ShiftModifier)) {
        view_->ExtendRangeTo(index_);
        return;
    }
    if (dragState_ == kIdle) view_->ClearRange();
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
            ShowValue();
        } else {
            ShowValue();
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
        HideDisplay();
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
    // The first click of the pair has selected this marker; a double click that
    // comes without it (synthesised input) must not edit another point.
    view_->SelectMarker(this);
    view_->OpenSetYValueDialog();
    view_->ValueDisplay()->ShowPoint(*point_);
}

void MapPointMarker::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    if (dragState_ == kIdle || point_ == nullptr || point_->value == nullptr) return;
    const graph::PixelPoint raw = ToView(event->position());
    const graph::PixelPoint pos =
        graph::ClampInto(raw, graph::DragConfinement(view_->Size(), WindowRect()));
    if (!(pos == raw) && PlatformMovesPointer()) {
        QCursor::setPos(view_->mapToGlobal(QPoint(pos.x, pos.y)));
    }
    if (dragPoint.y - pos.y == 0) return;
    const double q = point_->value->Quantize(view_->PixelToY(pos.y));
    dragPoint.y = pos.y;
    view_->MoveRubberBand(index_, dragPoint);
    MapPointValueDisplay* display = view_->ValueDisplay();
    if (display->IsShown()) display->SetText(point_->x, q);
}

void MapPointMarker::focusInEvent(QFocusEvent*) {
    view_->setFocus(Qt::OtherFocusReason);
}

bool MapPointMarker::event(QEvent* event) {
    if (event->type() == DeferredEditEvent::Kind()) {
        ApplyEdit(static_cast<DeferredEditEvent*>(event)->Edit());
        return true;
    }
    return QWidget::event(event);
}

void MapPointMarker::paintEvent(QPaintEvent*) {
    if (!drawn_ || point_ == nullptr || point_->value == nullptr) return;
    QPainter p(this);
    const ColorRef colour =
        point_->value->InSync() ? view_->InSyncColor() : view_->NotInSyncColor();
    p.fillRect(rect(), palette().color(kWindowTextRole));
    QRect inner = rect().adjusted(1, 1, -1, -1);
    p.fillRect(inner, ToQColor(colour));
    if (view_->GetSelectedMarker() == this) {
        p.fillRect(inner.adjusted(1, 1, -1, -1), ToQColor(Complement(colour)));
    }
}

}  // namespace qx::gui
