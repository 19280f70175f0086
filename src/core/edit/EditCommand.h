#pragma once
// One step of the edit history, and the one way a change reaches the tune and
// the module: a change set. Its values are stored in the document first, all
// of them, and then written, each as the bytes that differ from what the module
// is known to hold (or all of them while that is not known). A write that fails
// part way leaves every value of the set at its new value; the bytes not
// acknowledged become unknown, so those values show out of sync and Write
// Changes makes the module equal to the document later.
//
// A step names its values by key, never by pointer: a nested event loop during
// a write may run anything, and each value is looked up again before it is
// written.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/edit/Setting.h"

namespace qx {

class ModuleState;

struct ValueChange {
    SettingKey key;
    double before = 0.0;
    double after = 0.0;
    // What the module held when the change was made, where that was not the
    // bytes of before (a byte off the program's step, or a change not yet
    // written): undoing puts exactly these back. Empty otherwise.
    std::vector<uint8_t> moduleBefore;
    bool operator==(const ValueChange&) const = default;
};

// One value of a change set: the value to set, and the bytes to write instead
// of its own (an undo restoring what the module held); empty: its own bytes.
struct SetValueTo {
    SettingKey key;
    double value = 0.0;
    std::vector<uint8_t> bytes;
};

// Stores every value of the set, then, while linked, writes each whose bytes
// the module is not known to hold, in order, stopping at the first failed
// exchange (the link has told the user). True when every needed byte was
// acknowledged (or nothing needed writing); false also while the link is down
// and something would have needed writing.
bool ApplyChangeSet(ModuleState& doc, const std::vector<SetValueTo>& set);

class EditCommand {
  public:
    EditCommand(std::string description, std::vector<ValueChange> changes);

    const std::string& Description() const { return description_; }
    const std::vector<ValueChange>& Changes() const { return changes_; }
    bool Empty() const { return changes_.empty(); }

    // The change set of the step's after values (Apply) or its before values
    // (Revert), through ApplyChangeSet.
    bool Apply(ModuleState& doc) const;
    bool Revert(ModuleState& doc) const;

    // What the step holds in memory, for the history's budget.
    std::size_t MemoryBytes() const;

  private:
    std::string description_;
    std::vector<ValueChange> changes_;
};

}  // namespace qx
