#pragma once
// Puts the monitor window into the main window: the window is created in the
// graph view, its commands (32775, 32803, 32806, 32791 to 32802) join the
// frame's command table after the view's own, the frame's Reset Peak
// Acceleration reaches it, and it follows the frame's live samples.
//
// Ownership: the returned window is a Qt child of the frame's view and is
// deleted with it, and with it its connections to the frame.
namespace qx {
class Profile;
class RamMonitor;
}  // namespace qx

namespace qx::gui {

class FrameServices;
class MonitorWindow;

MonitorWindow* InstallMonitorWindow(FrameServices& frame, Profile& profile, RamMonitor& monitor);

}  // namespace qx::gui
