#include "gui/shell/ModuleGate.h"

#include "core/link/CommPort.h"
#include "core/model/ModuleState.h"
#include "core/monitor/RamMonitor.h"

namespace qx::gui {

bool ModuleBusy(const ModuleState& document) {
    return document.TransferInProgress() || document.History().Busy() ||
           (CommPort::Exists() && CommPort::Instance().BusyCount() > 0);
}

bool PostponeIfModuleBusy(int commandId, bool suspend) {
    return RamMonitor::Instance().PostponeCommandIfBusy(commandId, suspend);
}

}  // namespace qx::gui
