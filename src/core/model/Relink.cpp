#include "core/model/Relink.h"

#include "core/host/Numbers.h"
#include "core/link/CommPort.h"

namespace qx {

LinkedModuleCheck CheckLinkedModule(ModuleState& doc) {
    LinkedModuleCheck check;
    CommPort& link = CommPort::Instance();
    check.now.firmware = link.FirmwareVersion();
    SerialNumberModuleValue serial;
    if (serial.Refresh()) check.now.serial = static_cast<int>(serial.GetValue());
    check.before = doc.LinkedModule();

    if (!doc.KnowsModuleBytes()) {
        check.what = AfterLink::OfferUpload;
    } else if (check.now.serial < 0 || check.now.firmware == CommPort::kNoFirmware ||
               check.now != check.before) {
        check.what = AfterLink::OtherModule;
        doc.ForgetModuleBytes();
        doc.UpdateAllViews(nullptr, 0, doc.GetCurrentMap());
    } else {
        check.lacking = doc.CountValuesTheModuleLacks();
        check.changed = doc.CountValuesToWrite();
        check.what = check.changed > 0 ? AfterLink::WriteChanges : AfterLink::NothingToWrite;
    }
    doc.SetLinkedModule(check.now);
    return check;
}

std::string DescribeModule(const ModuleState::ModuleIdentity& id) {
    std::string serial = id.serial >= 0 ? FormatC("%05d", id.serial) : std::string("not known");
    std::string firmware = id.firmware >= 0 && id.firmware != CommPort::kNoFirmware
                               ? FormatC("%d.%d", (id.firmware >> 4) & 0x0F, id.firmware & 0x0F)
                               : std::string("not known");
    return "serial " + serial + ", firmware " + firmware;
}

}  // namespace qx
