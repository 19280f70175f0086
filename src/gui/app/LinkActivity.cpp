#include "gui/app/LinkActivity.h"

#include <utility>

#include "core/link/CommPort.h"
#include "core/monitor/LiveSource.h"
#include "core/monitor/RamMonitor.h"
#include "gui/shell/ModuleGate.h"

namespace qx::gui {

bool LinkActivity::CommandInProgress() const {
    return link_.BusyCount() > 0;
}

bool LinkActivity::MonitorReadingPacket() const {
    return monitor_.IsReading();
}

bool LinkActivity::MonitorShowsLiveBar() const {
    const LiveSource* source = monitor_.Samples().Active();
    return source != nullptr && source->ShowsLiveBar();
}

void LinkActivity::CallWhenModuleFree(std::function<void()> fn) {
    link_.CallWhenNotBusy(std::move(fn));
}

bool LinkActivity::PostponeCommandIfBusy(int commandId) {
    return PostponeIfModuleBusy(monitor_, commandId, true);
}

}  // namespace qx::gui
