#include "gui/app/AboutDlg.h"

#include "QxVersion.h"
#include "core/host/Numbers.h"
#include "core/link/CommPort.h"
#include "core/model/ModuleValue.h"

namespace qx::gui {

CAboutDlg::CAboutDlg(CommPort& link, QWidget* parent)
    : TemplateDialog(res::kAboutDialog, parent), link_(link) {}

bool CAboutDlg::OnInitDialog() {
    SetText(kVersionLine, QStringLiteral("Quorvex I Version %1").arg(QLatin1String(kVersion)));
    serialText_ = QStringLiteral("#####");
    firmwareText_ = QStringLiteral("#####");
    if (link_.IsLinked()) {
        SerialNumberModuleValue serial;
        if (serial.Refresh())
            serialText_ =
                QString::fromStdString(FormatC("%05d", static_cast<int>(serial.GetValue())));
        FirmwareVersionModuleValue firmware;
        if (firmware.Refresh())
            firmwareText_ = gui::FirmwareText(static_cast<int>(firmware.GetValue()));
    }
    SetText(kSerialField, serialText_);
    SetText(kFirmwareField, firmwareText_);
    return true;
}

}  // namespace qx::gui
