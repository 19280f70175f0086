#include "gui/graph/ModuleActivity.h"

#include <utility>

#include "core/link/CommPort.h"
#include "core/monitor/LiveSource.h"
#include "core/monitor/RamMonitor.h"

namespace qx::gui {

bool ModuleCommandInProgress() {
    return CommPort::Exists() && CommPort::Instance().BusyCount() > 0;
}

bool MonitorReadingPacket() {
    return RamMonitor::Exists() && RamMonitor::Instance().IsReading();
}

bool MonitorShowsLiveBar() {
    const LiveSource* source = ActiveLiveSource();
    return source != nullptr && source->ShowsLiveBar();
}

void CallWhenModuleFree(std::function<void()> fn) {
    CommPort::Instance().CallWhenNotBusy(std::move(fn));
}

bool PostponeCommandIfBusy(int commandId) {
    return RamMonitor::Instance().PostponeCommandIfBusy(commandId, true);
}

}  // namespace qx::gui
