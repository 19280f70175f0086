#pragma once
// Puts the settings dialogs into the main window: Basic Module Settings (the
// document's command 32783) runs the Basic Setup dialog for the document,
// Serial Port (the view's command 32789) the serial port dialog, and the
// frame's Write Serial command (32790) the serial number dialog.
//
// Ownership: nothing is created until a command runs; each dialog lives on the
// stack of its command. The frame, the document, the host, the profile, the
// link and the monitor must outlive the hooks.
namespace qx {
class CommPort;
class Host;
class ModuleState;
class Profile;
class RamMonitor;
}  // namespace qx

namespace qx::gui {

class FrameServices;

void InstallSettingsDialogs(FrameServices& frame, ModuleState& document, Host& host,
                            Profile& profile, CommPort& link);

}  // namespace qx::gui
