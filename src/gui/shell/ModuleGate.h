#pragma once
// What the windows ask of the module as a whole: whether it may be given
// anything new now, and the monitor's queue of commands put off meanwhile.
namespace qx {
class ModuleState;
class RamMonitor;
}  // namespace qx

namespace qx::gui {

// True while nothing new may start on the module: a transfer, a step of the
// edit history being written, or a module command in progress.
bool ModuleBusy(const ModuleState& document);

// The monitor's PostponeCommandIfBusy: the command table's postponer.
bool PostponeIfModuleBusy(RamMonitor& monitor, int commandId, bool suspend);

}  // namespace qx::gui
