#pragma once
// What the graph asks of the link and the RAM monitor, kept apart from Qt's
// headers. None of these creates the link or the monitor just to answer.
#include <functional>

namespace qx::gui {

// True while a module command is in progress (the link's busy count is above 0).
bool ModuleCommandInProgress();
// True while the monitor is reading a packet into its RAM image.
bool MonitorReadingPacket();
// True while the monitor runs or is suspended for a command: the live bar shows.
bool MonitorShowsLiveBar();
// Runs fn from the main loop once no module command is in progress.
void CallWhenModuleFree(std::function<void()> fn);
// Queues commandId for replay while the module is busy (true); otherwise
// suspends the monitor and answers false.
bool PostponeCommandIfBusy(int commandId);

}  // namespace qx::gui
