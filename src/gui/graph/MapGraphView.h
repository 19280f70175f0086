#pragma once
// The map graph: the single view of the settings document. It draws the current
// map with its caption band, grid, tick labels, axis titles, frame edges, curve
// and the live bar, keeps one marker per point, the marker selection, the point
// value display, the keyboard and the view's commands.
//
// Ownership: the view owns its markers and its value display (Qt children). It
// does not own the document or its maps; GetDocument, CurrentMap and the marker
// pointers it returns stay valid until the next SetDocument/OnUpdate or the
// view's destruction.
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "graph/GraphGeometry.h"

class QKeyEvent;
class QPaintEvent;
class QPainter;

namespace qx {

class ModuleState;
class ModuleMap;
class MapPoint;
class MapPointMarker;
class MapPointValueDisplay;

// Command ids the view answers.
inline constexpr int kCmdGraphBackgroundColor = 32784;
inline constexpr int kCmdGridLineColor = 32785;
inline constexpr int kCmdMapLineColor = 32786;
inline constexpr int kCmdInSyncMarkerColor = 32787;
inline constexpr int kCmdNotInSyncMarkerColor = 32788;
inline constexpr int kCmdSetYValue = 32797;

// Colours are 0x00BBGGRR, red in the low byte.
using ColorRef = uint32_t;

// The enable/check state of a command, as the view reports it.
struct ViewCommandState {
    bool enabled = true;
    bool checked = false;
};

class MapGraphView : public QWidget {
    Q_OBJECT
  public:
    explicit MapGraphView(QWidget* parent = nullptr);
    ~MapGraphView() override;

    // The document shown; not owned. Set by the frame before OnInitialUpdate.
    void SetDocument(ModuleState* document);
    ModuleState* GetDocument() const { return document_; }

    // A document has been created or opened: current map and colours are read
    // and, the first time, the markers are made.
    void OnInitialUpdate();
    // The document changed its current map or a map's contents. Any hint other
    // than a map (null) leaves the view unchanged.
    void OnUpdate(ModuleMap* mapHint);
    // Moves the live bar to the engine's current position on the x axis; called
    // after every monitor refresh. force repaints even when it did not move.
    void UpdateLiveXBar(bool force);

    // Commands routed by the frame. HandleCommand returns false for ids the view
    // does not handle; UpdateCommand likewise leaves state alone.
    bool HandleCommand(int id);
    bool UpdateCommand(int id, ViewCommandState& state) const;
    // Commands the view passes on (the monitor window's and the serial port's);
    // consulted after the view's own ids, so 32797 never reaches it.
    using CommandHandler = std::function<bool(int)>;
    using CommandUpdater = std::function<bool(int, ViewCommandState&)>;
    void SetCommandForwarder(CommandHandler handle, CommandUpdater update);

    // Full width of the monitor window while it is open, else 0. The source is
    // asked at every layout; without one the monitor window counts as closed.
    void SetMonitorWidthSource(std::function<int()> source);
    // The caption-bar height the layout uses; taken from the style by default.
    void SetCaptionHeight(int pixels);

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
    // Returns false (after the "Program Error" message) for a foreign marker.
    bool SelectMarker(MapPointMarker* marker);
    void SelectMarkerByIndex(int i);
    void RepositionMarkers();

    MapPointValueDisplay* ValueDisplay() const { return valueDisplay_; }
    // Opens the Set Y value dialog for the selected point, unless the command
    // is postponed while the module is busy.
    void OpenSetYValueDialog();

    // The rubber band of a drag: segments from the previous point to p and on
    // to the next one, drawn inverted over the graph until EndRubberBand.
    void MoveRubberBand(graph::PixelPoint p);
    void EndRubberBand();
    bool RubberBandActive() const { return rubberBand_.has_value(); }

    ColorRef BackgroundColor() const { return backgroundColor_; }
    ColorRef GridColor() const { return gridColor_; }
    ColorRef InSyncColor() const { return inSyncColor_; }
    ColorRef NotInSyncColor() const { return notInSyncColor_; }
    ColorRef MapLineColor() const { return mapLineColor_; }

    // The colour picker behind commands 32784 to 32788; replaceable so that a
    // test can answer it. It gets the initial colour and returns the chosen one,
    // or nothing on Cancel.
    using ColorPicker = std::function<std::optional<ColorRef>(ColorRef initial)>;
    void SetColorPicker(ColorPicker picker);

    // Invalidates a rectangle of view client pixels (with erase).
    void InvalidateRect(const graph::PixelRect& r);
    // Whether a key is down, as tracked from the press and release events.
    bool IsKeyDown(int key) const;

    // Draws the graph in r (the area being repainted) on painter; the paint
    // event calls it, and the tests and the benchmark render through it.
    void DrawGraph(QPainter& painter, const graph::PixelRect& r);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

  private:
    struct KeyStep;
    void ReadColors();
    void PickColor(ColorRef& field, const char* key);
    void OnKeyDown(int key, Qt::KeyboardModifiers mods, int repeatCount);
    bool ArrowStep(int key, Qt::KeyboardModifiers mods, int repeatCount);
    void KeyTail();
    void ChangeMap(int delta);
    void DrawXGridLine(QPainter& p, int i);
    void DrawYGridLine(QPainter& p, int i);
    void DrawTitles(QPainter& p, const graph::PixelRect& r);
    void DrawRubberBand(QPainter& p) const;
    graph::PixelRect RubberBandBounds(graph::PixelPoint p) const;

    ModuleState* document_ = nullptr;
    ModuleMap* currentMap_ = nullptr;
    std::vector<MapPointMarker*> markers_;  // Qt children of this view
    int selectedIndex_ = 0;
    MapPointValueDisplay* valueDisplay_ = nullptr;  // Qt child
    int clientWidth_ = 0;
    int clientHeight_ = 0;
    int captionHeight_ = 0;
    ColorRef backgroundColor_ = 0;
    ColorRef gridColor_ = 0xFF00;
    ColorRef inSyncColor_ = 0xFF;
    ColorRef notInSyncColor_ = 0xC0C0C0;
    ColorRef mapLineColor_ = 0xFF0000;
    graph::PixelRect graphFrame_;
    int lastLiveXPixel_ = 0;
    bool stepInProgress_ = false;
    std::optional<graph::PixelPoint> rubberBand_;
    std::vector<int> keysDown_;
    Qt::KeyboardModifiers keyModifiers_;
    std::function<int()> monitorWidthSource_;
    CommandHandler forwardHandle_;
    CommandUpdater forwardUpdate_;
    ColorPicker colorPicker_;
};

}  // namespace qx
