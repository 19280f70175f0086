#pragma once
// The comparison's commands: File > Compare With... and Compare With Module,
// View > Hide Comparison and Differences Window, and Use Other Value (the
// Differences window's button). While a comparison is shown the graph draws
// the other tune, the Maps menu marks the maps that differ with a not-equal sign and
// their toolbar buttons carry a violet wedge.
//
// The Differences panel is docked in the main window beside the graph, so it
// never hides a point: on the right where the graph keeps a landscape shape,
// else below it. The user may move it or float it; it keeps its place.
//
// Ownership: a child of the frame; owns the comparison and the Differences
// panel (a dock widget of the frame). The document, view and host outlive it.
#include <QColor>
#include <QDockWidget>
#include <QObject>
#include <QPointer>
#include <functional>
#include <optional>
#include <vector>

#include "gui/edit/DifferencesWindow.h"
#include "gui/graph/MapGraphView.h"

namespace qx {
class CommPort;
class ModuleState;
}  // namespace qx

namespace qx::gui {

class CommandTable;
class QtHost;
class TuneComparison;

// The colour of the mark on the toolbar buttons of maps that differ.
QColor DiffersMarkColor();

class CompareCommands : public QObject {
    Q_OBJECT
  public:
    // frame: the main window, owner of the dialogs and the window beside it.
    CompareCommands(QWidget& frame, QtHost& host, CommandTable& commands, ModuleState& document,
                    CommPort& link, MapGraphView* view);
    ~CompareCommands() override;

    TuneComparison& Comparison() { return *comparison_; }
    // Null until first shown.
    DifferencesWindow* Differences() const { return window_; }
    // The dock panel that holds it; null until first shown.
    QDockWidget* DifferencesDock() const { return dock_; }

    // Chooses the file to compare with (default: the file dialog); tests replace it.
    using Chooser = std::function<std::optional<QString>()>;
    void SetChooser(Chooser chooser) { chooser_ = std::move(chooser); }

    void OnCompareWithFile();
    void OnCompareWithModule();
    void OnHideComparison();
    void OnDifferencesWindow();
    void OnUseOtherValue();

  Q_SIGNALS:
    // Which maps differ from the compared tune, first map first (all false
    // when nothing is compared): their buttons and menu items are marked.
    void mapsMarked(const std::vector<bool>& differs);

  private:
    void OnChanged();
    void MarkMaps();
    void DockBesideGraph();
    void HidePanel();

    QWidget& frame_;
    QtHost& host_;
    CommandTable& commands_;
    ModuleState& document_;
    CommPort& link_;
    QPointer<MapGraphView> view_;         // the frame may destroy the view first
    TuneComparison* comparison_;          // Qt child
    QPointer<DifferencesWindow> window_;  // the content of dock_
    QPointer<QDockWidget> dock_;
    Chooser chooser_;
};

}  // namespace qx::gui
