#include "gui/dialogs/SettingsDialogs.h"

#include "core/model/ModuleState.h"
#include "gui/app/MainFrame.h"
#include "gui/dialogs/BasicSetupDialog.h"
#include "gui/dialogs/SetSerialPortDialog.h"
#include "gui/dialogs/WriteSerialDialog.h"
#include "gui/resources/Resources.h"

namespace qx::gui {

void InstallSettingsDialogs(CMainFrame& frame, ModuleState& document, Host& host, Profile& profile,
                            CommPort& link) {
    CMainFrame* owner = &frame;
    document.SetBasicSettingsHook([&document, owner] { RunBasicSetupDialog(document, owner); });
    QObject::connect(&frame, &CMainFrame::writeSerialRequested, owner,
                     [&host, &link, owner] { RunWriteSerialDialog(host, link, owner); });
    // The view's command; asked after the view's own ids.
    frame.Commands().Add(res::kSerialPort, CommandOwner::View, kSuspendingCommand,
                         [&host, &profile, &link] { OnSerialPortCommand(host, profile, link); });
}

}  // namespace qx::gui
