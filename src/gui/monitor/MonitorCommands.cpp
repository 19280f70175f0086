#include "gui/monitor/MonitorCommands.h"

#include <QPointer>

#include "gui/graph/MapGraphView.h"
#include "gui/monitor/MonitorWindow.h"
#include "gui/shell/CommandTable.h"
#include "gui/shell/FrameServices.h"

namespace qx::gui {

MonitorWindow* InstallMonitorWindow(FrameServices& frame, Profile& profile, RamMonitor& monitor) {
    // Connected to the run's samples before any other part: each sample's
    // displays and pacing come first.
    auto* window = new MonitorWindow(frame.View(), profile, monitor, frame.Samples());
    QPointer<MonitorWindow> w(window);
    CommandTable& commands = frame.Commands();
    // The window asks about a busy module itself too: it also runs alone.
    commands.Declare(cmd::kMonitorWindow, kCheckCommand);
    commands.Declare(cmd::kSelectMonitors, kSuspendingCommand);
    for (int id = cmd::kMonitorToggleFirst; id <= cmd::kMonitorToggleLast; ++id)
        commands.Declare(id, CommandRules{Postpone::WhileBusySuspend, true});
    commands.AddTarget(
        CommandOwner::MonitorWindow, [w](int id) { return w && w->HandleCommand(id); },
        [w](int id, CommandState& s) {
            if (!w) return false;
            // The state update runs on idle: boxes the monitor no longer backs
            // (link broken, monitoring stopped) are emptied here.
            if (id == cmd::kMonitorWindow) w->ClearStaleDisplays();
            ViewCommandState vs{s.enabled, s.checked};
            if (!w->UpdateCommand(id, vs)) return false;
            s.enabled = vs.enabled;
            s.checked = vs.checked;
            return true;
        });
    // Connected to the window: gone with it.
    QObject::connect(&frame, &FrameServices::resetPeakRequested, window,
                     &MonitorWindow::ResetPeakAcceleration);
    return window;
}

}  // namespace qx::gui
