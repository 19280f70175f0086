#include "gui/dialogs/SettingsDialogs.h"

#include "core/model/ModuleState.h"
#include "gui/dialogs/BasicSetupDialog.h"
#include "gui/dialogs/SetSerialPortDialog.h"
#include "gui/dialogs/WriteSerialDialog.h"
#include "gui/resources/Resources.h"
#include "gui/shell/CommandTable.h"
#include "gui/shell/FrameServices.h"

namespace qx::gui {

void InstallSettingsDialogs(FrameServices& frame, ModuleState& document, Host& host,
                            Profile& profile, CommPort& link) {
    QWidget* owner = &frame.Window();
    frame.Commands().Add(res::kBasicSettings, CommandOwner::Document, kSuspendingCommand,
                         [&document, &host, owner] { RunBasicSetupDialog(document, host, owner); });
    QObject::connect(&frame, &FrameServices::writeSerialRequested, owner,
                     [&host, &link, owner] { RunWriteSerialDialog(host, link, owner); });
    // The view's command; asked after the view's own ids.
    frame.Commands().Add(res::kSerialPort, CommandOwner::View, kSuspendingCommand,
                         [&host, &profile, &link] { OnSerialPortCommand(host, profile, link); });
}

}  // namespace qx::gui
