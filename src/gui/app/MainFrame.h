#pragma once
// The main window: the graph view in the middle, the toolbar, the status bar
// with the message, caps-lock and num-lock panes, the menus and accelerators
// built from the resources, and the commands that concern the link and the
// monitor as a whole (link, Toggle Monitoring, Reset Peak Acceleration, Write
// Serial, Help). It postpones its own close while a module exchange, a
// transfer, the monitor loop or a modal window runs in a nested loop.
//
// Ownership: the frame owns its view, bars and actions (Qt children). It does
// not own the document or the host; both must outlive it.
#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <string>
#include <vector>

#include "gui/app/LinkActivity.h"
#include "gui/shell/CommandTable.h"
#include "gui/shell/FrameServices.h"

class QLabel;
class QTimer;
class QMenu;
class QToolBar;

namespace qx {
class CommPort;
class ModuleState;
class Profile;
class RamMonitor;
}  // namespace qx

namespace qx::gui {

class QtHost;
class LiveSamples;
class MapGraphView;
class CompareCommands;
class CurveCommands;
class HelpWindow;

class CMainFrame : public QMainWindow {
    Q_OBJECT
  public:
    // The link and the monitor are the run's one link and monitor; the
    // application ends them just before the frame, with no event between.
    // samples, the run's live samples, outlive the frame.
    CMainFrame(QtHost& host, ModuleState& document, Profile& profile, CommPort& link,
               RamMonitor& monitor, LiveSamples& samples, QWidget* parent = nullptr);
    ~CMainFrame() override;

    CommandTable& Commands() { return commands_; }
    // What the features installed on the window use of it.
    FrameServices& Services() { return *services_; }
    MapGraphView* View() const { return view_; }
    QToolBar* ToolBar() const { return toolbar_; }
    CompareCommands* Compare() const { return compare_; }
    CurveCommands* Curves() const { return curves_; }
    // The top-level menus of the menu bar, left to right.
    std::vector<QMenu*> Menus() const;
    // True while the toolbar shows the strip of the link up.
    bool LinkStripUp() const { return linkStripUp_; }
    int MonitorNesting() const { return monitorNesting_; }
    QString CapsPaneText() const;
    // The status bar's word on an unplugged module adapter ("" when none).
    QString ReconnectText() const;
    // Looks once whether an unplugged adapter is back or gone again (the timer
    // does it each second until the link is up), and says which.
    void CheckReconnect();
    // While linked and idle: looks once whether the adapter has been pulled
    // (its descriptor hung up) and breaks the link if so, so that an edit made
    // next is kept out of sync instead of meeting the pull. The timer does it
    // each second; never while monitoring or during an exchange.
    void CheckLinkedAdapter();
    QString NumPaneText() const;

    // The help window's "Open in Browser" (default: the desktop's viewer); tests replace it.
    void SetUrlOpener(std::function<bool(const QString&)> opener) {
        urlOpener_ = std::move(opener);
    }

    // The file of the user guide shown by Help.
    static QString GuidePath();
    // The window Help shows the guide in; null until first asked for.
    HelpWindow* Help() const;
    // The link indicator: strip 134 (link up) or 133 (link down).
    void SetLinkIndicator(bool linked);
    // Marks the toolbar buttons and menu items of the maps that differ
    // (first map first); the marks stay when the link redraws the buttons.
    void MarkMapButtons(const std::vector<bool>& differs);
    // Refreshes every command's state and the lock panes (idle processing).
    void OnIdle();
    // True while closing now would pull objects from under a nested loop.
    bool IsBusyForClose() const;
    bool IsClosePending() const { return closePending_; }
    // The desktop session ends: break the link, then the save question. False
    // when the user cancelled (or the session must wait for work to unwind).
    bool EndSession(bool allowInteraction);
    // The recent-file entries of the File menu (empty: the greyed "Recent File").
    void SetRecentFiles(const std::vector<std::string>& paths);

    // Frame commands.
    void OnLink();
    void OnToggleMonitoring();
    void OnResetPeakAcceleration();
    void OnWriteSerial();
    void OnHelp(int commandId);

  Q_SIGNALS:
    // The edit history changed: a step, an undo or redo, a clear or a save.
    void historyChanged();
    // Reset Peak Acceleration was chosen (the monitor window resets).
    void resetPeakRequested();
    // Write Serial was chosen (the Write Serial Number dialog runs modally).
    void writeSerialRequested();
    // Before the document goes (close, end of session, upload): a receiver
    // that must keep it (the save question was cancelled) clears *proceed.
    void closeQuestion(bool* proceed);
    // A file was dropped on the window.
    void fileDropped(const QString& path);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void BuildMenus();
    void BuildToolbar();
    void BuildStatusBar();
    void BuildAccelerators();
    void AddFrameCommands();
    void AddDocumentCommands();
    void UpdateLockPanes();
    void DrawToolbarIcons();
    void RequestUnwind();
    void OfferAfterLink();
    // Asks closeQuestion; true when the document may go.
    bool MayDiscardDocument();
    // Says the adapter of device is unplugged and looks for it each second.
    void AwaitAdapter(const std::string& device);
    // The notice after Ctrl+L failed while an unplugged adapter was awaited.
    void NoticeFailedRelink();

    QtHost& host_;
    ModuleState& document_;
    CommPort& link_;
    RamMonitor& monitor_;
    LiveSamples& samples_;
    // What the view asks of the link and the monitor; only asked while the
    // view lives, and its destructor asks nothing.
    LinkActivity activity_;
    CommandTable commands_;
    MapGraphView* view_ = nullptr;
    FrameServices* services_ = nullptr;   // Qt child
    CompareCommands* compare_ = nullptr;  // Qt children
    CurveCommands* curves_ = nullptr;
    QToolBar* toolbar_ = nullptr;
    QLabel* capsPane_ = nullptr;
    QLabel* numPane_ = nullptr;
    QLabel* reconnectPane_ = nullptr;
    QTimer* reconnectTimer_ = nullptr;  // runs only while an unplugged adapter is awaited
    QTimer* adapterWatch_ = nullptr;    // runs only while linked
    std::string watchedNode_;           // the linked port's device node, "" when it has none
    std::string awaitedDevice_;
    std::string baudTold_;  // the profile's bad line speed the user was last told of
    QMenu* fileMenu_ = nullptr;
    QAction* recentPlaceholder_ = nullptr;
    std::vector<QAction*> recentActions_;
    std::vector<QAction*> toolbarActions_;  // in toolbar order, separators left out
    std::vector<bool> mapMarks_;            // maps that differ, first map first
    bool linkStripUp_ = false;
    int monitorNesting_ = 0;
    int linkCommandDepth_ = 0;
    bool closePending_ = false;
    qint64 lastLockPoll_ = 0;
    std::function<bool(const QString&)> urlOpener_;
    QPointer<HelpWindow> help_;
};

}  // namespace qx::gui
