#pragma once
// The map graph: the single view of the settings document. It draws the current
// map with its caption band, grid, tick labels, axis titles, frame edges, curve
// and the live bar, keeps one marker per point, the marker selection, the point
// value display, the keyboard and the view's commands.
//
// Ownership: the view owns its markers and its value display (Qt children). It
// does not own the document or its maps. SetDocument registers the view as an
// observer of the document (and unregisters it from the previous one), so the
// document's UpdateAllViews reaches OnUpdate. CurrentMap and the marker pointers
// it returns stay valid until the next OnUpdate or the view's destruction.
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "core/host/CommandIds.h"
#include "core/model/DocumentBase.h"
#include "gui/graph/GraphGeometry.h"
#include "gui/graph/GraphStyle.h"
#include "gui/graph/MarkerHost.h"

class QKeyEvent;
class QPaintEvent;
class QPainter;
class QRubberBand;

namespace qx {
class Host;
class Profile;
class ModuleState;
class ModuleMap;
}  // namespace qx

namespace qx::gui {

class MapPointMarker;
class MapPointValueDisplay;
class ModuleActivity;
class TuneComparison;

// The layers drawn by others through MapGraphView::layerPainted, bottom up.
enum class GraphLayer { Background, UnderCurve };

// The enable/check state of a command, as the view reports it.
struct ViewCommandState {
    bool enabled = true;
    bool checked = false;
};

class MapGraphView : public QWidget, public DocumentObserver, private MarkerHost {
    Q_OBJECT
  public:
    // Messages go to host, activity tells when the module is busy, and the
    // colours are kept in profile; none is owned, all outlive the view.
    MapGraphView(Host& host, ModuleActivity& activity, Profile& profile, QWidget* parent = nullptr);
    ~MapGraphView() override;

    // The document shown; not owned; may be null. Set before OnInitialUpdate.
    void SetDocument(ModuleState* document);
    ModuleState* GetDocument() const { return document_; }

    // A document has been created or opened: current map and colours are read,
    // the markers are made the first time and bound to the current map's points.
    void OnInitialUpdate();
    // The document changed its current map or a map's contents. A null map (any
    // other hint) leaves the view unchanged.
    void OnUpdate(ModuleMap* mapHint);
    void OnUpdate(DocumentBase& document, int hint, ModuleMap* hintMap) override;
    // Moves the live bar to the engine's current position on the x axis; called
    // after every monitor refresh. force repaints even when it has not moved.
    void UpdateLiveXBar(bool force);

    // Commands routed by the frame. HandleCommand returns false for ids not the
    // view's; UpdateCommand returns false and leaves state alone for them.
    bool HandleCommand(int id);
    bool UpdateCommand(int id, ViewCommandState& state) const;

    // Full width of the monitor window while it is open, else 0 (the default):
    // the monitor window tells it whenever it opens, closes or changes width.
    void SetMonitorWidth(int pixels);
    // The caption-bar height of the layout; the style's title bar height by default.
    void SetCaptionHeight(int pixels);
    int CaptionHeight() const { return captionHeight_; }

    // Geometry of the current map in view client pixels.
    graph::GraphSize Size() const;
    graph::AxisRange Axes() const;
    int MonitorWidth() const;
    int PlotTop() const;
    int PlotHeight() const;
    int PlotLeft() const;
    int PlotWidth() const;
    int XToPixel(double x) const;
    int YToPixel(double y) const;
    double PixelToY(int py) const;
    double PixelsToValueDelta(int pixels) const;
    graph::PixelRect CalcGraphFrame();
    graph::PixelRect GraphFrame() const { return graphFrame_; }

    ModuleMap* CurrentMap() const { return currentMap_; }
    int MarkerCount() const { return static_cast<int>(markers_.size()); }
    // Marker i, or null outside 0 .. MarkerCount() - 1.
    MapPointMarker* Marker(int i) const;
    MapPointMarker* GetSelectedMarker() const;
    MapPointMarker* GetPrevMarker() const;
    MapPointMarker* GetNextMarker() const;
    int SelectedIndex() const { return selectedIndex_; }
    // A foreign marker gets the "Program Error" message and false.
    bool SelectMarker(MapPointMarker* marker);
    void SelectMarkerByIndex(int i);
    void RepositionMarkers();

    // The range of points the curve tools and Copy work on: from the anchor
    // (where Shift+Left/Right or Shift+click started) to the selected point.
    // Without an anchor the range is the selected point alone.
    int RangeFirst() const;
    int RangeLast() const;
    bool HasRange() const { return rangeAnchor_ >= 0 && rangeAnchor_ != selectedIndex_; }
    // Selects point i and keeps (or sets, at the selected point) the anchor.
    void ExtendRangeTo(int i);
    void ClearRange();
    // Points first .. last (inclusive, clamped) as the range, last selected.
    void SelectRange(int first, int last);

    // The other tune drawn under the current map, through layerPainted
    // as the log coverage is; null for none. Not owned: the comparison clears
    // it before it goes (and its drawing ends with it).
    void SetComparison(const TuneComparison* comparison);
    const TuneComparison* Comparison() const { return comparison_; }

    MapPointValueDisplay* ValueDisplay() const { return valueDisplay_; }
    // Opens the Set Y value dialog for the selected point, unless the command
    // is postponed while the module is busy (it is then replayed as 32797).
    void OpenSetYValueDialog();

    // The rubber band of a drag of marker index: segments from the previous
    // point to p and on to the next one, drawn inverted over the graph.
    void MoveRubberBand(int index, graph::PixelPoint p);
    void EndRubberBand();
    bool RubberBandActive() const { return rubberIndex_ >= 0; }
    graph::PixelPoint RubberBandPoint() const { return rubberPoint_; }
    // True while a finished drag of marker index waits for the module to be free.
    bool HasPendingChange(int index) const;

    ColorRef BackgroundColor() const { return backgroundColor_; }
    ColorRef GridColor() const { return gridColor_; }
    ColorRef InSyncColor() const { return inSyncColor_; }
    ColorRef NotInSyncColor() const { return notInSyncColor_; }
    ColorRef MapLineColor() const { return mapLineColor_; }
    ColorRef ComparisonColor() const { return comparisonColor_; }

    // Invalidates a rectangle of view client pixels; the area is redrawn whole.
    void InvalidateRect(const graph::PixelRect& r);
    // Whether a key is down, as tracked from the press and release events.
    bool IsKeyDown(int key) const;

    // The smallest client size at which every map's title, axis titles and tick
    // labels of the document still fit apart, beside the monitor window as wide
    // as it is now.
    QSize minimumSizeHint() const override;

    // Draws the graph clipped to r (the area being repainted): the paint event
    // calls it, and the benchmark renders through it.
    void DrawGraph(QPainter& painter, const graph::PixelRect& r);

  Q_SIGNALS:
    // A layer of the plot is due: Background comes after the plot's fill and
    // before the grid (shading lies under the grid, the live bar and the
    // curve); UnderCurve comes after the grid, just before the edited curve.
    void layerPainted(QPainter* painter, qx::gui::GraphLayer layer);
    // The selected point or the range changed.
    void selectionChanged();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

  private:
    // A finished drag's change, bound to the point it was made on: the document's
    // maps as they were (their generation), the map and point index, and the
    // change in value units. Applied later it still lands on that point or nowhere.
    struct DragEdit {
        uint64_t mapsGeneration = 0;
        int map = -1;
        int point = -1;
        double delta = 0.0;
    };
    // The last drag of one marker.
    struct MarkerDrag {
        DragEdit origin;         // the point it began on
        graph::AxisRange axes;   // and that map's axes then
        graph::PixelPoint end;   // where it ended
        graph::PixelRect dirty;  // to repaint once its change is applied
        bool pending = false;    // its change waits for the module
    };
    class DeferredEditEvent;

    // MarkerHost
    graph::PixelPoint ValueToPixel(double x, double y) const override;
    bool EditingAllowed() const override;
    void PressMarker(MapPointMarker& marker, bool extend, bool firstButton) override;
    void BeginDrag(MapPointMarker& marker) override;
    void MoveDrag(MapPointMarker& marker, graph::PixelPoint at) override;
    void EndDrag(MapPointMarker& marker) override;
    void ShowDragValue(MapPointMarker& marker) override;
    void HideDragValue() override;
    void OpenValueDialog(MapPointMarker& marker) override;
    bool StorePointValue(int index, MapPoint& point, double y, std::string_view verb) override;
    ColorRef MarkerColor(bool inSync) const override;
    bool IsSelected(const MapPointMarker& marker) const override;

    // An edit of delta value units to point index of the map shown now.
    DragEdit EditOfShownPoint(int index, double delta) const;
    // The point edit was made on, if its map still exists.
    MapPoint* Resolve(const DragEdit& edit) const;
    // Applies edit of marker index's drag now, or once the module is free;
    // dropped when its document's maps have been replaced meanwhile.
    void ApplyEdit(int index, const DragEdit& edit);

    void ReadColors();
    void PickColor(ColorRef& field, const char* key);
    void BindMarkers();
    void DestroyMarkers();
    void OnKeyDown(int key, Qt::KeyboardModifiers mods, int repeatCount);
    bool ArrowStep(int key, Qt::KeyboardModifiers mods, int repeatCount);
    void KeyTail();
    void ChangeMap(int delta);
    void DrawXGridLine(QPainter& p, int i, const graph::PixelRect& r);
    void DrawYGridLine(QPainter& p, int i, const graph::PixelRect& r);
    void DrawTitles(QPainter& p, const graph::PixelRect& r);
    void DrawCurve(QPainter& p, const graph::PixelRect& r);
    void DrawRubberBand(QPainter& p) const;
    graph::PixelRect RubberBandBounds() const;
    void SetKeyDown(int key, bool down);
    bool LegibleAt(const graph::GraphSize& s, const ModuleMap& map, bool checkWidth) const;

    Host& host_;
    Profile& profile_;
    ModuleActivity& activity_;
    int rangeAnchor_ = -1;
    int bandStartX_ = -1;  // the press of a range drawn with the mouse, else -1
    QRubberBand* band_ = nullptr;
    const TuneComparison* comparison_ = nullptr;
    QMetaObject::Connection comparisonDrawing_;
    ModuleState* document_ = nullptr;
    ModuleMap* currentMap_ = nullptr;
    std::vector<MapPointMarker*> markers_;  // Qt children of this view
    int selectedIndex_ = 0;
    MapPointValueDisplay* valueDisplay_ = nullptr;  // Qt child
    int clientWidth_ = 0;
    int clientHeight_ = 0;
    int captionHeight_ = 18;
    ColorRef backgroundColor_ = 0;
    ColorRef gridColor_ = 0xFF00;
    ColorRef inSyncColor_ = 0xFF;
    ColorRef notInSyncColor_ = 0xC0C0C0;
    ColorRef mapLineColor_ = 0xFF0000;
    ColorRef comparisonColor_ = 0x00A5FF;
    graph::PixelRect graphFrame_;
    int lastLiveXPixel_ = 0;
    bool stepInProgress_ = false;
    // The drag the band follows (one at a time): its marker, where it began
    // and where the cursor is; and per marker its last drag.
    MapPointMarker* dragOwner_ = nullptr;
    graph::PixelPoint dragStart_;
    graph::PixelPoint dragPoint_;
    std::vector<MarkerDrag> drags_;
    int rubberIndex_ = -1;
    graph::PixelPoint rubberPoint_;
    std::vector<int> keysDown_;
    bool ctrlDown_ = false;
    graph::GraphSize laidOutFor_;
    int monitorWidth_ = 0;
};

}  // namespace qx::gui
