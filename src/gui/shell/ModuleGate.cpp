#include "gui/shell/ModuleGate.h"

#include "core/model/ModuleState.h"
#include "core/monitor/RamMonitor.h"

namespace qx::gui {

bool ModuleBusy(const ModuleState& document) {
    // The document knows its transfer, its history and the link it talks to.
    return !document.CanReplaceContents();
}

bool PostponeIfModuleBusy(RamMonitor& monitor, int commandId, bool suspend) {
    return monitor.PostponeCommandIfBusy(commandId, suspend);
}

}  // namespace qx::gui
