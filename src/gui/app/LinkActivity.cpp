#include "gui/app/LinkActivity.h"

#include <utility>

#include "core/link/CommPort.h"
#include "core/monitor/LiveSource.h"
#include "core/monitor/RamMonitor.h"

namespace qx::gui {

namespace {

class ProgramActivity final : public ModuleActivity {
  public:
    bool CommandInProgress() const override {
        return CommPort::Exists() && CommPort::Instance().BusyCount() > 0;
    }
    bool MonitorReadingPacket() const override {
        return RamMonitor::Exists() && RamMonitor::Instance().IsReading();
    }
    bool MonitorShowsLiveBar() const override {
        const LiveSource* source = ActiveLiveSource();
        return source != nullptr && source->ShowsLiveBar();
    }
    void CallWhenModuleFree(std::function<void()> fn) override {
        CommPort::Instance().CallWhenNotBusy(std::move(fn));
    }
    bool PostponeCommandIfBusy(int commandId) override {
        return RamMonitor::Instance().PostponeCommandIfBusy(commandId, true);
    }
};

}  // namespace

ModuleActivity& LinkActivity() {
    static ProgramActivity activity;
    return activity;
}

}  // namespace qx::gui
