#pragma once
// One step of the edit history: the values a user's change moved, each with
// its value before and after, and the words that name the change ("Rev Limit",
// "Drag Map 1 Point 5"). A mirrored twin that moved along is a change of its
// own, so undoing restores each side to exactly what it held.
#include <cstddef>
#include <string>
#include <vector>

#include "edit/Setting.h"

namespace qx {

class ModuleState;

struct ValueChange {
    SettingKey key;
    double before = 0.0;
    double after = 0.0;
    bool operator==(const ValueChange&) const = default;
};

class EditCommand {
  public:
    EditCommand(std::string description, std::vector<ValueChange> changes);

    const std::string& Description() const { return description_; }
    const std::vector<ValueChange>& Changes() const { return changes_; }
    bool Empty() const { return changes_.empty(); }

    // Set every value to its after value in order (Apply) or its before value
    // in reverse order (Revert), each alone, written at once while linked. A
    // value whose write fails still shows the value asked for, marked out of
    // sync, and no further write is tried; the result is false when a write
    // failed.
    bool Apply(ModuleState& doc) const;
    bool Revert(ModuleState& doc) const;

    // What the step holds in memory, for the history's budget.
    std::size_t MemoryBytes() const;

  private:
    std::string description_;
    std::vector<ValueChange> changes_;
};

// Sets the value of key to target alone, as an undo or redo does: written at
// once while linked when write is true; when the write fails or is not tried
// the value still takes the target but is marked out of sync. False when the
// value was not written (or does not exist) while the link is up.
bool SetEditedValue(ModuleState& doc, SettingKey key, double target, bool write);

}  // namespace qx
