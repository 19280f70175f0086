#pragma once
// The monitor window: a column of live engine quantities at the left edge of
// the graph view. It owns the seven monitored values and their displays, shows
// the active ones stacked from the top without gaps, and is open only while at
// least one display is active. The user widens or narrows it by dragging its
// right border. The active set ("Monitors"), the width ("Monitor Window
// Width") and whether it is open ("Monitor Window Open") live in the profile.
//
// Ownership: the window is a Qt child of the view and is deleted with it. It
// owns its values and displays; Display() and Value() pointers live as long as
// the window. It does not own the view, the profile, the RAM monitor or the
// live samples it follows (connected first, it shows a sample before the rest).
#include <QFont>
#include <QPointer>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

#include "core/host/CommandIds.h"
#include "core/model/MonitoredQuantities.h"
#include "gui/monitor/LiveFramePacer.h"

class QPainter;
class QRegion;

namespace qx {
class Profile;
class RamMonitor;
}  // namespace qx

namespace qx::gui {

class LiveSamples;
class MapGraphView;
class MonitorDisplay;
class MonitorsDialog;
struct ViewCommandState;

class MonitorWindow : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kDisplayCount = kMonitoredQuantityCount;
    // The sizing border on every side; only the right one lies inside the view.
    static constexpr int kFrame = 4;
    static constexpr int kDefaultWidth = 130;
    // Narrowest client area, and the least plot width the window leaves the graph.
    static constexpr int kMinClientWidth = 16;
    static constexpr int kMinPlotWidth = 16;
    // Bits of "Monitors" that name a display.
    static constexpr int kMaskBits = (1 << kDisplayCount) - 1;

    // Constructs the values and displays, creates the controls, restores the
    // displays and the open state from the profile, and follows samples. The
    // view must outlive nothing: the window is its child. The profile outlives
    // the window; the monitor does too, or is ended (RamMonitor::ResetInstance)
    // before it, with no event between.
    MonitorWindow(MapGraphView* view, Profile& profile, RamMonitor& monitor, LiveSamples& samples);
    ~MonitorWindow() override;

    // After each good packet (first: the first since the stream (re)started):
    // every active display's value, then the view's live bar.
    void RefreshDisplays(bool first);
    // The monitor's packets reach RefreshDisplays through this pacer (a log's
    // rows come paced by playback); the chart follows its decisions, so that
    // both show in the same frames.
    LiveFramePacer& Pacer() { return *pacer_; }
    void SetDisplayActive(int index, bool on);
    // Display commandId - 32791; ids without a display change nothing.
    void ToggleMonitor(int commandId);
    void CancelAll();
    void ToggleOpen();
    void SelectMonitors();
    void ResetPeakAcceleration();
    void ShowMonitors();
    void HideMonitors();
    // Keeps left, top and width; the client area reaches the view's bottom.
    void FitToViewHeight();
    // Empties value boxes the monitor no longer backs (link down, monitor stopped).
    void ClearStaleDisplays();

    // The view's commands that reach this window: 32775, 32803, 32806 and
    // 32791 to 32802 (32797 is the view's own and never asked here).
    bool HandleCommand(int id);
    bool UpdateCommand(int id, ViewCommandState& state) const;

    // The full window width while open, else 0: what the graph gives up.
    int MonitorWidth() const;
    int ActiveCount() const { return activeCount_; }
    int MonitorMask() const { return monitorMask_; }
    bool IsOpen() const { return isOpen_; }
    int ClientWidth() const { return width() - 2 * kFrame; }
    // The client area in this widget's coordinates.
    QRect ClientRect() const;
    // The widest client area the view holds now.
    int MaxClientWidth() const;
    // The width the user chose (profile or drag); the view may show less of it.
    int WantedWidth() const { return wantedWidth_; }
    // Display i (0 .. 6); owned by the window.
    MonitorDisplay* Display(int i) const;
    MonitoredModuleValue* Value(int i) const;
    // The row display i takes, or -1 while it is inactive.
    int RowOf(int i) const;
    MapGraphView* View() const { return view_; }

    // Runs the selection dialog (default: modally). Tests drive it instead.
    using DialogRunner = std::function<int(MonitorsDialog&)>;
    void SetDialogRunner(DialogRunner runner) { dialogRunner_ = std::move(runner); }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void PlaceForShow();
    void SaveWidth();
    void Relayout();
    void PlaceClient(int clientWidth);
    int ClampClientWidth(int w) const;
    bool OnRightBorder(const QPoint& p) const;

    class Client;
    void PaintClient(QPainter& painter, const QRegion& area);

    MapGraphView* view_;  // the parent; outlives this window
    Profile& profile_;
    RamMonitor& monitor_;
    LiveFramePacer* pacer_;  // Qt child
    QFont font_;             // the rows'; made once, as a paint of a box costs less than making it
    Client* client_ = nullptr;  // Qt child: the area inside the sizing border
    std::array<std::unique_ptr<MonitoredModuleValue>, kDisplayCount> values_;
    std::array<std::unique_ptr<MonitorDisplay>, kDisplayCount> displays_;
    int activeCount_ = 0;
    int monitorMask_ = 0;
    bool isOpen_ = false;
    int wantedWidth_ = kDefaultWidth;
    int dragOffset_ = -1;  // pointer distance from the right edge while dragging
    DialogRunner dialogRunner_;
};

}  // namespace qx::gui
