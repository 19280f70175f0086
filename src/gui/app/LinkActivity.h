#pragma once
// The program's link and RAM monitor as the graph sees them, over the run's
// sample channel for the source the live bar follows.
//
// Ownership: the composition root owns it and hands it to the view; it does
// not own the link or the monitor, which the root ends before the view.
#include "gui/graph/ModuleActivity.h"

namespace qx {
class CommPort;
class RamMonitor;
}  // namespace qx

namespace qx::gui {

class LinkActivity final : public ModuleActivity {
  public:
    LinkActivity(CommPort& link, RamMonitor& monitor) : link_(link), monitor_(monitor) {}

    bool CommandInProgress() const override;
    bool MonitorReadingPacket() const override;
    bool MonitorShowsLiveBar() const override;
    void CallWhenModuleFree(std::function<void()> fn) override;
    bool PostponeCommandIfBusy(int commandId) override;

  private:
    CommPort& link_;
    RamMonitor& monitor_;
};

}  // namespace qx::gui
