#include "gui/dialogs/WriteSerialDialog.h"

#include <cmath>

#include "core/host/Host.h"
#include "core/host/Numbers.h"
#include "core/link/CommPort.h"
#include "core/model/ModuleValue.h"

namespace qx::gui {

namespace {

constexpr std::string_view kCaption = "Write Serial Number";
constexpr const char* kUnknownSerial = "#####";

}  // namespace

WriteSerialDialog::WriteSerialDialog(Host& host, CommPort& link, QWidget* parent)
    : TemplateDialog(res::kWriteSerialDialog, parent), host_(host), link_(link) {}

WriteSerialDialog::~WriteSerialDialog() = default;

std::optional<uint16_t> WriteSerialDialog::ParseSerialNumber(std::string_view text) {
    const std::optional<double> number = ParseTypedNumber(text);
    if (!number || *number < 0.0 || *number > kSerialNumberMax) return std::nullopt;
    return static_cast<uint16_t>(std::trunc(*number));
}

void WriteSerialDialog::DoDataExchange(bool save) {
    if (save) {
        newSerialText_ = TextUtf8(kNewSerialEdit);
        currentSerialText_ = TextUtf8(kCurrentSerialText);
    } else {
        SetTextUtf8(kNewSerialEdit, newSerialText_);
        SetTextUtf8(kCurrentSerialText, currentSerialText_);
    }
}

bool WriteSerialDialog::OnInitDialog() {
    SerialNumberModuleValue serial;
    if (link_.IsLinked()) {
        // A failed read has been reported by the link and shows as 00000.
        serial.Refresh();
        currentSerialText_ = FormatC("%05d", static_cast<int>(TruncateToInt32(serial.GetValue())));
    } else {
        currentSerialText_ = kUnknownSerial;
    }
    DoDataExchange(false);
    return true;
}

void WriteSerialDialog::OnOK() {
    DoDataExchange(true);
    const std::optional<uint16_t> number = ParseSerialNumber(newSerialText_);
    if (!number) {
        // Nothing reaches the EEPROM; the user corrects the entry.
        host_.MessageBox("\"" + newSerialText_ +
                             "\" is not a serial number.\nEnter a whole number from 0 to 65535.",
                         kCaption, MsgButtons::Ok, MsgIcon::Error);
        FocusControl(kNewSerialEdit);
        return;
    }
    accept();
    if (WriteSerialNumber(*number)) written_ = number;
}

bool WriteSerialDialog::WriteSerialNumber(uint16_t number) {
    if (!link_.IsLinked()) {
        host_.MessageBox("The serial number was not written: the module is not linked.", kCaption,
                         MsgButtons::Ok, MsgIcon::Error);
        return false;
    }
    // Written even when it equals the value a fresh one starts with (0): the
    // module's number is whatever it holds, not that start value.
    SerialNumberModuleValue serial;
    serial.StoreValue(number);
    return serial.SyncModuleWithHost(false);
}

void RunWriteSerialDialog(Host& host, CommPort& link, QWidget* parent) {
    WriteSerialDialog dialog(host, link, parent);
    dialog.DoModal();
}

}  // namespace qx::gui
