#include "dialogs/SettingsDialogs.h"

#include "app/MainFrame.h"
#include "dialogs/BasicSetupDialog.h"
#include "dialogs/SetSerialPortDialog.h"
#include "dialogs/WriteSerialDialog.h"
#include "model/ModuleState.h"
#include "resources/Resources.h"

namespace qx::gui {

void InstallSettingsDialogs(CMainFrame& frame, ModuleState& document) {
    CMainFrame* owner = &frame;
    document.SetBasicSettingsHook([&document, owner] { RunBasicSetupDialog(document, owner); });
    frame.SetWriteSerialHook([owner] { RunWriteSerialDialog(owner); });
    // The view's command; asked after the view's own ids.
    frame.Commands().Add(res::kSerialPort, CommandOwner::View, [] { OnSerialPortCommand(); });
}

}  // namespace qx::gui
