#pragma once
// What the graph asks of the link and the RAM monitor, kept apart from Qt's
// headers. The composition root passes the one the view uses.
#include <functional>

namespace qx::gui {

class ModuleActivity {
  public:
    // True while a module command is in progress (the link's busy count is above 0).
    virtual bool CommandInProgress() const = 0;
    // True while the monitor is reading a packet into its RAM image.
    virtual bool MonitorReadingPacket() const = 0;
    // True while the monitor runs or is suspended for a command: the live bar shows.
    virtual bool MonitorShowsLiveBar() const = 0;
    // Runs fn from the main loop once no module command is in progress.
    virtual void CallWhenModuleFree(std::function<void()> fn) = 0;
    // Queues commandId for replay while the module is busy (true); otherwise
    // suspends the monitor and answers false.
    virtual bool PostponeCommandIfBusy(int commandId) = 0;

  protected:
    ~ModuleActivity() = default;
};

}  // namespace qx::gui
