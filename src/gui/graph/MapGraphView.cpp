#include "gui/graph/MapGraphView.h"

#include <qdrawutil.h>

#include <QColorDialog>
#include <QCoreApplication>
#include <QCursor>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QRubberBand>
#include <QStyle>
#include <algorithm>
#include <cstdlib>
#include <new>

#include "core/edit/Setting.h"
#include "core/host/Host.h"
#include "core/host/Numbers.h"
#include "core/host/Profile.h"
#include "core/maps/ModuleMap.h"
#include "core/model/ModuleState.h"
#include "gui/edit/GraphOverlay.h"
#include "gui/edit/TuneComparison.h"
#include "gui/graph/MapPointMarker.h"
#include "gui/graph/MapPointValueDisplay.h"
#include "gui/graph/ModuleActivity.h"
#include "gui/graph/SetYValueDialog.h"

namespace qx::gui {

namespace {

QRect ToQRect(const graph::PixelRect& r) {
    return QRect(r.left, r.top, r.Width(), r.Height());
}

graph::PixelRect FromQRect(const QRect& r) {
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

// An arrow step that waits until the monitor has read its packet. It carries a
// repeat count of 0, so it runs even when the key has been released meanwhile.
class KeyStepEvent : public QEvent {
  public:
    static QEvent::Type Kind() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    KeyStepEvent(int key, Qt::KeyboardModifiers mods) : QEvent(Kind()), key_(key), mods_(mods) {}
    int Key() const { return key_; }
    Qt::KeyboardModifiers Modifiers() const { return mods_; }

  private:
    int key_;
    Qt::KeyboardModifiers mods_;
};

bool PlatformMovesPointer() {
    const QString name = QGuiApplication::platformName();
    return name == QLatin1String("xcb") || name == QLatin1String("windows");
}

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

struct ColorKey {
    const char* key;
    ColorRef fallback;
};
constexpr ColorKey kBackgroundKey{"GraphBackgroundColor", 0};
constexpr ColorKey kGridKey{"GridLineColor", 0xFF00};
constexpr ColorKey kInSyncKey{"InSyncMarkerColor", 0xFF};
constexpr ColorKey kNotInSyncKey{"NotInSyncMarkerColor", 0xC0C0C0};
constexpr ColorKey kMapLineKey{"MapLineColor", 0xFF0000};
constexpr ColorKey kComparisonKey{"ComparisonLineColor", 0x00A5FF};

ColorRef ReadColor(const Profile& profile, const ColorKey& k) {
    return static_cast<ColorRef>(profile.GetInt("Colors", k.key, static_cast<int>(k.fallback)));
}

void DrawTopLeftText(QPainter& p, int x, int y, const QString& text) {
    p.drawText(x, y + QFontMetrics(p.font()).ascent(), text);
}

}  // namespace

// A drag's change that waits until the monitor has read its packet.
class MapGraphView::DeferredEditEvent : public QEvent {
  public:
    static QEvent::Type Kind() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    DeferredEditEvent(int index, const DragEdit& edit)
        : QEvent(Kind()), index_(index), edit_(edit) {}
    int Index() const { return index_; }
    const DragEdit& Edit() const { return edit_; }

  private:
    int index_;
    DragEdit edit_;
};

MapGraphView::MapGraphView(Host& host, ModuleActivity& activity, Profile& profile, QWidget* parent)
    : QWidget(parent), host_(host), profile_(profile), activity_(activity) {
    setObjectName(QStringLiteral("MapGraphView"));
    setFocusPolicy(Qt::StrongFocus);
    // Every pixel is painted: margins, caption band and frame tile the client.
    setAttribute(Qt::WA_OpaquePaintEvent);
    const int styleCaption = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
    if (styleCaption > 0) captionHeight_ = styleCaption;
    valueDisplay_ = new MapPointValueDisplay(this);
    valueDisplay_->Hide();
}

MapGraphView::~MapGraphView() {
    if (document_ != nullptr) document_->RemoveObserver(this);
}

void MapGraphView::SetDocument(ModuleState* document) {
    if (document_ == document) return;
    if (document_ != nullptr) document_->RemoveObserver(this);
    document_ = document;
    if (document_ != nullptr) document_->AddObserver(this);
}

void MapGraphView::ReadColors() {
    backgroundColor_ = ReadColor(profile_, kBackgroundKey);
    gridColor_ = ReadColor(profile_, kGridKey);
    inSyncColor_ = ReadColor(profile_, kInSyncKey);
    notInSyncColor_ = ReadColor(profile_, kNotInSyncKey);
    mapLineColor_ = ReadColor(profile_, kMapLineKey);
    comparisonColor_ = ReadColor(profile_, kComparisonKey);
}

void MapGraphView::OnInitialUpdate() {
    currentMap_ = document_ != nullptr ? document_->GetCurrentMap() : nullptr;
    ReadColors();
    if (currentMap_ != nullptr && currentMap_->Initialized()) {
        if (markers_.empty()) {
            try {
                markers_.reserve(static_cast<std::size_t>(currentMap_->PointCount()));
                for (int i = 0; i < currentMap_->PointCount(); ++i) {
                    markers_.push_back(new MapPointMarker(this, *this, &currentMap_->Point(i), i));
                }
                drags_.resize(markers_.size());
                selectedIndex_ = 0;
            } catch (const std::bad_alloc&) {
                DestroyMarkers();
                host_.MessageBox("Out of Memory!", "Resource Error", MsgButtons::Ok,
                                 MsgIcon::Error);
            }
        } else {
            // A new or opened document brings new maps: the markers must not
            // keep pointing at the points of the old ones.
            BindMarkers();
        }
    }
    if (currentMap_ != nullptr) update();
    updateGeometry();  // the maps' texts set the smallest legible size
}

void MapGraphView::DestroyMarkers() {
    for (MapPointMarker* m : markers_) delete m;
    markers_.clear();
    drags_.clear();
    dragOwner_ = nullptr;
    selectedIndex_ = 0;
}

void MapGraphView::BindMarkers() {
    if (currentMap_ == nullptr || !currentMap_->Initialized()) return;
    const int n = std::min(MarkerCount(), currentMap_->PointCount());
    bool endBand = false;
    for (int i = 0; i < n; ++i) {
        MapPointMarker* m = markers_[static_cast<std::size_t>(i)];
        // A marker shown again had its held-back drag's band showing where that
        // drag ended, a place the new point never was. The band ends once every
        // marker has its new point (the band reads them all).
        if (m->Bind(&currentMap_->Point(i)) && (dragOwner_ == nullptr || dragOwner_ == m))
            endBand = true;
    }
    if (endBand) EndRubberBand();
    RepositionMarkers();
    for (MapPointMarker* m : markers_) m->update();
}

void MapGraphView::OnUpdate(ModuleMap* mapHint) {
    if (mapHint == nullptr) return;
    currentMap_ = mapHint;
    rangeAnchor_ = -1;
    if (!markers_.empty()) {
        BindMarkers();
        SelectMarkerByIndex(0);
    }
    valueDisplay_->Hide();
    update();
    UpdateLiveXBar(true);
}

void MapGraphView::OnUpdate(DocumentBase&, int, ModuleMap* hintMap) {
    OnUpdate(hintMap);
}

void MapGraphView::UpdateLiveXBar(bool force) {
    if (currentMap_ == nullptr) return;
    currentMap_->UpdateLiveX();
    const int px = XToPixel(currentMap_->LiveX());
    if (!force && px == lastLiveXPixel_) return;
    const graph::GraphSize s = Size();
    InvalidateRect(graph::LiveBarStrip(s, lastLiveXPixel_));
    InvalidateRect(graph::LiveBarStrip(s, px));
    lastLiveXPixel_ = px;
}

// ---- Geometry ---------------------------------------------------------------

void MapGraphView::SetMonitorWidth(int pixels) {
    monitorWidth_ = pixels;
    update();
}

void MapGraphView::SetCaptionHeight(int pixels) {
    captionHeight_ = pixels;
    RepositionMarkers();
    update();
}

int MapGraphView::MonitorWidth() const {
    return monitorWidth_;
}

graph::GraphSize MapGraphView::Size() const {
    return {clientWidth_, clientHeight_, captionHeight_, MonitorWidth()};
}

graph::AxisRange MapGraphView::Axes() const {
    if (currentMap_ == nullptr) return {};
    return {currentMap_->ValueMin().x, currentMap_->ValueMax().x, currentMap_->ValueMin().y,
            currentMap_->ValueMax().y};
}

int MapGraphView::PlotTop() const {
    return graph::PlotTop(Size());
}
int MapGraphView::PlotHeight() const {
    return graph::PlotHeight(Size());
}
int MapGraphView::PlotLeft() const {
    return graph::PlotLeft(Size());
}
int MapGraphView::PlotWidth() const {
    return graph::PlotWidth(Size());
}
int MapGraphView::XToPixel(double x) const {
    return graph::XToPixel(Size(), Axes(), x);
}
int MapGraphView::YToPixel(double y) const {
    return graph::YToPixel(Size(), Axes(), y);
}
double MapGraphView::PixelToY(int py) const {
    return graph::PixelToY(Size(), Axes(), py);
}
double MapGraphView::PixelsToValueDelta(int pixels) const {
    return graph::PixelsToValueDelta(Size(), Axes(), pixels);
}

graph::PixelRect MapGraphView::CalcGraphFrame() {
    graphFrame_ = graph::CalcGraphFrame(Size());
    return graphFrame_;
}

void MapGraphView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    clientWidth_ = width();
    clientHeight_ = height();
    RepositionMarkers();
}

// ---- Markers and selection ----------------------------------------------------

MapPointMarker* MapGraphView::Marker(int i) const {
    if (i < 0 || i >= MarkerCount()) return nullptr;
    return markers_[static_cast<std::size_t>(i)];
}

MapPointMarker* MapGraphView::GetSelectedMarker() const {
    return Marker(selectedIndex_);
}
MapPointMarker* MapGraphView::GetPrevMarker() const {
    return Marker(selectedIndex_ - 1);
}
MapPointMarker* MapGraphView::GetNextMarker() const {
    return Marker(selectedIndex_ + 1);
}

bool MapGraphView::SelectMarker(MapPointMarker* marker) {
    MapPointMarker* previous = GetSelectedMarker();
    if (marker != nullptr && marker == previous) return true;
    const auto it = std::find(markers_.begin(), markers_.end(), marker);
    if (it == markers_.end()) {
        host_.MessageBox("The specified marker pointer is invalid", "Program Error", MsgButtons::Ok,
                         MsgIcon::None);
        return false;
    }
    selectedIndex_ = static_cast<int>(it - markers_.begin());
    if (previous != nullptr) previous->update();
    marker->update();
    if (rangeAnchor_ >= 0) update();
    Q_EMIT selectionChanged();
    return true;
}

int MapGraphView::RangeFirst() const {
    return HasRange() ? std::min(rangeAnchor_, selectedIndex_) : selectedIndex_;
}

int MapGraphView::RangeLast() const {
    return HasRange() ? std::max(rangeAnchor_, selectedIndex_) : selectedIndex_;
}

void MapGraphView::ExtendRangeTo(int i) {
    if (markers_.empty()) return;
    if (rangeAnchor_ < 0) rangeAnchor_ = selectedIndex_;
    SelectMarkerByIndex(i);
    update();
    Q_EMIT selectionChanged();
}

void MapGraphView::ClearRange() {
    if (rangeAnchor_ < 0) return;
    rangeAnchor_ = -1;
    update();
    Q_EMIT selectionChanged();
}

void MapGraphView::SelectRange(int first, int last) {
    if (markers_.empty()) return;
    rangeAnchor_ = std::clamp(first, 0, MarkerCount() - 1);
    SelectMarkerByIndex(last);
    update();
    Q_EMIT selectionChanged();
}

void MapGraphView::SetComparison(const TuneComparison* comparison) {
    if (comparison != comparison_) {
        disconnect(comparisonDrawing_);
        comparison_ = comparison;
        if (comparison != nullptr) {
            comparisonDrawing_ = connect(this, &MapGraphView::layerPainted, comparison,
                                         [this, comparison](QPainter* painter, GraphLayer layer) {
                                             if (layer == GraphLayer::UnderCurve)
                                                 DrawComparison(*painter, *this, *comparison);
                                         });
        }
    }
    update();
}

// A range drawn with the mouse: press beside the markers and sweep across them.
void MapGraphView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || currentMap_ == nullptr || markers_.empty()) {
        QWidget::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    bandStartX_ = event->position().toPoint().x();
    if (band_ == nullptr) band_ = new QRubberBand(QRubberBand::Rectangle, this);
    band_->setGeometry(bandStartX_, PlotTop(), 1, PlotHeight());
    band_->show();
}

void MapGraphView::mouseMoveEvent(QMouseEvent* event) {
    if (bandStartX_ < 0 || band_ == nullptr) return;
    const int x = event->position().toPoint().x();
    band_->setGeometry(std::min(x, bandStartX_), PlotTop(), std::abs(x - bandStartX_) + 1,
                       PlotHeight());
}

void MapGraphView::mouseReleaseEvent(QMouseEvent* event) {
    if (bandStartX_ < 0 || event->button() != Qt::LeftButton) return;
    const int a = std::min(bandStartX_, event->position().toPoint().x());
    const int b = std::max(bandStartX_, event->position().toPoint().x());
    bandStartX_ = -1;
    if (band_ != nullptr) band_->hide();
    int first = -1;
    int last = -1;
    for (int i = 0; i < MarkerCount(); ++i) {
        const int x = Marker(i)->Centre().x;
        if (x < a || x > b) continue;
        if (first < 0) first = i;
        last = i;
    }
    if (first < 0) return;
    if (first == last) {
        ClearRange();
        SelectMarkerByIndex(first);
    } else {
        SelectRange(first, last);
    }
}

void MapGraphView::SelectMarkerByIndex(int i) {
    if (markers_.empty()) return;
    SelectMarker(Marker(std::clamp(i, 0, MarkerCount() - 1)));
}

void MapGraphView::RepositionMarkers() {
    laidOutFor_ = Size();
    for (MapPointMarker* m : markers_) m->Reposition();
}

// ---- Marker drags ------------------------------------------------------------------

graph::PixelPoint MapGraphView::ValueToPixel(double x, double y) const {
    return {XToPixel(x), YToPixel(y)};
}

bool MapGraphView::EditingAllowed() const {
    return PlotHeight() > 0;
}

bool MapGraphView::IsSelected(const MapPointMarker& marker) const {
    return GetSelectedMarker() == &marker;
}

ColorRef MapGraphView::MarkerColor(bool inSync) const {
    return inSync ? inSyncColor_ : notInSyncColor_;
}

void MapGraphView::PressMarker(MapPointMarker& marker, bool extend, bool firstButton) {
    if (!hasFocus()) setFocus(Qt::MouseFocusReason);
    if (extend) {
        ExtendRangeTo(marker.Index());
    } else if (firstButton) {
        ClearRange();
    }
}

bool MapGraphView::StorePointValue(int index, MapPoint& point, double y, std::string_view verb) {
    const int map = document_ != nullptr ? MapIndexOf(*document_, currentMap_) : -1;
    return SetValueOfPoint(document_, map, index, point, y, verb);
}

MapGraphView::DragEdit MapGraphView::EditOfShownPoint(int index, double delta) const {
    if (document_ == nullptr || currentMap_ != document_->GetCurrentMap()) return {};
    return {document_->MapsGeneration(), document_->CurrentMap(), index, delta};
}

MapPoint* MapGraphView::Resolve(const DragEdit& edit) const {
    // A new or opened document has other maps: the edit belonged to the old ones.
    if (document_ == nullptr || edit.map < 0 || document_->MapsGeneration() != edit.mapsGeneration)
        return nullptr;
    ModuleMap* map = document_->Map(edit.map);
    if (map == nullptr || !map->Initialized() || edit.point < 0 || edit.point >= map->PointCount())
        return nullptr;
    return &map->Point(edit.point);
}

bool MapGraphView::HasPendingChange(int index) const {
    if (index < 0 || index >= static_cast<int>(drags_.size())) return false;
    return drags_[static_cast<std::size_t>(index)].pending;
}

void MapGraphView::BeginDrag(MapPointMarker& marker) {
    SelectMarker(&marker);
    dragOwner_ = &marker;
    dragStart_ = dragPoint_ = marker.Centre();
    MarkerDrag& d = drags_[static_cast<std::size_t>(marker.Index())];
    d.end = dragPoint_;
    d.origin = EditOfShownPoint(marker.Index(), 0.0);
    d.axes = Axes();
    d.dirty = marker.WindowRect();
    marker.SetDrawn(false);
}

void MapGraphView::MoveDrag(MapPointMarker& marker, graph::PixelPoint at) {
    const MapPoint* point = marker.Point();
    if (point == nullptr || point->value == nullptr) return;
    const graph::PixelPoint pos =
        graph::ClampInto(at, graph::DragConfinement(Size(), marker.WindowRect()));
    if (!(pos == at) && PlatformMovesPointer()) QCursor::setPos(mapToGlobal(QPoint(pos.x, pos.y)));
    if (dragPoint_.y - pos.y == 0) return;
    const double q = point->value->Quantize(PixelToY(pos.y));
    dragPoint_.y = pos.y;
    MoveRubberBand(marker.Index(), dragPoint_);
    if (valueDisplay_->IsShown()) valueDisplay_->SetText(point->x, q);
}

void MapGraphView::EndDrag(MapPointMarker& marker) {
    if (dragOwner_ == &marker) dragOwner_ = nullptr;
    MarkerDrag& d = drags_[static_cast<std::size_t>(marker.Index())];
    d.end = dragPoint_;
    // In value units of the map the drag was made on, whatever is shown by now.
    DragEdit edit = d.origin;
    edit.delta = graph::PixelsToValueDelta(Size(), d.axes, dragStart_.y - dragPoint_.y);
    ApplyEdit(marker.Index(), edit);
}

void MapGraphView::ShowDragValue(MapPointMarker& marker) {
    valueDisplay_->Show();
    const MapPoint* point = marker.Point();
    if (point == nullptr || point->value == nullptr) return;
    valueDisplay_->SetText(point->x, point->value->Quantize(PixelToY(dragPoint_.y)));
}

void MapGraphView::HideDragValue() {
    valueDisplay_->Hide();
}

void MapGraphView::OpenValueDialog(MapPointMarker& marker) {
    // The first click of the pair has selected this marker; a double click that
    // comes without it (synthesised input) must not edit another point.
    SelectMarker(&marker);
    OpenSetYValueDialog();
    if (const MapPoint* point = marker.Point()) valueDisplay_->ShowPoint(*point);
}

void MapGraphView::ApplyEdit(int index, const DragEdit& edit) {
    MapPointMarker* marker = Marker(index);
    if (marker == nullptr) return;
    const auto slot = static_cast<std::size_t>(index);
    // The monitor is inside a packet: try again once the event loop comes round.
    if (activity_.MonitorReadingPacket()) {
        drags_[slot].pending = true;
        QCoreApplication::postEvent(this, new DeferredEditEvent(index, edit));
        return;
    }
    // A module command is in progress (its waits dispatch events): writing now
    // would land inside its exchange. Apply once the last command has ended.
    if (activity_.CommandInProgress()) {
        drags_[slot].pending = true;
        QPointer<MapGraphView> self(this);
        activity_.CallWhenModuleFree([self, index, edit] {
            if (self) self->ApplyEdit(index, edit);
        });
        return;
    }
    drags_[slot].pending = false;
    const graph::PixelPoint p = drags_[slot].end;
    if (MapPoint* target = Resolve(edit)) {
        // The map may have been switched meanwhile: the change still goes to
        // the point it was made on, and the marker moves only if it shows it.
        if (target == marker->Point()) {
            marker->AddDelta(edit.delta, "Drag");
        } else if (target->value != nullptr) {
            SetValueOfPoint(document_, edit.map, edit.point, *target,
                            target->value->GetValue() + edit.delta, "Drag");
        }
    }
    const MapPoint* shown = marker->Point();
    if (shown != nullptr && shown->value != nullptr) valueDisplay_->ShowPoint(*shown);
    if (dragOwner_ == nullptr || dragOwner_ == marker) {
        dragPoint_ = marker->Centre();
        EndRubberBand();
    }
    marker->SetDrawn(true);
    graph::PixelRect r = marker->WindowRect();
    if (p.x < r.left) r.left = p.x;
    if (p.x >= r.right) r.right = p.x + 1;
    if (p.y < r.top) r.top = p.y;
    if (p.y >= r.bottom) r.bottom = p.y + 1;
    graph::PixelRect dirty = drags_[slot].dirty.United(r);
    if (MapPointMarker* prev = Marker(index - 1)) dirty = dirty.United(prev->WindowRect());
    if (MapPointMarker* next = Marker(index + 1)) dirty = dirty.United(next->WindowRect());
    InvalidateRect(dirty);
    drags_[slot].dirty = {};
}

// ---- Rubber band ------------------------------------------------------------------

graph::PixelRect MapGraphView::RubberBandBounds() const {
    if (rubberIndex_ < 0) return {};
    graph::PixelRect r{rubberPoint_.x, rubberPoint_.y, rubberPoint_.x + 1, rubberPoint_.y + 1};
    for (MapPointMarker* n : {Marker(rubberIndex_ - 1), Marker(rubberIndex_ + 1)}) {
        if (n == nullptr) continue;
        const graph::PixelPoint c = n->Centre();
        r = r.United({c.x, c.y, c.x + 1, c.y + 1});
    }
    return r.Inflated(1);
}

void MapGraphView::MoveRubberBand(int index, graph::PixelPoint p) {
    // Only the two segments beside the point change: repaint just their area.
    const graph::PixelRect before = RubberBandBounds();
    rubberIndex_ = index;
    rubberPoint_ = p;
    InvalidateRect(before.United(RubberBandBounds()));
}

void MapGraphView::EndRubberBand() {
    if (rubberIndex_ < 0) return;
    const graph::PixelRect before = RubberBandBounds();
    rubberIndex_ = -1;
    InvalidateRect(before);
}

void MapGraphView::DrawRubberBand(QPainter& p) const {
    if (rubberIndex_ < 0) return;
    QPolygon line;
    if (MapPointMarker* prev = Marker(rubberIndex_ - 1)) {
        line << QPoint(prev->Centre().x, prev->Centre().y);
    }
    line << QPoint(rubberPoint_.x, rubberPoint_.y);
    if (MapPointMarker* next = Marker(rubberIndex_ + 1)) {
        line << QPoint(next->Centre().x, next->Centre().y);
    }
    if (line.size() < 2) return;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setCompositionMode(QPainter::RasterOp_NotDestination);
    p.setPen(QPen(ToQColor(mapLineColor_), 0));
    p.drawPolyline(line);
    p.restore();
}

// ---- Painting ---------------------------------------------------------------------

void MapGraphView::InvalidateRect(const graph::PixelRect& r) {
    if (r.IsEmpty()) return;
    update(ToQRect(r));
}

void MapGraphView::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    DrawGraph(p, FromQRect(event->rect()));
    DrawRubberBand(p);
    if (!(laidOutFor_ == Size())) {
        // The layout changed (the monitor window opened or closed): move the
        // markers once painting is over, and the smallest legible size changed.
        QMetaObject::invokeMethod(this, &MapGraphView::RepositionMarkers, Qt::QueuedConnection);
        if (laidOutFor_.monitorWidth != MonitorWidth()) updateGeometry();
    }
}

void MapGraphView::DrawGraph(QPainter& p, const graph::PixelRect& r) {
    const graph::GraphSize s = Size();
    const QPalette& pal = palette();
    p.setRenderHint(QPainter::Antialiasing, false);

    // Background of the frame.
    CalcGraphFrame();
    const graph::PixelRect frameArea = graphFrame_.Intersected(r);
    if (!frameArea.IsEmpty()) p.fillRect(ToQRect(frameArea), ToQColor(backgroundColor_));
    if (currentMap_ == nullptr) {
        const graph::PixelRect area = graph::PixelRect{0, 0, s.width, s.height}.Intersected(r);
        if (!area.IsEmpty()) p.fillRect(ToQRect(area), pal.color(kWorkspaceRole));
        return;
    }

    Q_EMIT layerPainted(&p, GraphLayer::Background);
    if (currentMap_->Initialized()) {
        if (HasRange()) DrawRangeBand(p, *this);
        for (int i = 0; i < currentMap_->GridLines().x; ++i) DrawXGridLine(p, i, r);
        for (int i = 0; i < currentMap_->GridLines().y; ++i) DrawYGridLine(p, i, r);
    }

    // A log without the x value (no engine speed, say) shows no bar.
    if (activity_.MonitorShowsLiveBar() && currentMap_->LiveValue().InSync()) {
        const int px = XToPixel(currentMap_->LiveX());
        if (r.left <= px && px <= r.right) {
            p.fillRect(ToQRect(graph::LiveBarRect(s, px)), ToQColor(0xFF));
        }
    }

    const graph::Margins margins = graph::CalcMargins(s);
    for (const graph::PixelRect& m : {margins.left, margins.top, margins.right, margins.bottom}) {
        const graph::PixelRect area = m.Intersected(r);
        if (!area.IsEmpty()) p.fillRect(ToQRect(area), pal.color(kWorkspaceRole));
    }

    const graph::PixelRect band = graph::CaptionBand(s).Intersected(r);
    if (!band.IsEmpty()) {
        p.fillRect(ToQRect(band), pal.color(kCaptionRole));
        p.setPen(pal.color(kCaptionTextRole));
        p.setFont(ArialFont(graph::CaptionFontHeight(s), true));
        const graph::PixelPoint at = graph::CaptionTextOrigin(s);
        DrawTopLeftText(p, at.x, at.y, QString::fromStdString(currentMap_->Title()));
    }

    DrawTitles(p, r);

    graph::PixelRect edge = graph::FrameEdgeRect(s);
    if (!graph::StrictlyInside(r, edge)) {
        qDrawWinPanel(&p, ToQRect(edge), pal, true);
        edge = edge.Inflated(6);
        qDrawWinPanel(&p, ToQRect(edge), pal, false);
    }

    DrawCurve(p, r);
}

// ---- Minimum size ------------------------------------------------------------------

bool MapGraphView::LegibleAt(const graph::GraphSize& s, const ModuleMap& map,
                             bool checkWidth) const {
    constexpr int kGap = 6;  // pixels between neighbouring texts
    constexpr int kSmallestTitle = 12;
    const int titleHeight = graph::TitleHeight(s);
    if (titleHeight < kSmallestTitle || graph::PlotHeight(s) <= 0 || graph::PlotWidth(s) <= 0)
        return false;
    const QFontMetrics titles(ArialFont(titleHeight, false));
    const QFontMetrics ticks(StockVariableFont());
    const QString xTitle = QString::fromStdString(map.XLabel() + " (" + map.XUnits() + ")");
    const QString yTitle = QString::fromStdString(map.YLabel() + " (" + map.YUnits() + ")");
    const XYpair<int> lines = map.GridLines();
    if (checkWidth) {
        const QFontMetrics caption(ArialFont(graph::CaptionFontHeight(s), true));
        const int titleRight = graph::CaptionTextOrigin(s).x +
                               caption.horizontalAdvance(QString::fromStdString(map.Title()));
        if (titleRight + kGap > graph::FrameRight(s)) return false;
        if (titles.horizontalAdvance(xTitle) + kGap > graph::PlotWidth(s)) return false;
        int widest = 0;
        for (int i = 0; i < lines.x; ++i)
            widest = std::max(widest, ticks.horizontalAdvance(QString::fromStdString(
                                          FormatDouble("%.0lf", map.GetGridX(i)))));
        if (lines.x > 1 && (widest + kGap) * (lines.x - 1) > graph::PlotWidth(s)) return false;
        return true;
    }
    if (titles.horizontalAdvance(yTitle) + kGap > graph::PlotHeight(s)) return false;
    // The x axis title sits below the tick labels, not over them.
    const int tickBottom = graph::PlotBottom(s) + 5 + ticks.height();
    if (graph::XTitleOrigin(s, 0, titles.height()).y < tickBottom) return false;
    if (lines.y > 1 && (ticks.height() + kGap) * (lines.y - 1) > graph::PlotHeight(s)) return false;
    return true;
}

QSize MapGraphView::minimumSizeHint() const {
    if (document_ == nullptr) return QWidget::minimumSizeHint();
    // Found by search: the texts grow with the height, so the bounds are not
    // simple formulas; every map counts so the window does not jump on a map switch.
    constexpr int kStep = 8;
    constexpr int kLargest = 4096;
    int width = 0;
    int height = 0;
    for (int i = 0; i < document_->MapCount(); ++i) {
        const ModuleMap* map = document_->Map(i);
        if (map == nullptr || !map->Initialized()) continue;
        int h = std::max(height, kStep);
        while (h < kLargest && !LegibleAt({kLargest, h, captionHeight_, 0}, *map, false))
            h += kStep;
        height = h;
    }
    for (int i = 0; i < document_->MapCount(); ++i) {
        const ModuleMap* map = document_->Map(i);
        if (map == nullptr || !map->Initialized()) continue;
        int w = std::max(width, MonitorWidth() + kStep);
        while (w < kLargest && !LegibleAt({w, height, captionHeight_, MonitorWidth()}, *map, true))
            w += kStep;
        width = w;
    }
    return {width, height};
}

void MapGraphView::DrawTitles(QPainter& p, const graph::PixelRect& r) {
    const graph::GraphSize s = Size();
    const int h = graph::TitleHeight(s);
    p.setPen(ToQColor(gridColor_));
    p.setFont(ArialFont(h, false));
    const QFontMetrics fm(p.font());

    // The live bar's strips reach just below the plot, not down to the title.
    graph::PixelRect xBand = graph::XTitleBand(s);
    xBand.top = std::max(xBand.top, graph::XTitleOrigin(s, 0, fm.height()).y - 1);
    if (!xBand.Intersected(r).IsEmpty()) {
        const QString text =
            QString::fromStdString(currentMap_->XLabel() + " (" + currentMap_->XUnits() + ")");
        const graph::PixelPoint at =
            graph::XTitleOrigin(s, fm.horizontalAdvance(text), fm.height());
        DrawTopLeftText(p, at.x, at.y, text);
    }
    if (!graph::YTitleBand(s).Intersected(r).IsEmpty()) {
        const QString text =
            QString::fromStdString(currentMap_->YLabel() + " (" + currentMap_->YUnits() + ")");
        const graph::PixelPoint at =
            graph::YTitleOrigin(s, fm.horizontalAdvance(text), fm.height());
        // Reads upward: the text's top edge faces left.
        p.save();
        p.translate(at.x, at.y);
        p.rotate(-90);
        DrawTopLeftText(p, 0, 0, text);
        p.restore();
    }
}

// Only what meets r is drawn: the live bar repaints a strip up to 10 times a second,
// and laying out every tick label for it cost more than the rest of the strip.
void MapGraphView::DrawXGridLine(QPainter& p, int i, const graph::PixelRect& r) {
    const int count = currentMap_->GridLines().x;
    const double gx = currentMap_->GetGridX(i);
    const int x = XToPixel(gx);
    const int b = YToPixel(currentMap_->ValueMin().y);
    const int t = YToPixel(currentMap_->ValueMax().y);
    if (x + 1 >= r.left && x - 1 < r.right) {
        const bool solid = i == 0 || i == count - 1;
        p.setPen(QPen(ToQColor(gridColor_), 0, solid ? Qt::SolidLine : Qt::DotLine));
        p.drawLine(x, b, x, t);
    }
    if (!graph::XTickLabelMeets(b, r)) return;
    p.setPen(QPen(ToQColor(gridColor_), 0));
    p.setFont(StockVariableFont());
    p.drawText(ToQRect(graph::XTickLabelBox(x, b)),
               Qt::AlignHCenter | Qt::AlignTop | Qt::TextDontClip | Qt::TextSingleLine,
               QString::fromStdString(FormatDouble("%.0lf", gx)));
}

void MapGraphView::DrawYGridLine(QPainter& p, int i, const graph::PixelRect& r) {
    const int count = currentMap_->GridLines().y;
    const double gy = currentMap_->GetGridY(i);
    const int y = YToPixel(gy);
    const int a = XToPixel(currentMap_->ValueMin().x);
    const int right = XToPixel(currentMap_->ValueMax().x);
    if (y + 1 >= r.top && y - 1 < r.bottom) {
        const bool solid = i == 0 || i == count - 1;
        p.setPen(QPen(ToQColor(gridColor_), 0, solid ? Qt::SolidLine : Qt::DotLine));
        p.drawLine(a, y, right, y);
    }
    if (!graph::YTickLabelMeets(a, r)) return;
    p.setPen(QPen(ToQColor(gridColor_), 0));
    p.setFont(StockVariableFont());
    p.drawText(ToQRect(graph::YTickLabelBox(a, y)),
               Qt::AlignRight | Qt::AlignVCenter | Qt::TextDontClip | Qt::TextSingleLine,
               QString::fromStdString(FormatDouble("%.0lf", gy)));
}

void MapGraphView::DrawCurve(QPainter& p, const graph::PixelRect& r) {
    if (!currentMap_->Initialized()) return;
    // Others' lines (the other tune of a comparison) go over the grid, under the curve.
    Q_EMIT layerPainted(&p, GraphLayer::UnderCurve);
    p.setPen(QPen(ToQColor(mapLineColor_), 0));
    auto pixel = [this](int i) {
        const MapPoint& pt = currentMap_->Point(i);
        return graph::PixelPoint{XToPixel(pt.x), YToPixel(pt.value->GetValue())};
    };
    graph::PixelPoint previous = pixel(0);
    for (int i = 1; i < currentMap_->PointCount(); ++i) {
        const graph::PixelPoint next = pixel(i);
        if (graph::SegmentMeets(previous, next, r)) {
            p.drawLine(previous.x, previous.y, next.x, next.y);
        }
        previous = next;
    }
}

// ---- Commands -----------------------------------------------------------------

bool MapGraphView::HandleCommand(int id) {
    switch (id) {
        case cmd::kColorGraphBackground:
            PickColor(backgroundColor_, kBackgroundKey.key);
            return true;
        case cmd::kColorGridLine:
            PickColor(gridColor_, kGridKey.key);
            return true;
        case cmd::kColorMapLine:
            PickColor(mapLineColor_, kMapLineKey.key);
            return true;
        case cmd::kColorInSyncMarker:
            PickColor(inSyncColor_, kInSyncKey.key);
            return true;
        case cmd::kColorNotInSyncMarker:
            PickColor(notInSyncColor_, kNotInSyncKey.key);
            return true;
        case cmd::kColorComparison:
            PickColor(comparisonColor_, kComparisonKey.key);
            return true;
        case cmd::kSetYValue:
            OpenSetYValueDialog();
            return true;
        default:
            return false;
    }
}

bool MapGraphView::UpdateCommand(int id, ViewCommandState& state) const {
    switch (id) {
        case cmd::kColorGraphBackground:
        case cmd::kColorGridLine:
        case cmd::kColorMapLine:
        case cmd::kColorInSyncMarker:
        case cmd::kColorNotInSyncMarker:
        case cmd::kColorComparison:
        case cmd::kSetYValue:
            state.enabled = true;
            return true;
        default:
            return false;
    }
}

void MapGraphView::PickColor(ColorRef& field, const char* key) {
    // The picker opens on black whatever the current colour is.
    QColorDialog dialog(QColor(0, 0, 0), window());
    dialog.setObjectName(QStringLiteral("GraphColorDialog"));
    if (dialog.exec() != QDialog::Accepted) return;
    field = FromQColor(dialog.selectedColor());
    profile_.WriteInt("Colors", key, static_cast<int>(field));
    update(ToQRect(CalcGraphFrame()));
    for (MapPointMarker* m : markers_) m->update();
}

void MapGraphView::OpenSetYValueDialog() {
    MapPointMarker* marker = GetSelectedMarker();
    if (marker == nullptr || currentMap_ == nullptr) return;
    CSetYValueDialog dialog(this, marker, host_);
    dialog.DoModal();
}

// ---- Keys -------------------------------------------------------------------------

bool MapGraphView::IsKeyDown(int key) const {
    return std::find(keysDown_.begin(), keysDown_.end(), key) != keysDown_.end();
}

void MapGraphView::SetKeyDown(int key, bool down) {
    const auto it = std::find(keysDown_.begin(), keysDown_.end(), key);
    if (down && it == keysDown_.end()) keysDown_.push_back(key);
    if (!down && it != keysDown_.end()) keysDown_.erase(it);
    if (key == Qt::Key_Control) ctrlDown_ = down;
}

void MapGraphView::keyPressEvent(QKeyEvent* event) {
    SetKeyDown(event->key(), true);
    if (event->key() != Qt::Key_Control) {
        ctrlDown_ = event->modifiers().testFlag(Qt::ControlModifier);
    }
    OnKeyDown(event->key(), event->modifiers(), std::max(1, event->count()));
    event->accept();
}

void MapGraphView::keyReleaseEvent(QKeyEvent* event) {
    // Auto-repeat comes as release and press pairs while the key stays down.
    if (!event->isAutoRepeat()) SetKeyDown(event->key(), false);
    event->accept();
}

bool MapGraphView::event(QEvent* event) {
    if (event->type() == DeferredEditEvent::Kind()) {
        const auto* deferred = static_cast<DeferredEditEvent*>(event);
        ApplyEdit(deferred->Index(), deferred->Edit());
        return true;
    }
    if (event->type() == KeyStepEvent::Kind()) {
        const auto* step = static_cast<KeyStepEvent*>(event);
        OnKeyDown(step->Key(), step->Modifiers(), 0);
        return true;
    }
    return QWidget::event(event);
}

void MapGraphView::OnKeyDown(int key, Qt::KeyboardModifiers mods, int repeatCount) {
    switch (key) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (mods.testFlag(Qt::ControlModifier)) {
                OpenSetYValueDialog();
                break;
            }
            [[fallthrough]];
        case Qt::Key_Space:
            if (valueDisplay_->IsShown()) {
                valueDisplay_->Hide();
            } else {
                valueDisplay_->Show();
            }
            break;
        case Qt::Key_Escape:
            valueDisplay_->Hide();
            break;
        case Qt::Key_PageUp:
            ChangeMap(-1);
            break;
        case Qt::Key_PageDown:
            ChangeMap(+1);
            break;
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_Left:
        case Qt::Key_Right: {
            // With Shift the selection stretches into a range of points.
            const int to = key == Qt::Key_Home   ? 0
                           : key == Qt::Key_End  ? MarkerCount() - 1
                           : key == Qt::Key_Left ? selectedIndex_ - 1
                                                 : selectedIndex_ + 1;
            if (mods.testFlag(Qt::ShiftModifier)) {
                ExtendRangeTo(to);
            } else {
                ClearRange();
                SelectMarkerByIndex(to);
            }
            break;
        }
        case Qt::Key_Up:
        case Qt::Key_Down:
            if (!ArrowStep(key, mods, repeatCount)) return;
            break;
        default:
            break;
    }
    KeyTail();
}

void MapGraphView::KeyTail() {
    MapPointMarker* selected = GetSelectedMarker();
    if (selected != nullptr && selected->Point() != nullptr)
        valueDisplay_->ShowPoint(*selected->Point());
    stepInProgress_ = false;
}

bool MapGraphView::ArrowStep(int key, Qt::KeyboardModifiers mods, int repeatCount) {
    // A module command is in progress: the key is dropped.
    if (activity_.CommandInProgress()) return false;
    // The previous step is still being written (its waits dispatch events).
    if (stepInProgress_) return false;
    // Queued auto-repeats do not outlast the key.
    if (!IsKeyDown(key) && repeatCount != 0) return false;
    if (activity_.MonitorReadingPacket()) {
        QCoreApplication::postEvent(this, new KeyStepEvent(key, mods));
        return false;
    }
    MapPointMarker* selected = GetSelectedMarker();
    if (currentMap_ == nullptr || selected == nullptr) return true;
    double delta = currentMap_->Step() * (key == Qt::Key_Up ? 1.0 : -1.0);
    const bool ctrl = repeatCount == 0 ? ctrlDown_ : mods.testFlag(Qt::ControlModifier);
    if (ctrl) delta *= 5.0;
    stepInProgress_ = true;
    const graph::PixelRect noted = selected->WindowRect();
    if (selected->AddDelta(delta, "Step")) {
        graph::PixelRect area = noted.United(selected->WindowRect());
        if (MapPointMarker* prev = GetPrevMarker()) area = area.United(prev->WindowRect());
        if (MapPointMarker* next = GetNextMarker()) area = area.United(next->WindowRect());
        InvalidateRect(area);
        repaint(ToQRect(area));
    }
    return true;
}

void MapGraphView::ChangeMap(int delta) {
    if (document_ == nullptr || document_->MapCount() <= 0) return;
    const int count = document_->MapCount();
    const int index = ((document_->CurrentMap() + delta) % count + count) % count;
    document_->OnSelectMap(cmd::kMapFirst + index);
}

}  // namespace qx::gui
